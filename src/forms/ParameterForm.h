#pragma once
// Step 2 in Parameter mode: the user picks (or types) one parameter name from the table Params.

#include <QComboBox>

#include "forms/StepTwoForm.h"

namespace pontrel::forms {

inline constexpr const char* kParameterPlaceholder = "********Parameter*********";
inline constexpr const char* kPickParameterMessage =
    "Pick the Parameter to be designed in the Shapefile";

class ParameterForm : public StepTwoForm {
    Q_OBJECT
public:
    explicit ParameterForm(Wizard& wizard);

    QComboBox* Parameters_CB;

public slots:
    void Command1_Click() override;

protected:
    void fillList() override;
};

}  // namespace pontrel::forms
