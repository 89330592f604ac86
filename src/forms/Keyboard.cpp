#include "forms/Keyboard.h"

#include <QAbstractButton>
#include <QEvent>
#include <QPushButton>
#include <QRadioButton>
#include <memory>
#include <vector>

namespace pontrel::forms {

void tabToSelectedOption(std::initializer_list<QRadioButton*> group) {
    auto buttons = std::make_shared<std::vector<QRadioButton*>>(group);
    auto update = [buttons] {
        bool any = false;
        for (QRadioButton* button : *buttons) any = any || button->isChecked();
        for (QRadioButton* button : *buttons) {
            // Without a selection every option stays a Tab stop, so the group can be reached.
            const bool stop = !any || button->isChecked();
            button->setFocusPolicy(stop ? Qt::StrongFocus : Qt::ClickFocus);
        }
    };
    for (QRadioButton* button : group)
        QObject::connect(button, &QRadioButton::toggled, button, update);
    update();
}

void setMnemonics(std::initializer_list<Mnemonic> mnemonics) {
    for (const Mnemonic& m : mnemonics) {
        QString text = m.button->text();
        const qsizetype at = text.indexOf(QChar(m.letter), 0, Qt::CaseInsensitive);
        Q_ASSERT(at >= 0);
        if (at >= 0) m.button->setText(text.insert(at, '&'));
    }
}

void pressOnEnter(std::initializer_list<QPushButton*> buttons) {
    // Outside a dialog no button is the window's default: an auto-default button only takes
    // Enter while it has the focus.
    for (QPushButton* button : buttons) button->setAutoDefault(true);
}

namespace {

// Styles draw the focus frame once the window has seen a keyboard focus change; showing a
// window forgets that, so each showing sets it again.
class FocusShownFromStart : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            static_cast<QWidget*>(watched)->setAttribute(Qt::WA_KeyboardFocusChange);
        return false;
    }
};

}  // namespace

void drawFocusFromStart(QWidget* window) {
    window->installEventFilter(new FocusShownFromStart(window));
}

}  // namespace pontrel::forms
