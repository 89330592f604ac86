// How the wizard's windows look and answer the keyboard: each form's controls where they were
// drawn, texts that fit, windows of fixed size placed on the screen, Tab order, Alt letters,
// Enter and Escape, message box titles, and the regional texts of dates and times.

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


class FormsDesignTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        prepareFormTests();
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
                       {f.Options, "Options...", {9360, 720, 1095, 375},
                        "Coordinate systems, values, missing data, Day mode's layout and format of the output"},
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
                 (std::vector<QWidget*>{f.About, f.Options, f.MilitaryCoordinates_OB, f.ShapeFolder_TB[0],
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
    // On a dark palette the splash's product name and the About texts take the palette's light
    // text colour instead of the dark grey and black drawn for a light window.
    void darkPaletteKeepsTextsReadable() {
        const QPalette light = QApplication::palette();
        QPalette dark = light;
        dark.setColor(QPalette::Window, QColor(40, 40, 40));
        dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
        QApplication::setPalette(dark);
        {
            Harness h;
            QCOMPARE(h.wizard.splash().lblProductName->palette().color(QPalette::WindowText), QColor(230, 230, 230));
            QCOMPARE(h.wizard.about().lblTitle->palette().color(QPalette::WindowText), QColor(230, 230, 230));
        }
        QApplication::setPalette(light);
    }

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
        three.Options->setFocus();
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

QTEST_MAIN(FormsDesignTest)
#include "forms_design_test.moc"
