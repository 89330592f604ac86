#pragma once
// The Options dialog of step 3: how the output is written, as the settings file holds it for
// both programs. The coordinate system of each coordinate type is typed as any code PROJ knows
// (or a WKT or PROJ string), and PROJ's name for it is shown as it is typed; an unknown one
// cannot be confirmed, and an empty one means no .prj. Values, Missing, Layout and Format are
// chosen from their two words. The dialog only edits: its owner reads `chosen()` after OK and saves it. Room is
// left in its form for further choices of the same file.

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <string>

#include "engine/OutputSettings.h"

namespace pontrel::dialogs {

// PROJ's name for the system, as the dialog and step 3 show it: "WGS 84" for EPSG:4326, "None"
// for an empty definition, or "Unknown to PROJ" and PROJ's reason; `known` tells which.
QString coordinateSystemCaption(const std::string& definition, bool* known = nullptr);

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    OptionsDialog(const OutputSettings& settings, const QString& settingsPath, QWidget* owner);

    // The settings as the dialog shows them; the coordinate systems must be known to PROJ.
    OutputSettings chosen() const;

    QLineEdit* MilitaryCrs_TB;
    QLabel* MilitaryCrsName;
    QLineEdit* NormalCrs_TB;
    QLabel* NormalCrsName;
    QComboBox* Values_CB;
    QComboBox* Missing_CB;
    QComboBox* Layout_CB;
    QComboBox* Format_CB;
    QDialogButtonBox* Buttons;

private:
    // Shows PROJ's name of each system and allows OK only when both are usable.
    void showNames();
};

}  // namespace pontrel::dialogs
