#include <QEventLoop>
#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>
#include <QString>
#include <QStringList>

#include "dialogs/FileDialogs.h"

namespace pontrel::dialogs {

namespace {

void prepare(QFileDialog& dialog) {
    // Room for the columns of the detail view, which are cut off at their default widths.
    dialog.resize(dialog.sizeHint().expandedTo(QSize(780, 480)));
    if (auto* details = dialog.findChild<QTreeView*>()) {
        details->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
        details->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    }
}

std::optional<std::string> firstSelection(const QFileDialog& dialog) {
    if (dialog.result() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.first().toStdString();
}

// Waits, taking every event meanwhile, until `dialog` is closed.
void waitUntilClosed(QFileDialog& dialog) {
    QEventLoop loop;
    QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    // The program's end leaves this loop too; the browser then counts as cancelled.
    loop.exec();
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
    prepare(dialog);
    dialog.exec();
    return firstSelection(dialog);
}

std::optional<std::string> QtFileDialogs::chooseFolder(const std::string& title,
                                                       const std::string& startFolder) {
    // Asked again while the browser is open (its window may lie behind the wizard's), the same
    // browser comes to the front, and both askers get its answer.
    if (openFolderDialog_) {
        QFileDialog& dialog = *openFolderDialog_;
        dialog.raise();
        dialog.activateWindow();
        waitUntilClosed(dialog);
        return firstSelection(dialog);
    }
    // No owner and no modality: every window of the program takes input while the browser is
    // open, and the call still returns only when the browser is closed.
    QFileDialog dialog(nullptr, QString::fromStdString(title), QString::fromStdString(startFolder));
    dialog.setWindowModality(Qt::NonModal);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    prepare(dialog);
    openFolderDialog_ = &dialog;
    dialog.show();
    waitUntilClosed(dialog);
    openFolderDialog_ = nullptr;
    return firstSelection(dialog);
}

}  // namespace pontrel::dialogs
