#pragma once
// How the wizard's windows answer the keyboard: Tab enters a group of option buttons at its
// selected option and the arrow keys move within the group; Enter presses the push button that
// has the focus; the focus is drawn from the moment a window opens, not only after a first Tab.

#include <initializer_list>

class QAbstractButton;
class QPushButton;
class QRadioButton;
class QWidget;

namespace pontrel::forms {

// The option buttons of one group (they exclude each other): only the selected one is a Tab
// stop, whichever that is at any time.
void tabToSelectedOption(std::initializer_list<QRadioButton*> group);

// Enter (and Return) presses each of these buttons while it has the focus.
void pressOnEnter(std::initializer_list<QPushButton*> buttons);

// Alt and a letter press a button or select an option. The letter of each is underlined in its
// text, which otherwise stays as it is; the first occurrence (in either case) is the one taken.
struct Mnemonic {
    QAbstractButton* button;
    char letter;
};
void setMnemonics(std::initializer_list<Mnemonic> mnemonics);

// The focused control of `window` shows its focus frame at once.
void drawFocusFromStart(QWidget* window);

}  // namespace pontrel::forms
