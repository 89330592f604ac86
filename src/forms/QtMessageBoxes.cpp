#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

#include "Version.h"
#include "forms/DesignUnits.h"
#include "forms/MessageBoxes.h"

namespace pontrel::forms {

namespace {

// The width a box needs for its whole title to show in the title bar. Window managers draw
// titles in a bold font, often larger than the program's, with an icon and the window buttons
// beside them: this allows for a bold 11-point title and 120 pixels for the rest.
int widthForTitle(const QString& title) {
    QFont font = QApplication::font("QMdiSubWindowTitleBar");
    font.setBold(true);
    if (font.pointSizeF() < 11) font.setPointSizeF(11);
    return QFontMetrics(font).horizontalAdvance(title) + 120;
}

int ask(QWidget* owner, const QString& title, const QString& text,
        QMessageBox::StandardButtons buttons) {
    QMessageBox box(QMessageBox::NoIcon, title, text, buttons, owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.setFont(designFont());
    // Plain buttons: the style's button icons would be the only pictures on the box.
    for (QAbstractButton* button : box.buttons()) button->setIcon(QIcon());
    // The box sizes itself to its text; a short text would leave its title cut in the title bar.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(widthForTitle(title), 0, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    return box.exec();
}

}  // namespace

void QtMessageBoxes::message(QWidget* owner, const QString& text) {
    ask(owner, QString::fromUtf8(kProgramTitle), text, QMessageBox::Ok);
}

int QtMessageBoxes::question(QWidget* owner, const QString& text, const QString& title) {
    return ask(owner, title, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes
               ? kAnswerYes
               : kAnswerNo;
}

}  // namespace pontrel::forms
