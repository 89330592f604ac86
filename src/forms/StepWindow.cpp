#include "forms/StepWindow.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QGuiApplication>
#include <QScreen>

#include "forms/Keyboard.h"
#include "forms/Wizard.h"

namespace pontrel::forms {

StepWindow::StepWindow(Wizard& wizard, Qt::WindowFlags flags)
    : QWidget(nullptr, flags), wizard_(wizard) {
    drawFocusFromStart(this);
}

void StepWindow::closeEvent(QCloseEvent* event) {
    if (wizard_.ended()) {
        event->accept();
        return;
    }
    event->ignore();
    if (!wizard_.converting()) CancelButton_Click();
}

void StepWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape || event->modifiers() != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    if (!wizard_.converting()) CancelButton_Click();
}

Qt::WindowFlags fixedDialogFlags() {
    return Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
           Qt::MSWindowsFixedSizeDialogHint;
}

void centreOnScreen(QWidget* window) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect client = window->geometry();
    client.moveCenter(screen->availableGeometry().center());
    window->setGeometry(client);
}

void centreOn(QWidget* window, const QWidget* owner) {
    if (!owner || !owner->isVisible()) {
        centreOnScreen(window);
        return;
    }
    QRect client = window->geometry();
    client.moveCenter(owner->geometry().center());
    window->setGeometry(client);
}

}  // namespace pontrel::forms
