// The wizard's forms driven as a user would, through fake message boxes and file dialogs: their
// controls, every way through the wizard, the closing paths, the step-2 lists, the proposed
// names, and whole conversions from the sample database.

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <deque>
#include <optional>

#include "Version.h"
#include "source/Connection.h"
#include "sqlite/Sqlite.h"
#include "forms/DayForm.h"
#include "forms/DesignUnits.h"
#include "forms/ParameterForm.h"
#include "forms/Pontrel.h"
#include "forms/RegionalSettings.h"
#include "forms/StepLists.h"
#include "forms/TypeForm.h"
#include "forms/Wizard.h"
#include "forms/frmAbout.h"
#include "forms/frmSplash.h"

using namespace pontrel;
using namespace pontrel::forms;

namespace {

class FakeBoxes : public MessageBoxes {
public:
    void message(QWidget*, const QString& text) override {
        messages.push_back(text);
        if (onMessage) onMessage(text);
    }
    int question(QWidget*, const QString& text, const QString& title) override {
        questions.push_back(title + ": " + text);
        if (answers.empty()) return kAnswerNo;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }

    QStringList messages;
    QStringList questions;
    std::deque<int> answers;
    std::function<void(const QString&)> onMessage;
};

class FakeDialogs : public dialogs::FileDialogs {
public:
    std::optional<std::string> openFile(QWidget*, const std::string& title, const std::string& filter,
                                        const std::string& startFolder) override {
        requests.push_back(title + "|" + filter + "|" + startFolder);
        return next(files);
    }
    std::optional<std::string> chooseFolder(const std::string& title,
                                            const std::string& startFolder) override {
        requests.push_back(title + "|" + startFolder);
        return next(folders);
    }

    std::deque<std::optional<std::string>> files, folders;  // nothing: cancelled
    std::vector<std::string> requests;

private:
    static std::optional<std::string> next(std::deque<std::optional<std::string>>& answers) {
        if (answers.empty()) return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// One wizard over fakes; `ended` receives the exit status.
struct Harness {
    RunState state;
    FakeBoxes boxes;
    FakeDialogs dialogs;
    std::optional<int> ended;
    Wizard wizard{state, boxes, dialogs, [this](int status) { ended = status; }};

    ~Harness() { settle(); }
    static void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    TypeForm& stepOne() {
        wizard.showTypeForm();
        return *wizard.loadedTypeForm();
    }
    // Step 1 with `file` and the mode's option, then "Next  >>".
    void next(const std::string& file, const char* mode) {
        TypeForm& form = stepOne();
        form.DataSourceFile_TB->setText(QString::fromStdString(file));
        (std::string(mode) == kDayMode ? form.Day_OB : form.Parameter_OB)->setChecked(true);
        form.OKButton->click();
    }
    // Step 2 with `text` in its list's text field, then "Next >>".
    void choose(const QString& text) {
        if (state.ShapeType == kDayMode) {
            wizard.loadedDayForm()->Days_CB->setEditText(text);
            wizard.loadedDayForm()->Command1->click();
        } else {
            wizard.loadedParameterForm()->Parameters_CB->setEditText(text);
            wizard.loadedParameterForm()->Command1->click();
        }
    }
    Pontrel& stepThree() { return *wizard.loadedMainForm(); }
};

void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

QString samplePath() { return PONTREL_SAMPLE_DIR "/vessamo-sample.sqlite"; }

// A small database with the given Params names and Samples dates (ISO text; empty: null).
std::string makeDatabase(const QTemporaryDir& dir, const QString& name,
                         const std::vector<const char*>& parameters,
                         const std::vector<const char*>& dates) {
    const std::string path = dir.filePath(name).toStdString();
    data::SqliteDatabase db(path, data::SqliteDatabase::Mode::ReadWriteCreate);
    db.exec("CREATE TABLE Params (ParameterName TEXT, ParameterCode TEXT);"
            "CREATE TABLE Samples (SampleID INTEGER, SampleDate DATETIME);");
    for (const char* parameter : parameters) {
        auto insert = db.prepare("INSERT INTO Params VALUES (?, 'X')");
        if (parameter) insert.bindText(1, parameter); else insert.bindNull(1);
        insert.step();
    }
    int id = 0;
    for (const char* date : dates) {
        auto insert = db.prepare("INSERT INTO Samples VALUES (?, ?)");
        insert.bindInt(1, ++id);
        if (*date) insert.bindText(2, date); else insert.bindNull(2);
        insert.step();
    }
    return path;
}

QStringList itemsOf(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    return items;
}

// Counts the statements the data layer executes while alive.
struct ExecutedStatements {
    std::vector<std::string> texts;
    ExecutedStatements() {
        data::Connection::setExecuteObserver([this](const std::string& sql) { texts.push_back(sql); });
    }
    ~ExecutedStatements() { data::Connection::setExecuteObserver(nullptr); }
    long count(const char* sql) const { return std::count(texts.begin(), texts.end(), sql); }
};

struct Control {
    QWidget* widget;
    QString text;
    QRect twips;
    QString toolTip;
};

QString textOf(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text().remove('&');
    if (auto* frame = qobject_cast<QGroupBox*>(widget)) return frame->title();
    if (auto* box = qobject_cast<QLineEdit*>(widget)) return box->text();
    if (auto* list = qobject_cast<QComboBox*>(widget)) return list->currentText();
    return {};
}

void checkControls(const std::vector<Control>& controls) {
    for (const Control& c : controls) {
        const QRect expected = twipsRect(c.twips.x(), c.twips.y(), c.twips.width(), c.twips.height());
        QCOMPARE(textOf(c.widget), c.text);
        // A wrapping label may grow downwards to show all its lines.
        auto* label = qobject_cast<QLabel*>(c.widget);
        if (label && label->wordWrap() && c.widget->height() > expected.height())
            QCOMPARE(c.widget->geometry().adjusted(0, 0, 0, expected.height() - c.widget->height()), expected);
        else
            QCOMPARE(c.widget->geometry(), expected);
        QCOMPARE(c.widget->toolTip(), c.toolTip);
    }
}

// The focus-taking widgets of `form` in the order Tab visits them.
std::vector<QWidget*> tabChain(QWidget* first) {
    std::vector<QWidget*> chain{first};
    for (QWidget* w = first->nextInFocusChain(); w != first; w = w->nextInFocusChain())
        if ((w->focusPolicy() & Qt::TabFocus) && !qobject_cast<QComboBox*>(w->parentWidget()))
            chain.push_back(w);
    return chain;
}

}  // namespace

class FormsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // The offscreen platform cannot raise windows and says so each time.
        static QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
                if (!text.contains("does not support raise()") &&
                    !text.contains("does not support propagateSizeHints()"))
                    previous(type, context, text);
            });
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        registerFontSubstitutes();
    }

    void stepOneDesign() {
        Harness h;
        TypeForm& f = h.stepOne();
        QCOMPARE(f.windowTitle(), QString("Vessamo Pontrel (1/3)"));
        QCOMPARE(f.size(), QSize(685, 213));
        QCOMPARE(f.minimumSize(), f.maximumSize());
        QVERIFY(!(f.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        checkControls({{f.Label4, "DataSource File", {120, 480, 1215, 375}, ""},
                       {f.DataSourceFile_TB, "", {1560, 480, 5535, 285}, "Browse DataSource File"},
                       {f.DataSourceBrowser, "Browse", {7200, 480, 975, 375}, "Browse DataSource file"},
                       {f.Frame1, "Select Type of Shapefile", {1560, 1440, 2895, 1335}, ""},
                       {f.Day_OB, "Day", {360, 360, 1335, 255}, ""},
                       {f.Parameter_OB, "Parameter", {360, 840, 1335, 255}, ""},
                       {f.OKButton, "Next  >>", {8880, 2280, 1215, 375}, ""},
                       {f.CancelButton, "Close", {8880, 2760, 1215, 375}, ""}});
        QVERIFY(f.Parameter_OB->isChecked() && !f.Day_OB->isChecked());
        // Of the two options only the selected one is a Tab stop.
        QCOMPARE(tabChain(f.DataSourceFile_TB),
                 (std::vector<QWidget*>{f.DataSourceFile_TB, f.DataSourceBrowser, f.Parameter_OB,
                                        f.OKButton, f.CancelButton}));
    }

    void stepTwoDesign() {
        QTemporaryDir dir;
        const std::string db = makeDatabase(dir, "a.db", {}, {});
        Harness h;
        h.next(db, kParameterMode);
        ParameterForm& p = *h.wizard.loadedParameterForm();
        QCOMPARE(p.windowTitle(), QString("Vessamo Pontrel (2/3)"));
        QCOMPARE(p.size(), QSize(312, 213));
        QCOMPARE(p.minimumSize(), p.maximumSize());
        checkControls({{p.Frame1, "Pick the Parameter to be designed in the Shapefile:", {360, 840, 3975, 1095}, ""},
                       {p.Parameters_CB, "********Parameter*********", {480, 360, 3135, 315}, ""},
                       {p.Command1, "Next >>", {3240, 2280, 1335, 375}, ""},
                       {p.Back_CB, "<< Back", {1920, 2280, 1335, 375}, ""},
                       {p.CancelButton, "Close", {3240, 2760, 1335, 375}, ""}});
        QCOMPARE(p.Parameters_CB->parentWidget(), p.Frame1);
        QCOMPARE(tabChain(p.Parameters_CB),
                 (std::vector<QWidget*>{p.Parameters_CB, p.Back_CB, p.Command1, p.CancelButton}));

        p.Back_CB->click();
        h.next(db, kDayMode);
        DayForm& d = *h.wizard.loadedDayForm();
        QCOMPARE(d.windowTitle(), QString("Vessamo Pontrel (2/3)"));
        checkControls({{d.Frame1, "Pick a Day with the desired values for shapefile:", {120, 720, 3615, 1215}, ""},
                       {d.Days_CB, "*******Day*******", {960, 1200, 1815, 315}, ""},
                       {d.Command1, "Next >>", {3240, 2280, 1335, 375}, ""},
                       {d.Back_CB, "<< Back", {2160, 2280, 1095, 375}, ""},
                       {d.CancelButton, "Close", {3240, 2760, 1335, 375}, ""}});
        QCOMPARE(d.Days_CB->parentWidget(), &d);
        QCOMPARE(tabChain(d.Days_CB),
                 (std::vector<QWidget*>{d.Days_CB, d.Back_CB, d.Command1, d.CancelButton}));
    }

    void stepThreeDesign() {
        Harness h;
        Pontrel& f = h.wizard.mainForm();
        QCOMPARE(f.windowTitle(), QString("Vessamo Pontrel (3/3)"));
        QCOMPARE(f.size(), QSize(718, 336));
        QCOMPARE(f.minimumSize(), f.maximumSize());
        QCOMPARE(f.geometry().center(), QGuiApplication::primaryScreen()->availableGeometry().center());
        checkControls({{f.Command1, "Create Shape File", {4560, 4080, 2415, 495}, "Create Shape File"},
                       {f.IndexCreation_frame, "", {0, 120, 10575, 4575}, ""},
                       {f.About, "About", {9360, 240, 1095, 375}, "About Quinterra Pontrel"},
                       {f.ShapeBrowser1, "Browse", {7320, 2760, 975, 375}, "Browse for a directory for shape file"},
                       {f.ShapeFolder_TB[0], "", {1680, 2760, 5535, 285}, "Select a destiny folder for shape file"},
                       {f.Label7, "Folder for Shape File", {240, 2760, 1215, 375}, ""},
                       {f.ShapeFileName_TB, "", {1680, 3240, 2175, 285}, "Select shape file name"},
                       {f.Label8, ".shp", {3840, 3240, 615, 255}, ""},
                       {f.Label1, "Shape File Name", {240, 3240, 1335, 255}, ""},
                       {f.TypeCoordinates_Frame, "Type of Coordinates", {3000, 1200, 3495, 1215}, ""},
                       {f.NormalCoordinates_OB, "Normal Coordinates", {360, 240, 1815, 375}, ""},
                       {f.MilitaryCoordinates_OB, "Military Coordinates", {360, 600, 2055, 375}, ""},
                       {f.Back_CB, "<< Back", {2640, 3960, 1815, 495}, ""},
                       {f.CancelButton, "Close", {7080, 3960, 1455, 495}, ""}});
        QVERIFY(f.MilitaryCoordinates_OB->isChecked());
        QVERIFY(f.Command1->font().bold() && f.IndexCreation_frame->font().bold());
        QCOMPARE(f.Command1->font().pointSizeF(), 12.0);
        QVERIFY(!f.Back_CB->font().bold() && !f.Label1->font().bold());
        QCOMPARE(tabChain(f.About),
                 (std::vector<QWidget*>{f.About, f.MilitaryCoordinates_OB, f.ShapeFolder_TB[0],
                                        f.ShapeBrowser1, f.ShapeFileName_TB, f.Back_CB, f.Command1,
                                        f.CancelButton}));
        for (QPushButton* button : f.findChildren<QPushButton*>()) QVERIFY(!button->isDefault());
        QCOMPARE(f.StatusBar2->panelCount(), 4);
        for (int panel = 1; panel <= 4; ++panel) QVERIFY(f.StatusBar2->panelText(panel).isEmpty());
    }

    void progressBarLiesOverPanelTwo() {
        Harness h;
        Pontrel& f = h.wizard.mainForm();
        StatusBar& bar = *f.StatusBar2;
        QCOMPARE(bar.geometry(), QRect(0, pixels(4755), 718, pixels(285)));
        // Top 4785 and height 255 twips: 2 pixels below the bar's top edge, to the form's bottom.
        QCOMPARE(f.ProgressBar1->geometry(),
                 QRect(bar.panelLeft(2), pixels(4785), bar.panelWidth(2), pixels(255)));
        QCOMPARE(bar.panelBevel(2), StatusBar::Bevel::None);
        QCOMPARE(bar.panelBevel(1), StatusBar::Bevel::Inset);
        QVERIFY(bar.panelWidth(1) >= pixels(3000) && bar.panelWidth(2) == pixels(2500));

        // The window keeps its size, so nothing drifts out of place.
        QCOMPARE(f.minimumSize(), f.maximumSize());
    }

    void splashAndAboutDesign() {
        Harness h;
        frmSplash& s = h.wizard.splash();
        QCOMPARE(s.size(), QSize(492, 283));
        QCOMPARE(s.geometry().center(), QGuiApplication::primaryScreen()->availableGeometry().center());
        QVERIFY(s.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(s.lblVersion->text(), QString("1.0"));
        QCOMPARE(s.lblPlatform->text(), QString("for Linux"));
        QCOMPARE(s.lblCompanyProduct->text(), QString("Vessamo"));
        QCOMPARE(s.lblProductName->text(), QString("Pontrel"));
        QCOMPARE(s.lblProductName->palette().color(QPalette::WindowText), QColor(64, 64, 64));
        QCOMPARE(s.lblProductName->font().pointSizeF(), 32.25);
        QCOMPARE(s.imgLogo->geometry(), twipsRect(120, 240, 1815, 1065));
        QCOMPARE(s.Timer1->interval(), 2000);
        QVERIFY(s.Timer1->isActive());
        // Right-aligned labels that size themselves keep their right edge.
        QCOMPARE(s.lblVersion->geometry().right() + 1, pixels(4515 + 330));

        frmAbout& a = h.wizard.about();
        QCOMPARE(a.windowTitle(), QString("About Vessamo Pontrel"));
        QCOMPARE(a.lblVersion->text(), QString("Version 1.0.0"));
        QCOMPARE(a.lblTitle->text(), QString(kProgramTitle));
        QCOMPARE(a.size(), QSize(382, 237));
        QCOMPARE(a.geometry().center(), QGuiApplication::primaryScreen()->availableGeometry().center());
        QCOMPARE(a.lblDescription->text(), QString("Pontrel is a simple and easy tool to convert water "
                                                   "quality data in a Vessamo database to shape files "));
        QCOMPARE(a.picIcon->size(), QSize(36, 36));
        QVERIFY(a.cmdOK->isDefault());
    }

    // Every text of every form fits its control with the installed fonts.
    void everyTextFits() {
        if (QFontInfo(designFont()).family() != "Liberation Sans")
            QSKIP("Liberation Sans is not installed");
        QTemporaryDir dir;
        const std::string db = makeDatabase(dir, "a.db", {"Temperatura"}, {"2023-12-28T23:59:59"});
        Harness h;
        h.next(db, kParameterMode);
        h.wizard.loadedParameterForm()->Back_CB->click();
        h.next(db, kDayMode);
        std::vector<QWidget*> forms{&h.wizard.splash(), h.wizard.loadedTypeForm(),
                                    h.wizard.loadedParameterForm(), h.wizard.loadedDayForm(),
                                    &h.wizard.mainForm(), &h.wizard.about()};
        for (QWidget* form : forms) {
            for (QWidget* w : form->findChildren<QWidget*>()) {
                const QString text = textOf(w);
                if (text.isEmpty() || qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w)) continue;
                const QFontMetrics metrics(w->font());
                const QString what = form->objectName() + " " + text;
                if (auto* label = qobject_cast<QLabel*>(w); label && label->wordWrap()) {
                    QVERIFY2(label->heightForWidth(label->width()) <= label->height(), qPrintable(what));
                    continue;
                }
                int room = w->width();
                if (qobject_cast<QRadioButton*>(w)) room -= 20;       // the round indicator
                else if (qobject_cast<QPushButton*>(w)) room -= 8;    // the button's bevel
                else if (qobject_cast<QGroupBox*>(w)) room -= 4;      // the caption's margins
                QVERIFY2(metrics.horizontalAdvance(text) <= room, qPrintable(what));
                QVERIFY2(metrics.height() <= w->height() || qobject_cast<QGroupBox*>(w), qPrintable(what));
            }
        }
        // The day list's widest item and the time texts fit too.
        const DayForm& day = *h.wizard.loadedDayForm();
        QVERIFY(QFontMetrics(day.Days_CB->font()).horizontalAdvance(day.Days_CB->itemText(0)) <=
                day.Days_CB->width() - 20);
        const StatusBar& bar = *h.wizard.mainForm().StatusBar2;
        const QFontMetrics metrics(bar.font());
        QVERIFY(metrics.horizontalAdvance("Time remaining: 11:59:59 PM") + 6 <= bar.panelWidth(4));
        QVERIFY(metrics.horizontalAdvance("Creating shape file...") + 6 <= bar.panelWidth(1));
    }

    void splashTimerLoadsStepThreeHidden() {
        QTemporaryDir dir;
        const std::string db = makeDatabase(dir, "a.db", {"pH", "Temperatura"}, {});
        Harness h;
        QElapsedTimer clock;
        clock.start();
        h.wizard.start();
        QVERIFY(h.wizard.loadedSplash()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(h.wizard.loadedSplash() == nullptr, 4000);
        QVERIFY(clock.elapsed() >= 1900);
        QVERIFY(h.wizard.loadedTypeForm()->isVisible());
        QVERIFY(h.wizard.loadedMainForm() && !h.wizard.loadedMainForm()->isVisible());
        Pontrel* early = h.wizard.loadedMainForm();

        h.next(db, kParameterMode);
        h.choose("Temperatura");
        // The form loaded at start-up is shown as it was: no name proposed on the first visit.
        QCOMPARE(h.wizard.loadedMainForm(), early);
        QVERIFY(early->isVisible());
        QCOMPARE(early->ShapeFileName_TB->text(), QString());
        early->Back_CB->click();
        QVERIFY(h.wizard.loadedMainForm() == nullptr);
        h.choose("Temperatura");
        QCOMPARE(h.stepThree().ShapeFileName_TB->text(), QString("Temperatura"));
    }

    void splashKeysAndClicks_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("ends");
        QTest::newRow("space") << int(Qt::Key_Space) << true;
        QTest::newRow("enter") << int(Qt::Key_Return) << true;
        QTest::newRow("escape") << int(Qt::Key_Escape) << true;
        QTest::newRow("letter") << int(Qt::Key_A) << true;
        QTest::newRow("arrow") << int(Qt::Key_Left) << false;
        QTest::newRow("function key") << int(Qt::Key_F1) << false;
        QTest::newRow("shift alone") << int(Qt::Key_Shift) << false;
    }
    void splashKeysAndClicks() {
        QFETCH(int, key);
        QFETCH(bool, ends);
        Harness h;
        h.wizard.start();
        QTest::keyClick(h.wizard.loadedSplash(), Qt::Key(key));
        QCOMPARE(h.wizard.loadedSplash() == nullptr, ends);
        QCOMPARE(h.wizard.loadedTypeForm() != nullptr, ends);
        QVERIFY(h.wizard.loadedMainForm() == nullptr);
    }

    void splashClicks() {
        Harness h;
        h.wizard.start();
        frmSplash& s = *h.wizard.loadedSplash();
        for (QLabel* label : {s.lblProductName, s.lblVersion, s.lblPlatform, s.imgLogo, s.Image1,
                              s.lblCompanyProduct}) {
            QTest::mouseClick(label, Qt::LeftButton);
            QVERIFY2(h.wizard.loadedSplash(), qPrintable(label->text()));
        }
        QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(2, 2));  // the margin outside the frame
        QVERIFY(h.wizard.loadedSplash());
        const QPoint free(s.Frame1->width() / 2, s.Frame1->height() - 4);
        QVERIFY(s.Frame1->childAt(free) == nullptr);
        QTest::mouseClick(s.Frame1, Qt::LeftButton, {}, free);
        QVERIFY(h.wizard.loadedSplash() == nullptr);
        QVERIFY(h.wizard.loadedTypeForm()->isVisible());
        QVERIFY(h.wizard.loadedMainForm() == nullptr);
    }

    void stepOneRefusesAnEmptyPath() {
        Harness h;
        h.state.ShapeType = kDayMode;
        TypeForm& f = h.stepOne();
        click(f.OKButton);
        QCOMPARE(h.boxes.messages, QStringList{kMissingDataSourceMessage});
        QVERIFY(f.isVisible());
        QCOMPARE(h.state.DataSourceFile, std::string());
        QCOMPARE(h.state.ShapeType, std::string(kDayMode));
        QVERIFY(!h.wizard.loadedDayForm() && !h.wizard.loadedParameterForm());
    }

    // A database given on the command line (as "Open with" gives it) is in step 1's box.
    void aDatabaseGivenAtStartIsFilledIn() {
        Harness h;
        h.state.DataSourceFile = samplePath().toStdString();
        QCOMPARE(h.stepOne().DataSourceFile_TB->text(), samplePath());
    }

    void browsingForTheDatabase() {
        Harness h;
        TypeForm& f = h.stepOne();
        f.DataSourceFile_TB->setText("typed.mdb");
        h.dialogs.files = {std::nullopt, "  /data/Vessamo Tejo.mdb ", std::nullopt};
        click(f.DataSourceBrowser);
        QCOMPARE(f.DataSourceFile_TB->text(), QString());  // nothing chosen yet: the box empties
        click(f.DataSourceBrowser);
        QCOMPARE(f.DataSourceFile_TB->text(), QString("/data/Vessamo Tejo.mdb"));
        f.DataSourceFile_TB->setText("other.mdb");
        click(f.DataSourceBrowser);
        QCOMPARE(f.DataSourceFile_TB->text(), QString("/data/Vessamo Tejo.mdb"));
        QCOMPARE(h.dialogs.requests.front(),
                 "Select File|mdb Files (*.mdb)|" + QDir::currentPath().toStdString());
    }

    void browsingForTheFolder() {
        Harness h;
        Pontrel& f = h.wizard.mainForm();
        f.ShapeFolder_TB[0]->setText("/kept");
        h.dialogs.folders = {"/data/maps", "/", std::nullopt};
        click(f.ShapeBrowser1);
        QCOMPARE(f.ShapeFolder_TB[0]->text(), QString("/data/maps"));
        click(f.ShapeBrowser1);
        QCOMPARE(f.ShapeFolder_TB[0]->text(), QString("/"));
        click(f.ShapeBrowser1);  // cancelled: the box empties
        QCOMPARE(f.ShapeFolder_TB[0]->text(), QString());
        QCOMPARE(h.state.BrowseFolderResult, std::string());
        QCOMPARE(h.dialogs.requests.front(), "Select Directory|" + QDir::rootPath().toStdString());
    }

    void parameterListAndChoice() {
        QTemporaryDir dir;
        const std::string db = makeDatabase(dir, "a.db", {"pH", nullptr, "Amónia", "pH"}, {});
        Harness h;
        ExecutedStatements executed;
        h.next(db, kParameterMode);
        ParameterForm& f = *h.wizard.loadedParameterForm();
        QVERIFY(f.isVisible() && !h.wizard.loadedTypeForm()->isVisible());
        QCOMPARE(h.state.ShapeType, std::string(kParameterMode));
        QCOMPARE(itemsOf(f.Parameters_CB), (QStringList{"Amónia", "pH", "pH"}));
        QCOMPARE(f.Parameters_CB->currentText(), QString(kParameterPlaceholder));
        QCOMPARE(h.state.ParamsQuery, std::string("Select * from Params ORDER BY ParameterName "));

        click(f.Command1);
        QCOMPARE(h.boxes.messages, QStringList{kPickParameterMessage});
        QVERIFY(f.isVisible());

        // "<< Back" and "Next  >>" again: the same list and text, the database not read again.
        f.Parameters_CB->setCurrentIndex(1);
        click(f.Back_CB);
        QVERIFY(h.wizard.loadedTypeForm()->isVisible() && !f.isVisible());
        click(h.wizard.loadedTypeForm()->OKButton);
        QCOMPARE(f.Parameters_CB->currentText(), QString("pH"));
        QCOMPARE(executed.count(kParamsQuery), 1);

        h.choose("Not in the list");
        QCOMPARE(h.state.SelectedParameter, std::string("Not in the list"));
        QCOMPARE(h.stepThree().ShapeFileName_TB->text(), QString("Not in the list"));
        h.stepThree().Back_CB->click();
        QVERIFY(f.isVisible());
        QCOMPARE(executed.count(kParamsQuery), 1);
    }

    void dayListAndChoice() {
        QTemporaryDir dir;
        const std::string db = makeDatabase(
            dir, "a.db", {},
            {"2023-01-05", "2023-01-02", "", "2023-01-02", "2023-01-02T09:30:00", "1999-12-31"});
        Harness h;
        ExecutedStatements executed;
        h.next(db, kDayMode);
        DayForm& f = *h.wizard.loadedDayForm();
        QCOMPARE(itemsOf(f.Days_CB),
                 (QStringList{"12/31/1999", "1/2/2023", "1/2/2023 9:30:00 AM", "1/5/2023"}));
        QCOMPARE(f.Days_CB->currentText(), QString(kDayPlaceholder));

        click(f.Command1);
        QCOMPARE(h.boxes.messages.last(), QString(kPickDayMessage));
        // A typed text that is not a date, the empty one included, is refused and the form stays.
        for (const QString& typed : {QString("Monday"), QString(), QString("2/30/2023")}) {
            f.Days_CB->setEditText(typed);
            click(f.Command1);
            QCOMPARE(h.boxes.messages.last(), "'" + typed + "' is not a date");
            QVERIFY(f.isVisible() && !h.wizard.loadedMainForm());
        }

        // The chosen item's own date, its year in full.
        f.Days_CB->setCurrentIndex(0);
        click(f.Command1);
        QCOMPARE(data::isoDateText(h.state.SelectedDay), std::string("1999-12-31"));
        QCOMPARE(h.stepThree().ShapeFileName_TB->text(), QString("12-31-1999"));
        h.stepThree().Back_CB->click();
        QCOMPARE(f.Days_CB->currentText(), QString("12/31/1999"));

        const std::pair<QString, std::string> typedDates[] = {
            {"1/5/2023", "2023-01-05"}, {" 2023-03-07 ", "2023-03-07"},
            {"3/7/2023 2:05 PM", "2023-03-07T14:05:00"}, {"1/9/23", "2023-01-09"}};
        for (const auto& [typed, iso] : typedDates) {
            f.Days_CB->setEditText(typed);
            click(f.Command1);
            QCOMPARE(data::isoDateText(h.state.SelectedDay), iso);
            h.stepThree().Back_CB->click();
        }
        // A date typed with two digits for its year is proposed with four.
        QCOMPARE(h.wizard.mainForm().ShapeFileName_TB->text(), QString("1-9-2023"));
        QCOMPARE(executed.count(kSamplesQuery), 1);
    }

    void stepTwoReadsAnotherFileAgain() {
        QTemporaryDir dir;
        const std::string first = makeDatabase(dir, "first.db", {"pH"}, {"2023-01-02"});
        const std::string second = makeDatabase(dir, "second.db", {"Oxigénio", "Salinidade"}, {});
        Harness h;
        ExecutedStatements executed;
        h.next(first, kParameterMode);
        ParameterForm& f = *h.wizard.loadedParameterForm();
        f.Parameters_CB->setCurrentIndex(0);
        click(f.Back_CB);
        h.next(second, kParameterMode);
        QCOMPARE(itemsOf(f.Parameters_CB), (QStringList{"Oxigénio", "Salinidade"}));
        QCOMPARE(f.Parameters_CB->currentText(), QString(kParameterPlaceholder));
        QCOMPARE(h.state.DBConnection->file(), second);
        QCOMPARE(executed.count(kParamsQuery), 2);

        // Switching modes keeps the other choice in the run state; the new mode rules.
        h.choose("Salinidade");
        h.stepThree().Back_CB->click();
        click(f.Back_CB);
        h.next(second, kParameterMode);
        QCOMPARE(executed.count(kParamsQuery), 2);
        click(f.Back_CB);
        h.next(first, kDayMode);
        h.choose("1/2/2023");
        QCOMPARE(h.state.ShapeType, std::string(kDayMode));
        QCOMPARE(h.state.SelectedParameter, std::string("Salinidade"));
        QCOMPARE(h.stepThree().ShapeFileName_TB->text(), QString("1-2-2023"));
    }

    void stepThreeBackStartsAfresh_data() {
        QTest::addColumn<QString>("mode");
        QTest::newRow("Day") << QString(kDayMode);
        QTest::newRow("Parameter") << QString(kParameterMode);
    }
    void stepThreeBackStartsAfresh() {
        QFETCH(QString, mode);
        QTemporaryDir dir;
        const std::string db = makeDatabase(dir, "a.db", {"pH"}, {"2023-01-02"});
        Harness h;
        h.next(db, mode.toUtf8().constData());
        h.choose(mode == kDayMode ? "1/2/2023" : "pH");
        Pontrel* first = &h.stepThree();
        first->ShapeFolder_TB[0]->setText("/somewhere");
        first->ShapeFileName_TB->setText("edited");
        first->NormalCoordinates_OB->setChecked(true);
        first->Back_CB->click();
        QVERIFY(h.wizard.loadedMainForm() == nullptr);
        QWidget* stepTwo = mode == kDayMode ? static_cast<QWidget*>(h.wizard.loadedDayForm())
                                            : h.wizard.loadedParameterForm();
        QVERIFY(stepTwo->isVisible());
        h.choose(mode == kDayMode ? "1/2/2023" : "pH");
        Pontrel& again = h.stepThree();
        QCOMPARE(again.ShapeFolder_TB[0]->text(), QString());
        QCOMPARE(again.ShapeFileName_TB->text(), QString(mode == kDayMode ? "1-2-2023" : "pH"));
        QVERIFY(again.MilitaryCoordinates_OB->isChecked());
    }

    // "Close" and the close box on every step, answered No and then Yes.
    void closingEachStep_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<bool>("closeBox");
        for (int step : {1, 2, 3})
            for (bool box : {false, true})
                QTest::addRow("step %d %s", step, box ? "close box" : "Close") << step << box;
    }
    void closingEachStep() {
        QFETCH(int, step);
        QFETCH(bool, closeBox);
        QTemporaryDir dir;
        const std::string db = makeDatabase(dir, "a.db", {"pH"}, {});
        Harness h;
        h.next(db, kParameterMode);
        QWidget* form = h.wizard.loadedParameterForm();
        QAbstractButton* close = h.wizard.loadedParameterForm()->CancelButton;
        if (step == 1) {
            h.wizard.loadedParameterForm()->Back_CB->click();
            form = h.wizard.loadedTypeForm();
            close = h.wizard.loadedTypeForm()->CancelButton;
        } else if (step == 3) {
            h.choose("pH");
            form = &h.stepThree();
            close = h.stepThree().CancelButton;
        }
        auto connection = h.state.DBConnection;
        auto ask = [&] { closeBox ? (void)form->close() : click(close); };

        h.boxes.answers = {kAnswerNo};
        ask();
        QCOMPARE(h.boxes.questions, QStringList{"Close Pontrel: Are you Sure?"});
        QCOMPARE(h.state.CloseAnswer, std::optional<int>(7));
        QVERIFY(!h.ended && form->isVisible());
        QVERIFY(h.state.DBConnection == connection && connection->isOpen());

        h.boxes.answers = {kAnswerYes};
        ask();
        QCOMPARE(h.state.CloseAnswer, std::optional<int>(6));
        QCOMPARE(h.ended, std::optional<int>(0));
        QVERIFY(!form->isVisible());
        // Steps 2 and 3 close the connection; step 1 leaves it alone.
        QCOMPARE(h.state.DBConnection == nullptr, step != 1);
        QCOMPARE(connection->isOpen(), step == 1);
        QCOMPARE(h.boxes.messages, QStringList());
    }

    // On the timer path step 3 is loaded hidden: closing step 1 by its close box still asks.
    void closeBoxOfStepOneWithStepThreeHidden() {
        Harness h;
        h.wizard.start();
        h.wizard.loadedSplash()->Timer1_Timer();
        h.boxes.answers = {kAnswerYes};
        h.wizard.loadedTypeForm()->close();
        QCOMPARE(h.ended, std::optional<int>(0));
        QVERIFY(!h.wizard.loadedMainForm()->isVisible());
    }

    void aboutBox() {
        Harness h;
        Pontrel& f = h.wizard.mainForm();
        f.show();
        click(f.About);
        frmAbout* box = h.wizard.loadedAbout();
        QVERIFY(box && box->isVisible() && !box->isModal());
        click(f.About);
        QCOMPARE(h.wizard.loadedAbout(), box);
        QCOMPARE(QApplication::topLevelWidgets().count(box), 1);

        for (int way = 0; way < 3; ++way) {
            click(f.About);
            box = h.wizard.loadedAbout();
            box->lblVersion->setText("changed");
            if (way == 0) QTest::keyClick(box, Qt::Key_Return);
            if (way == 1) QTest::keyClick(box, Qt::Key_Escape);
            if (way == 2) box->close();
            QVERIFY(h.wizard.loadedAbout() == nullptr);
            Harness::settle();
        }
        click(f.About);  // loaded afresh
        QCOMPARE(h.wizard.loadedAbout()->lblVersion->text(), QString("Version 1.0.0"));
        QVERIFY(f.isVisible() && !h.ended);
    }

    void tabEntersAnOptionGroupAtItsSelectedOption() {
        Harness h;
        TypeForm& one = h.stepOne();
        QVERIFY(QTest::qWaitForWindowActive(&one));
        one.DataSourceBrowser->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), one.Parameter_OB);
        // The arrow keys move within the group and select as they go.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        QCOMPARE(QApplication::focusWidget(), one.Day_OB);
        QVERIFY(one.Day_OB->isChecked());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), one.OKButton);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), one.Day_OB);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QVERIFY(one.Parameter_OB->isChecked());
        // A selection made with the mouse moves the Tab stop along.
        click(one.Day_OB);
        one.DataSourceBrowser->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), one.Day_OB);
        one.hide();

        Pontrel& three = h.wizard.mainForm();
        three.show();
        QVERIFY(QTest::qWaitForWindowActive(&three));
        three.About->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), three.MilitaryCoordinates_OB);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        QVERIFY(three.NormalCoordinates_OB->isChecked() && three.NormalCoordinates_OB->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), three.ShapeFolder_TB[0]);
    }

    // Every button and option of every window has its own Alt letter; Alt and the letter press
    // it, and Escape on a step does what its Close button does.
    void mnemonicsAndEscape() {
        QTemporaryDir dir;
        const std::string db = makeDatabase(dir, "a.db", {"Temperatura"}, {"2023-01-02"});
        Harness h;
        h.next(db, kParameterMode);
        h.wizard.loadedParameterForm()->Back_CB->click();
        h.next(db, kDayMode);
        for (QWidget* form : std::vector<QWidget*>{h.wizard.loadedTypeForm(), h.wizard.loadedDayForm(),
                                                   h.wizard.loadedParameterForm(), &h.wizard.mainForm(),
                                                   &h.wizard.about()}) {
            QSet<QChar> letters;
            for (QAbstractButton* button : form->findChildren<QAbstractButton*>()) {
                const QString text = button->text();
                const qsizetype at = text.indexOf('&');
                QVERIFY2(at >= 0 && at + 1 < text.size(), qPrintable(form->objectName() + " " + text));
                QVERIFY2(!letters.contains(text[at + 1].toUpper()), qPrintable(form->objectName() + " " + text));
                letters.insert(text[at + 1].toUpper());
            }
        }
        h.wizard.loadedDayForm()->hide();
        TypeForm& one = h.stepOne();
        QVERIFY(QTest::qWaitForWindowActive(&one));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_P, Qt::AltModifier);
        QTRY_VERIFY(one.Parameter_OB->isChecked());  // a mnemonic clicks after a short animation
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(h.boxes.questions, QStringList{"Close Pontrel: Are you Sure?"});
        QVERIFY(!h.ended);
    }

    void enterPressesTheFocusedButtonAndFocusShowsAtOnce() {
        Harness h;
        TypeForm& one = h.stepOne();
        QVERIFY(QTest::qWaitForWindowActive(&one));
        // The first control's focus frame is drawn before any key was pressed.
        QCOMPARE(QApplication::focusWidget(), one.OKButton);
        QStyleOptionButton option;
        option.initFrom(one.OKButton);
        QVERIFY(option.state & QStyle::State_HasFocus);
        QVERIFY(option.state & QStyle::State_KeyboardFocusChange);

        one.CancelButton->setFocus();
        QTest::keyClick(one.CancelButton, Qt::Key_Return);
        QCOMPARE(h.boxes.questions, QStringList{"Close Pontrel: Are you Sure?"});
        one.DataSourceBrowser->setFocus();
        QTest::keyClick(one.DataSourceBrowser, Qt::Key_Enter);  // the keypad's Enter
        QCOMPARE(h.dialogs.requests.size(), std::size_t(1));
        // Enter in the path box presses no button.
        one.DataSourceFile_TB->setFocus();
        QTest::keyClick(one.DataSourceFile_TB, Qt::Key_Return);
        QVERIFY(h.boxes.messages.isEmpty() && one.isVisible());
        one.OKButton->setFocus();
        QTest::keyClick(one.OKButton, Qt::Key_Return);
        QCOMPARE(h.boxes.messages, QStringList{kMissingDataSourceMessage});

        Pontrel& three = h.wizard.mainForm();
        three.show();
        QVERIFY(QTest::qWaitForWindowActive(&three));
        option.initFrom(three.Command1);
        QVERIFY(option.state & QStyle::State_KeyboardFocusChange);
        three.About->setFocus();
        QTest::keyClick(three.About, Qt::Key_Return);
        QVERIFY(h.wizard.loadedAbout() && h.wizard.loadedAbout()->isVisible());
    }

    void theFolderBrowserLeavesTheWizardUsable() {
        QTemporaryDir dir;
        RunState state;
        FakeBoxes boxes;
        dialogs::QtFileDialogs dialogs;
        std::optional<int> ended;
        Wizard wizard{state, boxes, dialogs, [&](int status) { ended = status; }};
        Pontrel& f = wizard.mainForm();
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));

        QFileDialog* browser = nullptr;
        Qt::WindowModality modality = Qt::ApplicationModal;
        QWidget* modal = &f;
        bool aboutShown = false, normalChosen = false, secondAskReturned = false;
        QTimer::singleShot(0, [&] {
            browser = dialogs.openFolderDialog();
            if (!browser) return;
            modality = browser->windowModality();
            modal = QApplication::activeModalWidget();
            // Step 3 takes clicks meanwhile.
            click(f.NormalCoordinates_OB);
            normalChosen = f.NormalCoordinates_OB->isChecked();
            click(f.About);
            aboutShown = wizard.loadedAbout() && wizard.loadedAbout()->isVisible();
            // "Browse" again brings the same browser forward and waits for it too.
            QTimer::singleShot(0, [&] {
                browser->setDirectory(dir.path());
                browser->selectFile(dir.path());
                QDialog* asDialog = browser;  // the user's "Choose"
                asDialog->accept();
            });
            click(f.ShapeBrowser1);
            secondAskReturned = true;
        });
        click(f.ShapeBrowser1);
        QVERIFY(browser);
        QCOMPARE(modality, Qt::NonModal);
        QCOMPARE(modal, nullptr);
        QVERIFY(normalChosen && aboutShown && secondAskReturned);
        QCOMPARE(QFileInfo(f.ShapeFolder_TB[0]->text()).canonicalFilePath(),
                 QFileInfo(dir.path()).canonicalFilePath());
        QCOMPARE(dialogs.openFolderDialog(), nullptr);
        QVERIFY(!ended);

        // "<< Back" meanwhile unloads the form; the browser's answer then goes nowhere.
        QTimer::singleShot(0, [&] {
            click(wizard.loadedMainForm()->Back_CB);
            Harness::settle();
            if (QFileDialog* open = dialogs.openFolderDialog()) open->reject();
        });
        QPointer<Pontrel> form(&f);
        click(f.ShapeBrowser1);
        Harness::settle();
        QVERIFY(!form && !wizard.loadedMainForm());
        QCOMPARE(state.BrowseFolderResult, std::string());
    }

    void messageBoxesShowTheirWholeTitle() {
        QtMessageBoxes boxes;
        QFont titleFont = QApplication::font();
        titleFont.setBold(true);
        titleFont.setPointSizeF(11);
        struct Seen {
            QString title;
            int width = 0;
        };
        for (const bool question : {false, true}) {
            Seen seen;
            QTimer::singleShot(0, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box) return;
                seen = {box->windowTitle(), box->width()};
                box->buttons().first()->click();
            });
            if (question)
                boxes.question(nullptr, "Are you Sure?", "Close Pontrel");
            else
                boxes.message(nullptr, "OK");
            const QString title = question ? "Close Pontrel" : "Vessamo Pontrel";
            QCOMPARE(seen.title, title);
            // Room for the title in a bold 11-point font and for the title bar's buttons.
            QVERIFY2(seen.width >= QFontMetrics(titleFont).horizontalAdvance(title) + 100,
                     qPrintable(QString::number(seen.width)));
            QVERIFY(seen.width < 400);
        }
    }

    void frameCaptionsStandOnTheBorder() {
        Harness h;
        TypeForm& one = h.stepOne();
        Pontrel& three = h.wizard.mainForm();
        for (Frame* frame : {one.Frame1, three.TypeCoordinates_Frame}) {
            const QImage image = frame->grab().toImage();
            const int x = image.width() - 10;
            const QRgb background = image.pixel(x, 0);
            int border = 0;
            while (border < image.height() && image.pixel(x, border) == background) ++border;
            const QFontMetrics metrics(frame->font());
            // The top line runs through the caption's middle, not below it.
            QVERIFY2(border > 0 && border <= metrics.height() / 2 + 1, qPrintable(frame->title()));
            QCOMPARE(frame->borderTop(), border);
            // The line runs up to the caption and is broken for it; the caption's letters reach
            // below the line, above the options.
            QVERIFY(image.pixel(2, border) != background);
            QCOMPARE(image.pixel(7, border), background);
            const int captionEnd = 8 + metrics.horizontalAdvance(frame->title());
            int below = 0;
            for (int y = border + 2; y < metrics.height(); ++y)
                for (int c = 8; c < captionEnd; ++c) below += image.pixel(c, y) != background;
            QVERIFY2(below > 0, qPrintable(frame->title()));
        }
    }

    void emptyOptionsAreRefused() {
        QTemporaryDir dir;
        const std::string db = makeDatabase(dir, "a.db", {"pH"}, {});
        Harness h;
        h.next(db, kParameterMode);
        h.choose("pH");
        Pontrel& f = h.stepThree();
        f.ShapeFileName_TB->clear();
        click(f.Command1);
        QCOMPARE(h.boxes.messages, (QStringList{"Please select a folder for shape file",
                                                "Please type a name for shape file"}));
        QVERIFY(f.OptionsInvalid && !h.ended && f.isVisible() && !h.wizard.converting());
        QCOMPARE(f.StatusBar2->panelText(1), QString());
    }

    void databaseThatCannotBeOpenedEndsTheProgram() {
        QTemporaryDir dir;
        Harness h;
        h.next(dir.filePath("missing.mdb").toStdString(), kDayMode);
        QCOMPARE(h.boxes.messages.size(), 1);
        QVERIFY(h.boxes.messages[0].contains("missing.mdb"));
        QCOMPARE(h.ended, std::optional<int>(1));
    }

    // A whole conversion of the sample database, Parameter mode, from the splash's key path.
    void wholeRunWritesTheShapefile() {
        if (!QFileInfo::exists(samplePath())) QSKIP("the sample database is not built");
        QTemporaryDir out;
        Harness h;
        h.wizard.start();
        QTest::keyClick(h.wizard.loadedSplash(), Qt::Key_Return);
        h.next(samplePath().toStdString(), kParameterMode);
        ParameterForm& p = *h.wizard.loadedParameterForm();
        p.Parameters_CB->setCurrentIndex(p.Parameters_CB->findText("Temperatura"));
        click(p.Command1);
        Pontrel& f = h.stepThree();
        QCOMPARE(f.ShapeFileName_TB->text(), QString("Temperatura"));
        h.dialogs.folders = {out.path().toStdString()};
        click(f.ShapeBrowser1);
        click(f.NormalCoordinates_OB);

        // While the conversion runs the close box does nothing.
        int checked = 0;
        h.boxes.onMessage = [&](const QString&) {
            if (!h.wizard.converting()) return;
            QVERIFY(!f.close());
            QVERIFY(h.boxes.questions.isEmpty() && f.isVisible());
            ++checked;
        };
        click(f.Command1);

        QCOMPARE(h.ended, std::optional<int>(0));
        QCOMPARE(h.boxes.messages.last(),
                 QString("Parameter Shape File 'Temperatura.shp' was created with success"));
        QVERIFY(checked >= 1);
        QVERIFY(h.state.DBConnection == nullptr);
        QCOMPARE(h.state.CoordinatesType, std::string(kNormal));
        QCOMPARE(f.StatusBar2->panelText(1), QString("Shape file Created."));
        QVERIFY(f.StatusBar2->panelText(3).startsWith("Time elapsed: "));
        QVERIFY(f.StatusBar2->panelText(4).startsWith("Time remaining: "));
        QCOMPARE(f.ProgressBar1->value(), f.ProgressBar1->maximum());
        QCOMPARE(f.ProgressBar1->maximum(), int(h.state.TotalRecords));
        for (const char* extension : {".shp", ".shx", ".dbf"})
            QVERIFY2(QFileInfo(out.filePath(QString("Temperatura") + extension)).size() > 100, extension);
    }

    // Day mode: the proposed name is written as it is proposed.
    void dayRunWritesTheProposedName() {
        if (!QFileInfo::exists(samplePath())) QSKIP("the sample database is not built");
        QTemporaryDir out;
        Harness h;
        h.next(samplePath().toStdString(), kDayMode);
        DayForm& d = *h.wizard.loadedDayForm();
        d.Days_CB->setCurrentIndex(2);
        const QString day = d.Days_CB->currentText();
        click(d.Command1);
        Pontrel& f = h.stepThree();
        const QString name = QString::fromStdString(fileNameSafe(day.toStdString()));
        QCOMPARE(f.ShapeFileName_TB->text(), name);
        f.ShapeFolder_TB[0]->setText(out.path());
        click(f.Command1);
        QCOMPARE(h.ended, std::optional<int>(0));
        QCOMPARE(h.boxes.messages.last(), "Day Shape File '" + name + ".shp' was created with success");
        QVERIFY(QFileInfo::exists(out.filePath(name + ".shp")));
    }

    // The settings are read when "Create Shape File" is pressed: one that cannot be used is shown
    // and nothing is written, the step stays for another try; once mended, they are followed.
    void settingsAreReadWhenTheConversionStarts() {
        if (!QFileInfo::exists(samplePath())) QSKIP("the sample database is not built");
        QTemporaryDir config, out;
        const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        QDir(config.path()).mkpath("vessamo-pontrel");
        const QString settings = config.filePath("vessamo-pontrel/settings.ini");
        auto writeSettings = [&](const char* text) {
            QFile file(settings);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(text);
        };

        Harness h;
        h.next(samplePath().toStdString(), kParameterMode);
        h.choose("Mercúrio");
        Pontrel& f = h.stepThree();
        f.ShapeFolder_TB[0]->setText(out.path());
        click(f.NormalCoordinates_OB);
        writeSettings("[Output]\nNormalCRS=EPSG:4326\nMissing=nothing\n");
        click(f.Command1);
        QCOMPARE(h.boxes.messages, QStringList{"The settings file '" + settings +
                                               "', line 3: Missing is 'nothing': it must be placeholders or null"});
        QVERIFY(f.OptionsInvalid && !h.ended && f.isVisible() && !h.wizard.converting());
        QVERIFY(QDir(out.path()).isEmpty());

        writeSettings("[Output]\nNormalCRS=EPSG:4326\nMissing=null\nValues=exact\n");
        click(f.Command1);
        qputenv("XDG_CONFIG_HOME", previous);
        QCOMPARE(h.ended, std::optional<int>(0));
        // Without placeholders nothing is said about them.
        QCOMPARE(h.boxes.messages.mid(1),
                 QStringList{"Parameter Shape File 'Mercúrio.shp' was created with success"});
        QFile prj(out.filePath("Mercúrio.prj"));
        QVERIFY(prj.open(QIODevice::ReadOnly));
        QVERIFY(prj.readAll().startsWith("GEOGCS[\"GCS_WGS_1984\""));
    }

    void failedConversionEndsTheProgram() {
        if (!QFileInfo::exists(samplePath())) QSKIP("the sample database is not built");
        QTemporaryDir out;
        Harness h;
        h.next(samplePath().toStdString(), kParameterMode);
        h.choose("pH");
        Pontrel& f = h.stepThree();
        f.ShapeFolder_TB[0]->setText(out.filePath("no such folder"));
        click(f.Command1);
        QCOMPARE(h.ended, std::optional<int>(1));
        QVERIFY(!h.boxes.messages.last().contains("created with success"));
        QVERIFY(QDir(out.path()).isEmpty());
    }

    // Dates shown in the user's regional format and read back from it; `shown` is empty where a
    // typed form is only read, and `iso` is empty where the text is refused.
    void regionalDates_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("iso");
        QTest::addColumn<bool>("shownAsTyped");
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QLocale de(QLocale::German, QLocale::Germany);
        const QLocale gb(QLocale::English, QLocale::UnitedKingdom);
        QTest::newRow("US date") << us << "1/2/2023" << "2023-01-02" << true;
        QTest::newRow("US date and time") << us << "1/2/2023 9:30:05 AM" << "2023-01-02T09:30:05" << true;
        QTest::newRow("German date") << de << "07.03.1901" << "1901-03-07" << true;
        QTest::newRow("German date and time") << de << "31.12.2023 23:59:59" << "2023-12-31T23:59:59" << true;
        QTest::newRow("British date") << gb << "02/01/2023" << "2023-01-02" << true;
        QTest::newRow("US 23") << us << "1/9/23" << "2023-01-09" << false;
        QTest::newRow("US 29 is this century") << us << "12/31/29" << "2029-12-31" << false;
        QTest::newRow("US 30 is the last") << us << "1/1/30" << "1930-01-01" << false;
        QTest::newRow("US leap day of 2000") << us << "2/29/00" << "2000-02-29" << false;
        QTest::newRow("US no leap day in 2001") << us << "2/29/01" << "" << false;
        QTest::newRow("US with a time") << us << "3/7/23 2:05 PM" << "2023-03-07T14:05:00" << false;
        QTest::newRow("US one-digit year") << us << "1/9/3" << "" << false;
        QTest::newRow("US three-digit year") << us << "1/9/230" << "" << false;
        QTest::newRow("US empty") << us << "" << "" << false;
        QTest::newRow("US month 13") << us << "13/1/2023" << "" << false;
        QTest::newRow("US trailing letter") << us << "1/2/23x" << "" << false;
        QTest::newRow("German two digits") << de << "09.01.23" << "2023-01-09" << false;
        QTest::newRow("British two digits") << gb << "02/01/23" << "2023-01-02" << false;
    }
    void regionalDates() {
        QFETCH(QLocale, locale);
        QFETCH(QString, typed);
        QFETCH(QString, iso);
        QFETCH(bool, shownAsTyped);
        const auto date = readDate(typed.toStdString(), locale);
        QCOMPARE(date ? QString::fromStdString(data::isoDateText(*date)) : QString(), iso);
        if (!date) return;
        // Shown again: exactly as typed where that is the regional form, the year always in full.
        const QString shown = QString::fromStdString(dateText(*date, locale));
        if (shownAsTyped) QCOMPARE(shown, typed);
        QVERIFY(shown.contains(iso.left(4)));
    }

    void timeSpansAndFileNames() {
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QLocale de(QLocale::German, QLocale::Germany);
        QCOMPARE(dateValueText(7.0 / 86400, us), std::string("12:00:07 AM"));
        QCOMPARE(dateValueText(0, de), std::string("00:00:00"));
        QCOMPARE(dateValueText(30.0 / 86400, de), std::string("00:00:30"));
        QCOMPARE(dateValueText(1 + 3600.0 / 86400, de), std::string("31.12.1899 01:00:00"));
        QCOMPARE(fileNameSafe("a/b\\c:d*e?f\"g<h>i|j k.l"), std::string("a-b-c-d-e-f-g-h-i-j k.l"));
        // Names made only of dots would be the folder or its parent.
        QCOMPARE(fileNameSafe(".."), std::string("-"));
        QCOMPARE(fileNameSafe("."), std::string("-"));
        QCOMPARE(fileNameSafe("..x"), std::string("..x"));
        // The name box proposes the parameter made safe the same way.
        RunState state;
        state.ShapeType = kParameterMode;
        state.SelectedParameter = "../NO3/NO2";
        QCOMPARE(proposedShapeFileName(state), std::string("..-NO3-NO2"));
    }
};

QTEST_MAIN(FormsTest)
#include "forms_test.moc"
