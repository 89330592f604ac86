// The wizard's forms driven as a user would, through fake message boxes and file dialogs: every
// way through the wizard, the closing paths, the step-2 lists, the proposed names, and whole
// conversions from the sample database.

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

#include "WizardHarness.h"

using namespace pontrel;
using namespace pontrel::forms;
using namespace wizard_harness;


class FormsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        prepareFormTests();
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
        // The form loaded at start-up is the one shown, with the name proposed on this path too.
        QCOMPARE(h.wizard.loadedMainForm(), early);
        QVERIFY(early->isVisible());
        QCOMPARE(early->ShapeFileName_TB->text(), QString("Temperatura"));
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
        QTemporaryDir dir;
        f.DataSourceFile_TB->setText("typed.mdb");
        h.dialogs.files = {std::nullopt, "  /data/Vessamo Tejo.mdb ", std::nullopt};
        click(f.DataSourceBrowser);
        QCOMPARE(f.DataSourceFile_TB->text(), QString("typed.mdb"));  // cancelled: the box is kept
        click(f.DataSourceBrowser);
        QCOMPARE(f.DataSourceFile_TB->text(), QString("/data/Vessamo Tejo.mdb"));
        f.DataSourceFile_TB->setText(dir.filePath("other.mdb"));
        click(f.DataSourceBrowser);
        QCOMPARE(f.DataSourceFile_TB->text(), dir.filePath("other.mdb"));
        // Every database kind is offered first; the dialog opens at the typed file's folder.
        const std::string filters = "Vessamo databases (*.mdb *.accdb *.sqlite *.db);;Access databases "
                                    "(*.mdb *.accdb);;SQLite databases (*.sqlite *.db);;All files (*)";
        QCOMPARE(h.dialogs.requests.front(), "Select File|" + filters + "|" + QDir::currentPath().toStdString());
        QCOMPARE(h.dialogs.requests.back(), "Select File|" + filters + "|" + dir.path().toStdString());
    }

    void browsingForTheFolder() {
        Harness h;
        Pontrel& f = h.wizard.mainForm();
        QTemporaryDir dir;
        f.ShapeFolder_TB[0]->setText("/kept");
        h.dialogs.folders = {"/data/maps", "/", std::nullopt};
        click(f.ShapeBrowser1);
        QCOMPARE(f.ShapeFolder_TB[0]->text(), QString("/data/maps"));
        click(f.ShapeBrowser1);
        QCOMPARE(f.ShapeFolder_TB[0]->text(), QString("/"));
        f.ShapeFolder_TB[0]->setText(dir.path());
        click(f.ShapeBrowser1);  // cancelled: the box is kept
        QCOMPARE(f.ShapeFolder_TB[0]->text(), dir.path());
        QCOMPARE(h.state.BrowseFolderResult, std::string("/"));
        // The browser opens at the typed folder when it exists, else at the last one chosen,
        // else at home.
        const std::vector<std::string> starts{"Select Directory|" + QDir::homePath().toStdString(),
                                              "Select Directory|/data/maps", "Select Directory|" + dir.path().toStdString()};
        QCOMPARE(h.dialogs.requests, starts);
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
        QCOMPARE(QFileInfo(QString::fromStdString(state.BrowseFolderResult)).canonicalFilePath(),
                 QFileInfo(dir.path()).canonicalFilePath());  // the cancel changed nothing
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

    // Step 1 comes back with the path kept and selected; once mended, step 2 loads.
    void databaseThatCannotBeOpenedReturnsToStepOne() {
        QTemporaryDir dir;
        Harness h;
        const QString missing = dir.filePath("missing.mdb");
        h.next(missing.toStdString(), kDayMode);
        QCOMPARE(h.boxes.messages.size(), 1);
        QVERIFY(h.boxes.messages[0].contains("missing.mdb"));
        TypeForm& f = *h.wizard.loadedTypeForm();
        QVERIFY(!h.ended && f.isVisible() && !h.wizard.loadedDayForm());
        QCOMPARE(f.DataSourceFile_TB->text(), missing);
        QCOMPARE(f.DataSourceFile_TB->selectedText(), missing);
        QVERIFY(f.Day_OB->isChecked());
        h.next(makeDatabase(dir, "a.db", {}, {"2023-01-02"}), kDayMode);
        QVERIFY(h.wizard.loadedDayForm()->isVisible() && !f.isVisible());
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

    // A writing error keeps step 3 as it was for another try.
    void failedConversionStaysOnStepThree() {
        if (!QFileInfo::exists(samplePath())) QSKIP("the sample database is not built");
        QTemporaryDir out;
        Harness h;
        h.next(samplePath().toStdString(), kParameterMode);
        h.choose("pH");
        Pontrel& f = h.stepThree();
        f.ShapeFolder_TB[0]->setText(out.filePath("no such folder"));
        click(f.NormalCoordinates_OB);
        click(f.Command1);
        QVERIFY(!h.ended && f.isVisible() && !h.wizard.converting());
        QVERIFY(!h.boxes.messages.last().contains("created with success"));
        QVERIFY(QDir(out.path()).isEmpty());
        QCOMPARE(f.ShapeFolder_TB[0]->text(), out.filePath("no such folder"));
        QVERIFY(f.NormalCoordinates_OB->isChecked());
        QCOMPARE(f.StatusBar2->panelText(1), QString());
        f.ShapeFolder_TB[0]->setText(out.path());
        click(f.Command1);
        QCOMPARE(h.ended, std::optional<int>(0));
        QVERIFY(QFileInfo::exists(out.filePath("pH.shp")));
    }
};

QTEST_MAIN(FormsTest)
#include "forms_test.moc"
