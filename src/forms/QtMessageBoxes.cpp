#include <QAbstractButton>
#include <QMessageBox>

#include "Version.h"
#include "forms/DesignUnits.h"
#include "forms/MessageBoxes.h"

namespace pontrel::forms {

namespace {

int ask(QWidget* owner, const QString& title, const QString& text,
        QMessageBox::StandardButtons buttons) {
    QMessageBox box(QMessageBox::NoIcon, title, text, buttons, owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.setFont(designFont());
    // Plain buttons: the style's button icons would be the only pictures on the box.
    for (QAbstractButton* button : box.buttons()) button->setIcon(QIcon());
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
