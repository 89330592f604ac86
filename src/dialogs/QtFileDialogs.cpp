#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>
#include <QString>
#include <QStringList>

#include "dialogs/FileDialogs.h"

namespace pontrel::dialogs {

namespace {

std::optional<std::string> firstSelection(QFileDialog& dialog) {
    // Room for the columns of the detail view, which are cut off at their default widths.
    dialog.resize(dialog.sizeHint().expandedTo(QSize(780, 480)));
    if (auto* details = dialog.findChild<QTreeView*>()) {
        details->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
        details->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.first().toStdString();
}

}  // namespace

std::optional<std::string> QtFileDialogs::openFile(QWidget* owner, const std::string& title,
                                                   const std::string& filter,
                                                   const std::string& startFolder) {
    QFileDialog dialog(owner, QString::fromStdString(title), QString::fromStdString(startFolder),
                       QString::fromStdString(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name is accepted whether or not the file exists; step 1 takes any path.
    dialog.setFileMode(QFileDialog::AnyFile);
    return firstSelection(dialog);
}

std::optional<std::string> QtFileDialogs::chooseFolder(const std::string& title,
                                                       const std::string& startFolder) {
    // No owner: the wizard window stays usable while the browser is open.
    QFileDialog dialog(nullptr, QString::fromStdString(title), QString::fromStdString(startFolder));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    return firstSelection(dialog);
}

}  // namespace pontrel::dialogs
