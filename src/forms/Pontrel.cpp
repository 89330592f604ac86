#include "forms/Pontrel.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPointer>
#include <cmath>
#include <cstring>
#include <ctime>

#include "Version.h"
#include "dialogs/BrowseFolder.h"
#include "dialogs/OptionsDialog.h"
#include "engine/SettingsFile.h"
#include "engine/ConversionDriver.h"
#include "engine/FileNames.h"
#include "forms/DesignUnits.h"
#include "forms/Keyboard.h"
#include "forms/RegionalSettings.h"
#include "forms/Wizard.h"
#include "forms/frmAbout.h"

namespace pontrel::forms {

namespace {

constexpr int kRepaintIntervalMs = 40;

// Panel widths in twips as designed; the time panels widen when the locale's time texts need
// more room, and the phase panel gives that room up.
std::vector<int> statusPanelWidths(const QFont& font) {
    std::vector<int> widths{pixels(4000), pixels(2500), pixels(2000), pixels(2000)};
    const QFontMetrics metrics(font);
    int needed = 0;
    for (double span : {0.0, 0.5 - 1.0 / 86400, 1.0 - 1.0 / 86400, 10.0 / 24 + 58.0 / 1440}) {
        const QString text = QString::fromStdString(dateValueText(span));
        needed = std::max({needed, metrics.horizontalAdvance("Time elapsed: " + text),
                           metrics.horizontalAdvance("Time remaining: " + text)});
    }
    needed += 10;  // text margins and bevel
    for (int panel : {2, 3}) {
        const int extra = std::max(0, needed - widths[static_cast<std::size_t>(panel)]);
        widths[static_cast<std::size_t>(panel)] += extra;
        widths[0] -= extra;
    }
    return widths;
}

}  // namespace

std::string proposedShapeFileName(const RunState& state) {
    if (state.ShapeType == kDayMode) return fileNameSafe(dateText(state.SelectedDay));
    if (state.ShapeType == kParameterMode) return fileNameSafe(state.SelectedParameter);
    return {};
}

Pontrel::Pontrel(Wizard& wizard)
    : StepWindow(wizard, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    setObjectName("Pontrel");
    setWindowTitle(QString::fromUtf8(kProgramTitle) + " (3/3)");
    setFont(designFont());
    placeWindow(this, -1, -1, 10770, 5040, true);
    centreOnScreen(this);

    // Created in tab order; the frame first among the overlapping ones, so that the button
    // lying in its bottom row is drawn over it.
    IndexCreation_frame = new Frame(QString(), this);
    place(IndexCreation_frame, 0, 120, 10575, 4575, designFont("MS Sans Serif", 8.25, true));
    Command1 = new QPushButton("Create Shape File", this);
    place(Command1, 4560, 4080, 2415, 495, designFont("MS Sans Serif", 12, true));
    Command1->setToolTip("Create Shape File");
    ProgressBar1 = new QProgressBar(this);
    place(ProgressBar1, 7320, 8640, 1335, 375);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    StatusBar2 = new StatusBar(statusPanelWidths(designFont()), this);
    place(StatusBar2, 0, 4755, 10770, 285);

    About = new QPushButton("About", IndexCreation_frame);
    place(About, 9360, 240, 1095, 375);
    About->setToolTip("About Quinterra Pontrel");
    // Below About, where the frame has room: no control of the design moves for it.
    Options = new QPushButton("Options...", IndexCreation_frame);
    place(Options, 9360, 720, 1095, 375);
    Options->setToolTip("Coordinate systems, values, missing data, Day mode's layout and format of the output");
    ShapeBrowser1 = new QPushButton("Browse", IndexCreation_frame);
    place(ShapeBrowser1, 7320, 2760, 975, 375);
    ShapeBrowser1->setToolTip("Browse for a directory for shape file");
    ShapeFolder_TB[0] = new QLineEdit(IndexCreation_frame);
    place(ShapeFolder_TB[0], 1680, 2760, 5535, 285);
    ShapeFolder_TB[0]->setToolTip("Select a destiny folder for shape file");
    Label7 = new QLabel("Folder for Shape File", IndexCreation_frame);
    place(Label7, 240, 2760, 1215, 375);
    ShapeFileName_TB = new QLineEdit(IndexCreation_frame);
    place(ShapeFileName_TB, 1680, 3240, 2175, 285);
    ShapeFileName_TB->setToolTip("Select shape file name");
    Label8 = new QLabel(".shp", IndexCreation_frame);
    place(Label8, 3840, 3240, 615, 255);
    Label1 = new QLabel("Shape File Name", IndexCreation_frame);
    place(Label1, 240, 3240, 1335, 255);
    for (QLabel* label : {Label7, Label8, Label1}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);
        growToFitText(label);
    }
    TypeCoordinates_Frame = new Frame("Type of Coordinates", IndexCreation_frame);
    place(TypeCoordinates_Frame, 3000, 1200, 3495, 1215);
    NormalCoordinates_OB = new QRadioButton("Normal Coordinates", TypeCoordinates_Frame);
    place(NormalCoordinates_OB, 360, 240, 1815, 375);
    MilitaryCoordinates_OB = new QRadioButton("Military Coordinates", TypeCoordinates_Frame);
    place(MilitaryCoordinates_OB, 360, 600, 2055, 375);
    MilitaryCoordinates_OB->setChecked(true);
    // Right of the coordinate choice: the system the chosen coordinates are written in.
    CoordinateSystem_Label = new QLabel(IndexCreation_frame);
    place(CoordinateSystem_Label, 6600, 1320, 3855, 1095);
    CoordinateSystem_Label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    CoordinateSystem_Label->setWordWrap(true);
    Back_CB = new QPushButton("<< Back", IndexCreation_frame);
    place(Back_CB, 2640, 3960, 1815, 495);
    CancelButton = new QPushButton("Close", IndexCreation_frame);
    place(CancelButton, 7080, 3960, 1455, 495);

    // No button is the form's default: Enter presses only the button that has the focus.
    pressOnEnter({Command1, About, Options, ShapeBrowser1, Back_CB, CancelButton});
    tabToSelectedOption({NormalCoordinates_OB, MilitaryCoordinates_OB});
    setMnemonics({{Command1, 'S'}, {About, 'A'}, {Options, 'O'}, {ShapeBrowser1, 'r'},
                  {NormalCoordinates_OB, 'N'}, {MilitaryCoordinates_OB, 'M'}, {Back_CB, 'B'}, {CancelButton, 'C'}});
    // Tab follows the window from top to bottom, left to right.
    QWidget* order[] = {About, Options, NormalCoordinates_OB, MilitaryCoordinates_OB, ShapeFolder_TB[0],
                        ShapeBrowser1, ShapeFileName_TB, Back_CB, Command1, CancelButton};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
    Command1->setFocus();

    connect(Command1, &QPushButton::clicked, this, &Pontrel::Command1_Click);
    connect(ShapeBrowser1, &QPushButton::clicked, this, &Pontrel::ShapeBrowser1_Click);
    connect(Back_CB, &QPushButton::clicked, this, &Pontrel::Back_CB_Click);
    connect(CancelButton, &QPushButton::clicked, this, &Pontrel::CancelButton_Click);
    connect(About, &QPushButton::clicked, this, &Pontrel::About_Click);
    connect(Options, &QPushButton::clicked, this, &Pontrel::Options_Click);
    connect(MilitaryCoordinates_OB, &QRadioButton::toggled, this, &Pontrel::showCoordinateSystem);
    connect(ShapeFileName_TB, &QLineEdit::textChanged, this, &Pontrel::showExtension);
}

void Pontrel::Form_Load() {
    proposeName();
    showCoordinateSystem();
    MoveProgressBarIntoPanel(*ProgressBar1, *StatusBar2, 2);
}

void Pontrel::proposeName() {
    const QString proposed = QString::fromStdString(proposedShapeFileName(wizard_.state()));
    const QString shown = ShapeFileName_TB->text();
    if (shown.isEmpty() || shown == proposedName_) ShapeFileName_TB->setText(proposed);
    proposedName_ = proposed;
}

void Pontrel::MoveProgressBarIntoPanel(QProgressBar& pb, StatusBar& sb, int pnlIndex) {
    // Worked out in twips, the form's scale, in single precision.
    const float twipsPerPixel = static_cast<float>(kTwipsPerPixel);
    const float border = 2 * twipsPerPixel;
    sb.setPanelBevel(pnlIndex, StatusBar::Bevel::None);
    const float top = static_cast<float>(height()) * twipsPerPixel -
                      static_cast<float>(sb.height()) * twipsPerPixel;
    const float left = static_cast<float>(sb.x() + sb.panelLeft(pnlIndex)) * twipsPerPixel;
    const float width = static_cast<float>(sb.panelWidth(pnlIndex)) * twipsPerPixel;
    const float barHeight = static_cast<float>(sb.height()) * twipsPerPixel - border;
    auto toPixels = [&](float twips) { return static_cast<int>(std::lround(twips / twipsPerPixel)); };
    pb.setGeometry(toPixels(left), toPixels(top + border), toPixels(width), toPixels(barHeight));
    pb.setVisible(true);
    pb.raise();
}

void Pontrel::resizeEvent(QResizeEvent* event) {
    StepWindow::resizeEvent(event);
    dockStatusBar();
}

void Pontrel::dockStatusBar() {
    StatusBar2->setGeometry(0, height() - StatusBar2->height(), width(), StatusBar2->height());
}

void Pontrel::Command1_Click() {
    if (wizard_.converting()) return;
    pontrel::OutputOptions options;
    options.folder = ShapeFolder_TB[0]->text().toStdString();
    options.name = ShapeFileName_TB->text().toStdString();
    options.military = MilitaryCoordinates_OB->isChecked();
    options.normal = NormalCoordinates_OB->isChecked();

    OptionsInvalid = false;
    wizard_.setConverting(true);
    sinceRepaint_.start();
    wizard_.run(this, [&] {
        if (!runConversion(wizard_.state(), *this, options, readUserSettings)) OptionsInvalid = true;
    });
    wizard_.setConverting(false);
    if (!wizard_.ended()) {
        // A conversion that stopped leaves no phase behind: the step waits for another try.
        StatusBar2->setPanelText(1, QString());
        ProgressBar1->setValue(ProgressBar1->minimum());
    }
}

void Pontrel::ShapeBrowser1_Click() {
    // The form takes input while the browser is open: "<< Back" may unload it meanwhile.
    const QPointer<Pontrel> self(this);
    Wizard& wizard = wizard_;
    const std::string typed = ShapeFolder_TB[0]->text().toStdString();
    std::optional<std::string> chosen;
    wizard.run(this, [&] { chosen = dialogs::PickFolder(wizard.dialogs(), wizard.state(), typed); });
    // A cancelled browser leaves the box as the user left it.
    if (self && chosen) ShapeFolder_TB[0]->setText(QString::fromStdString(*chosen));
}

void Pontrel::Back_CB_Click() {
    wizard_.unloadMainForm();
    wizard_.run(nullptr, [&] { wizard_.showStepTwoOfMode(); });
}

void Pontrel::CancelButton_Click() {
    if (!wizard_.confirmClose(this)) return;
    wizard_.closeConnection();
    wizard_.endProgram(0);
}

void Pontrel::About_Click() {
    frmAbout& box = wizard_.about();
    box.show();
    box.raise();
    box.activateWindow();
}

void Pontrel::Options_Click() {
    if (wizard_.converting()) return;
    const std::string path = defaultSettingsPath();
    wizard_.run(this, [&] {
        if (path.empty()) throw SettingsError("There is no folder for the settings: HOME is not set");
        dialogs::OptionsDialog dialog(readSettings(path), QString::fromStdString(path), this);
        if (dialog.exec() != QDialog::Accepted) return;
        writeSettings(path, dialog.chosen());
    });
    showCoordinateSystem();
}

void Pontrel::showCoordinateSystem() {
    // A settings file that cannot be used is named when the conversion starts, not here.
    std::string definition;
    try {
        const OutputSettings settings = readUserSettings();
        definition = (MilitaryCoordinates_OB->isChecked() ? settings.militaryCrs : settings.normalCrs).definition;
        settingsFormat_ = settings.format;
    } catch (const std::exception&) {
        CoordinateSystem_Label->clear();
        return;
    }
    CoordinateSystem_Label->setText("Coordinate system: " + dialogs::coordinateSystemCaption(definition));
    showExtension();
}

void Pontrel::showExtension() {
    // A name typed with its extension says what is written; otherwise the settings' format does.
    const QString typed = ShapeFileName_TB->text();
    OutputFormat format = settingsFormat_;
    for (OutputFormat named : {OutputFormat::Shapefile, OutputFormat::GeoPackage})
        if (typed.endsWith(extensionOf(named), Qt::CaseInsensitive) && typed.size() > static_cast<qsizetype>(std::strlen(extensionOf(named))))
            format = named;
    Label8->setText(extensionOf(format));
}

void Pontrel::repaintDuringConversion(bool now) {
    if (!wizard_.converting() || !isVisible()) return;
    if (!now && sinceRepaint_.isValid() && sinceRepaint_.elapsed() < kRepaintIntervalMs) return;
    showPendingProgress();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    sinceRepaint_.start();
}

void Pontrel::showMessage(const std::string& text) {
    wizard_.boxes().message(this, QString::fromStdString(text));
}

bool Pontrel::askYesNo(const std::string& text, const std::string& title) {
    return wizard_.boxes().question(this, QString::fromStdString(text),
                                    QString::fromStdString(title)) == kAnswerYes;
}

void Pontrel::setProgressMaximum(double maximum) {
    ProgressBar1->setMaximum(static_cast<int>(maximum));
}

void Pontrel::setProgressMinimum(double minimum) {
    ProgressBar1->setMinimum(static_cast<int>(minimum));
}

void Pontrel::setProgressValue(double value) {
    // The value comes after every row; the bar takes it when the window is next repainted,
    // since a progress bar repaints itself at once on every visible change.
    pendingProgress_ = static_cast<int>(value);
    if (!wizard_.converting() || !isVisible())
        showPendingProgress();
    else
        repaintDuringConversion(false);
}

void Pontrel::showPendingProgress() {
    if (pendingProgress_ < 0) return;
    ProgressBar1->setValue(pendingProgress_);
    pendingProgress_ = -1;
}

void Pontrel::setStatusText(int panel, const std::string& text) {
    StatusBar2->setPanelText(panel, QString::fromStdString(text));
    repaintDuringConversion(panel == 1);
}

data::Date Pontrel::now() {
    // Asked after every row; the local date and time are worked out once a second.
    const std::time_t second = std::time(nullptr);
    if (second != clockSecond_) {
        clockSecond_ = second;
        clockValue_ = currentDate();
    }
    return clockValue_;
}

std::string Pontrel::dateValueText(data::Date value) {
    // The time texts are rewritten after every row but change once a second at most.
    const long long seconds = std::llround(value * 86400.0);
    if (seconds != lastSpanSeconds_ || lastSpanText_.empty()) {
        lastSpanSeconds_ = seconds;
        lastSpanText_ = forms::dateValueText(value);
    }
    return lastSpanText_;
}

void Pontrel::endProgram() { wizard_.endProgram(0); }

}  // namespace pontrel::forms
