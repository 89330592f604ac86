#include "forms/TypeForm.h"

#include "Version.h"
#include "dialogs/BrowseForFile.h"
#include "forms/DesignUnits.h"
#include "forms/Keyboard.h"
#include "forms/Wizard.h"

namespace pontrel::forms {

TypeForm::TypeForm(Wizard& wizard) : StepWindow(wizard, fixedDialogFlags()) {
    setObjectName("TypeForm");
    setWindowTitle(QString::fromUtf8(kProgramTitle) + " (1/3)");
    setFont(designFont());
    placeWindow(this, -1, -1, 10275, 3195, true);
    centreOnScreen(this);

    // Created in tab order.
    OKButton = new QPushButton("Next  >>", this);
    place(OKButton, 8880, 2280, 1215, 375);
    CancelButton = new QPushButton("Close", this);
    place(CancelButton, 8880, 2760, 1215, 375);
    Frame1 = new Frame("Select Type of Shapefile", this);
    place(Frame1, 1560, 1440, 2895, 1335);
    Day_OB = new QRadioButton("Day", Frame1);
    place(Day_OB, 360, 360, 1335, 255);
    Parameter_OB = new QRadioButton("Parameter", Frame1);
    place(Parameter_OB, 360, 840, 1335, 255);
    Parameter_OB->setChecked(true);
    DataSourceFile_TB = new QLineEdit(this);
    place(DataSourceFile_TB, 1560, 480, 5535, 285);
    DataSourceFile_TB->setToolTip("Browse DataSource File");
    // A database given to the program when it started.
    DataSourceFile_TB->setText(QString::fromStdString(wizard.state().DataSourceFile));
    Label4 = new QLabel("DataSource File", this);
    place(Label4, 120, 480, 1215, 375);
    Label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label4->setWordWrap(true);
    growToFitText(Label4);
    DataSourceBrowser = new QPushButton("Browse", this);
    place(DataSourceBrowser, 7200, 480, 975, 375);
    DataSourceBrowser->setToolTip("Browse DataSource file");

    pressOnEnter({OKButton, CancelButton, DataSourceBrowser});
    tabToSelectedOption({Day_OB, Parameter_OB});
    setMnemonics({{OKButton, 'N'}, {CancelButton, 'C'}, {Day_OB, 'D'}, {Parameter_OB, 'P'},
                  {DataSourceBrowser, 'B'}});
    // Tab follows the window from top to bottom, left to right.
    setTabOrder(DataSourceFile_TB, DataSourceBrowser);
    setTabOrder(DataSourceBrowser, Day_OB);
    setTabOrder(Day_OB, Parameter_OB);
    setTabOrder(Parameter_OB, OKButton);
    setTabOrder(OKButton, CancelButton);
    OKButton->setFocus();

    connect(DataSourceBrowser, &QPushButton::clicked, this, &TypeForm::DataSourceBrowser_Click);
    connect(OKButton, &QPushButton::clicked, this, &TypeForm::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &TypeForm::CancelButton_Click);
}

void TypeForm::DataSourceBrowser_Click() {
    wizard_.run(this, [&] {
        RunState& state = wizard_.state();
        // A cancelled dialog leaves the box as the user left it.
        if (dialogs::PickFile(wizard_.dialogs(), state, this, DataSourceFile_TB->text().toStdString()))
            DataSourceFile_TB->setText(QString::fromStdString(state.BrowseFileResult));
    });
}

void TypeForm::OKButton_Click() {
    wizard_.run(this, [&] {
        RunState& state = wizard_.state();
        state.DataSourceFile = DataSourceFile_TB->text().toStdString();
        if (state.DataSourceFile.empty()) {
            wizard_.boxes().message(this, kMissingDataSourceMessage);
        } else if (Day_OB->isChecked()) {
            hide();
            state.ShapeType = kDayMode;
            wizard_.showDayForm();
        } else if (Parameter_OB->isChecked()) {
            hide();
            state.ShapeType = kParameterMode;
            wizard_.showParameterForm();
        }
    });
}

void TypeForm::CancelButton_Click() {
    // Step 1 ends the program without touching the connection.
    if (wizard_.confirmClose(this)) wizard_.endProgram(0);
}

}  // namespace pontrel::forms
