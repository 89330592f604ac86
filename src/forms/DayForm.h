#pragma once
// Step 2 in Day mode: the user picks one sample date from the table Samples, or types one. Each
// item keeps its date, so the date carried on is the item's own, not its text read back.

#include <QComboBox>

#include "forms/StepTwoForm.h"

namespace pontrel::forms {

inline constexpr const char* kDayPlaceholder = "*******Day*******";
inline constexpr const char* kPickDayMessage = "Pick a Day with the desired values for shapefile";

// "'" & text & "' is not a date": a typed text that no date reading accepts.
QString notADateMessage(const QString& text);

class DayForm : public StepTwoForm {
    Q_OBJECT
public:
    explicit DayForm(Wizard& wizard);

    QComboBox* Days_CB;

public slots:
    void Command1_Click() override;

protected:
    void fillList() override;

private:
    void fitListToItems();
};

}  // namespace pontrel::forms
