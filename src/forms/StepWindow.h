#pragma once
// What the three wizard steps have in common: each belongs to the wizard, and the close box of
// its title bar does what its "Close" button does (asks, and on Yes ends the program). While a
// conversion runs the close box does nothing.

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

    Wizard& wizard_;
};

// The window flags of a fixed dialog window with a title bar and its close box only.
Qt::WindowFlags fixedDialogFlags();

// Centres a window's client area on the primary screen.
void centreOnScreen(QWidget* window);

}  // namespace pontrel::forms
