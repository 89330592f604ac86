#include "forms/StepTwoForm.h"

#include <QLineEdit>

#include "Version.h"
#include "forms/DesignUnits.h"
#include "forms/Keyboard.h"
#include "forms/Wizard.h"

namespace pontrel::forms {

StepTwoForm::StepTwoForm(Wizard& wizard) : StepWindow(wizard, Qt::Window) {}

void StepTwoForm::designWindow(const QString& frameCaption, const QRect& frame, int backLeft,
                               int backWidth) {
    setWindowTitle(QString::fromUtf8(kProgramTitle) + " (2/3)");
    setFont(designFont());
    placeWindow(this, -1, -1, 4680, 3195, true);

    Frame1 = new Frame(frameCaption, this);
    place(Frame1, frame.left(), frame.top(), frame.width(), frame.height());
    Command1 = new QPushButton("Next >>", this);
    place(Command1, 3240, 2280, 1335, 375);
    Back_CB = new QPushButton("<< Back", this);
    place(Back_CB, backLeft, 2280, backWidth, 375);
    CancelButton = new QPushButton("Close", this);
    place(CancelButton, 3240, 2760, 1335, 375);
    pressOnEnter({Command1, Back_CB, CancelButton});
    setMnemonics({{Command1, 'N'}, {Back_CB, 'B'}, {CancelButton, 'C'}});

    connect(Command1, &QPushButton::clicked, this, &StepTwoForm::Command1_Click);
    connect(Back_CB, &QPushButton::clicked, this, &StepTwoForm::Back_CB_Click);
    connect(CancelButton, &QPushButton::clicked, this, &StepTwoForm::CancelButton_Click);
}

void StepTwoForm::designList(QComboBox* list, const QString& placeholder) {
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setCompleter(nullptr);  // the text is what the user typed, never silently completed
    list->setMaxVisibleItems(20);
    showPlaceholder(list, placeholder);
}

void StepTwoForm::showPlaceholder(QComboBox* list, const QString& placeholder) {
    list->setCurrentIndex(-1);
    list->setEditText(placeholder);
    // Selected, so that what the user types replaces the placeholder instead of joining it.
    if (list->lineEdit()) list->lineEdit()->selectAll();
}

void StepTwoForm::Form_Load() {
    listFile_ = wizard_.state().DataSourceFile;
    fillList();
}

void StepTwoForm::readListIfSourceChanged() {
    if (wizard_.state().DataSourceFile != listFile_) Form_Load();
}

void StepTwoForm::Back_CB_Click() {
    hide();
    wizard_.showTypeForm();
}

void StepTwoForm::CancelButton_Click() {
    if (!wizard_.confirmClose(this)) return;
    wizard_.closeConnection();
    wizard_.endProgram(0);
}

}  // namespace pontrel::forms
