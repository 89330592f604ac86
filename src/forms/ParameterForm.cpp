#include "forms/ParameterForm.h"

#include "forms/DesignUnits.h"
#include "forms/StepLists.h"
#include "forms/Wizard.h"

namespace pontrel::forms {

ParameterForm::ParameterForm(Wizard& wizard) : StepTwoForm(wizard) {
    setObjectName("ParameterForm");
    designWindow("Pick the Parameter to be designed in the Shapefile:",
                 QRect(360, 840, 3975, 1095), 1920, 1335);
    Parameters_CB = new QComboBox(Frame1);
    place(Parameters_CB, 480, 360, 3135, 315);
    designList(Parameters_CB, kParameterPlaceholder);

    setTabOrder(Parameters_CB, Back_CB);
    setTabOrder(Back_CB, Command1);
    setTabOrder(Command1, CancelButton);
    Parameters_CB->setFocus();  // as on the Day form: the choice comes first
}

void ParameterForm::fillList() {
    Parameters_CB->clear();
    for (const std::string& name : readParameterNames(wizard_.state()))
        Parameters_CB->addItem(QString::fromStdString(name));
    showPlaceholder(Parameters_CB, kParameterPlaceholder);
}

void ParameterForm::Command1_Click() {
    wizard_.run(this, [&] {
        const QString text = Parameters_CB->currentText();
        if (text == kParameterPlaceholder) {
            wizard_.boxes().message(this, kPickParameterMessage);
            return;
        }
        wizard_.state().SelectedParameter = text.toStdString();
        hide();
        wizard_.showMainForm();
    });
}

}  // namespace pontrel::forms
