#pragma once
// What the three wizard steps have in common: each belongs to the wizard, and the close box of
// its title bar and the Escape key do what its "Close" button does (asks, and on Yes ends the
// program). While a conversion runs they do nothing.

#include <QWidget>

namespace pontrel::forms {

class Wizard;

class StepWindow : public QWidget {
    Q_OBJECT
public:
    StepWindow(Wizard& wizard, Qt::WindowFlags flags);
    StepWindow(const StepWindow&) = delete;
    StepWindow& operator=(const StepWindow&) = delete;

public slots:
    virtual void CancelButton_Click() = 0;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Escape does what "Close" does.
    void keyPressEvent(QKeyEvent* event) override;

    Wizard& wizard_;
};

// The window flags of a fixed dialog window with a title bar and its close box only.
Qt::WindowFlags fixedDialogFlags();

// Centres a window's client area on the primary screen.
void centreOnScreen(QWidget* window);
// Centres a window on the visible window it belongs to; on the screen when there is none.
void centreOn(QWidget* window, const QWidget* owner);

}  // namespace pontrel::forms
