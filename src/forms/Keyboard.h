#pragma once
// How the wizard's windows answer the keyboard: Tab enters a group of option buttons at its
// selected option and the arrow keys move within the group; Enter presses the push button that
// has the focus; the focus is drawn from the moment a window opens, not only after a first Tab.

#include <initializer_list>

class QPushButton;
class QRadioButton;
class QWidget;

namespace pontrel::forms {

// The option buttons of one group (they exclude each other): only the selected one is a Tab
// stop, whichever that is at any time.
void tabToSelectedOption(std::initializer_list<QRadioButton*> group);

// Enter (and Return) presses each of these buttons while it has the focus.
void pressOnEnter(std::initializer_list<QPushButton*> buttons);

// The focused control of `window` shows its focus frame at once.
void drawFocusFromStart(QWidget* window);

}  // namespace pontrel::forms
