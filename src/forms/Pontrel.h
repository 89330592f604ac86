#pragma once
// Step 3 of the wizard and the program's main form: the output folder, the shapefile name and the
// kind of coordinates, and the "Create Shape File" button that runs the conversion. It is also
// the engine's user interface during the conversion: message boxes, the progress bar and the
// status panels (phase, elapsed and remaining time). Unloaded by its own "<< Back". Its
// "Options..." button edits the settings file that both programs read.

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <array>
#include <ctime>
#include <string>

#include "engine/FileNames.h"
#include "engine/RunState.h"
#include "engine/UserInterface.h"
#include "forms/Frame.h"
#include "forms/StatusBar.h"
#include "forms/StepWindow.h"

namespace pontrel::forms {

// The name proposed for the mode's choice: the chosen parameter or the chosen day's text, made
// fit for a file name (fileNameSafe); empty when no mode is chosen yet.
std::string proposedShapeFileName(const RunState& state);

class Pontrel : public StepWindow, public UserInterface {
    Q_OBJECT
public:
    explicit Pontrel(Wizard& wizard);

    // Proposes the shapefile name for the mode and places the progress bar in its panel.
    void Form_Load();
    // Proposes the shapefile name for the choice of step 2, unless the user has typed a name of
    // their own since the last proposal.
    void proposeName();
    // Places `pb` over panel `pnlIndex` of `sb`, reaching from 2 pixels below the bar's top edge
    // to the bottom of the form; the panel loses its bevel.
    void MoveProgressBarIntoPanel(QProgressBar& pb, StatusBar& sb, int pnlIndex);

    // Set when the last "Create Shape File" found the folder or the name missing.
    bool OptionsInvalid = false;

    QPushButton* Command1;
    QProgressBar* ProgressBar1;
    Frame* IndexCreation_frame;
    StatusBar* StatusBar2;
    QPushButton* About;
    QPushButton* Options;                 // opens the Options dialog
    QLabel* CoordinateSystem_Label;       // the chosen coordinates' system, from the settings
    QPushButton* ShapeBrowser1;
    std::array<QLineEdit*, 1> ShapeFolder_TB;
    QLabel* Label7;
    QLineEdit* ShapeFileName_TB;
    QLabel* Label8;
    QLabel* Label1;
    Frame* TypeCoordinates_Frame;
    QRadioButton* NormalCoordinates_OB;
    QRadioButton* MilitaryCoordinates_OB;
    QPushButton* Back_CB;
    QPushButton* CancelButton;

    // The engine's user interface.
    void showMessage(const std::string& text) override;
    bool askYesNo(const std::string& text, const std::string& title) override;
    void setProgressMaximum(double maximum) override;
    void setProgressMinimum(double minimum) override;
    void setProgressValue(double value) override;
    void setStatusText(int panel, const std::string& text) override;
    data::Date now() override;
    std::string dateValueText(data::Date value) override;
    void endProgram() override;

public slots:
    void Command1_Click();
    void ShapeBrowser1_Click();
    void Back_CB_Click();
    void CancelButton_Click() override;
    void About_Click();
    // Edits the user's settings file in the Options dialog and saves it on OK.
    void Options_Click();
    // Shows the system of the chosen coordinate type, as the settings file gives it.
    void showCoordinateSystem();
    // Shows beside the name the extension of what will be written: .shp or .gpkg.
    void showExtension();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Lets the window repaint during the conversion, which takes no input: at once for a new
    // phase, otherwise at most every few hundredths of a second.
    void repaintDuringConversion(bool now);
    void showPendingProgress();
    void dockStatusBar();

    QElapsedTimer sinceRepaint_;
    int pendingProgress_ = -1;
    std::time_t clockSecond_ = -1;
    data::Date clockValue_ = 0;
    long long lastSpanSeconds_ = -1;
    std::string lastSpanText_;
    QString proposedName_;
    OutputFormat settingsFormat_ = OutputFormat::Shapefile;  // as the settings last read say
};

}  // namespace pontrel::forms
