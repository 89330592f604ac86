#pragma once
// The program's modal message boxes, behind an interface so that tests can read and answer them.
// Every box has no icon; an OK-only box carries the program title, a question box its own title.

#include <QString>

class QWidget;

namespace pontrel::forms {

// The answers of a Yes/No box, as the program stores them in CloseAnswer.
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;

    // `text` with an OK button under the program title; returns when the user has answered.
    virtual void message(QWidget* owner, const QString& text) = 0;
    // `text` with Yes and No under `title`; kAnswerYes or kAnswerNo.
    virtual int question(QWidget* owner, const QString& text, const QString& title) = 0;
};

// QMessageBox, application-modal: no other window takes input while a box is open. Each is at
// least as wide as its title needs.
class QtMessageBoxes : public MessageBoxes {
public:
    void message(QWidget* owner, const QString& text) override;
    int question(QWidget* owner, const QString& text, const QString& title) override;
};

}  // namespace pontrel::forms
