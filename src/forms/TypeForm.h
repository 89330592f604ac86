#pragma once
// Step 1 of the wizard: the database file, typed or browsed for, and the kind of shapefile
// (one parameter over all dates, or all parameters of one day). Loaded once and never unloaded:
// "Next  >>" only hides it, so it keeps the path and the choice.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "forms/Frame.h"
#include "forms/StepWindow.h"

namespace pontrel::forms {

// Shown when "Next  >>" finds the path box empty.
inline constexpr const char* kMissingDataSourceMessage = "Please select a DataSource file";

class TypeForm : public StepWindow {
    Q_OBJECT
public:
    explicit TypeForm(Wizard& wizard);

    void Form_Load() {}

    QLabel* Label4;
    QLineEdit* DataSourceFile_TB;
    QPushButton* DataSourceBrowser;
    Frame* Frame1;
    QRadioButton* Day_OB;
    QRadioButton* Parameter_OB;
    QPushButton* OKButton;
    QPushButton* CancelButton;

public slots:
    void DataSourceBrowser_Click();
    void OKButton_Click();
    void CancelButton_Click() override;
};

}  // namespace pontrel::forms
