// The wizard forgives: an error of a conversion returns to the step that can mend it, with
// everything entered kept, and the conversion can then be run again.

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "WizardHarness.h"
#include "common/DayCount.h"
#include "forms/RegionalSettings.h"

using namespace wizard_harness;

class WizardRecoveryTest : public QObject {
    Q_OBJECT

    // The sample database copied into `dir`, so that a test may take it away.
    static std::string sampleCopy(const QTemporaryDir& dir) {
        const QString copy = dir.filePath("vessamo.sqlite");
        QFile::copy(samplePath(), copy);
        return copy.toStdString();
    }

private slots:
    void initTestCase() {
        if (!QFileInfo::exists(samplePath())) QSKIP("the sample database is not built");
    }

    // A parameter or day without samples: step 2 again with the text selected; step 3 keeps its
    // folder and coordinates, and proposes the name of the next choice unless one was typed.
    void aSelectionWithoutSamplesReturnsToStepTwo_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("empty");
        QTest::addColumn<QString>("good");
        QTest::newRow("parameter") << kParameterMode << "Nope" << "pH";
        QTest::newRow("day") << kDayMode << QString::fromStdString(dateText(*data::parseIsoDate("2023-01-03")))
                             << QString::fromStdString(dateText(*data::parseIsoDate("2023-01-02")));
    }
    void aSelectionWithoutSamplesReturnsToStepTwo() {
        QFETCH(QString, mode);
        QFETCH(QString, empty);
        QFETCH(QString, good);
        QTemporaryDir dir;
        Harness h;
        h.next(sampleCopy(dir), mode.toUtf8().constData());
        h.choose(empty);
        Pontrel& f = h.stepThree();
        f.ShapeFolder_TB[0]->setText(dir.path());
        click(f.NormalCoordinates_OB);
        click(f.Command1);

        QCOMPARE(h.boxes.messages.size(), 1);
        QVERIFY(h.boxes.messages[0].startsWith("There are no samples"));
        QVERIFY(h.boxes.messages[0].contains(QString::fromStdString(h.state.DataSourceFile)));
        QComboBox* list = mode == kDayMode ? h.wizard.loadedDayForm()->Days_CB
                                           : h.wizard.loadedParameterForm()->Parameters_CB;
        QVERIFY(!h.ended && list->isVisible() && !f.isVisible());
        QCOMPARE(list->lineEdit()->selectedText(), empty);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"vessamo.sqlite"});

        h.choose(good);
        QCOMPARE(&h.stepThree(), &f);
        QVERIFY(f.isVisible());
        QCOMPARE(f.ShapeFolder_TB[0]->text(), dir.path());
        QVERIFY(f.NormalCoordinates_OB->isChecked());
        QCOMPARE(f.ShapeFileName_TB->text(), QString::fromStdString(fileNameSafe(good.toStdString())));
        f.ShapeFileName_TB->setText("Mine.shp");
        h.wizard.returnToStep(&f, Wizard::Step::Selection, nullptr);  // the user's name stays through another trip
        h.choose(good);
        QCOMPARE(f.ShapeFileName_TB->text(), QString("Mine.shp"));
        click(f.Command1);
        QCOMPARE(h.ended, std::optional<int>(0));
        QCOMPARE(h.boxes.messages.last(), mode + " Shape File 'Mine.shp' was created with success");
        QVERIFY(QFileInfo::exists(dir.filePath("Mine.shp")));
    }

    // The database gone by the time of the conversion: step 1 again, the path kept and selected,
    // the later steps hidden but kept.
    void aDatabaseErrorReturnsToStepOne() {
        QTemporaryDir dir;
        Harness h;
        const std::string database = sampleCopy(dir);
        h.next(database, kParameterMode);
        h.choose("pH");
        Pontrel& f = h.stepThree();
        f.ShapeFolder_TB[0]->setText(dir.path());
        QFile::remove(QString::fromStdString(database));
        click(f.Command1);

        TypeForm& one = *h.wizard.loadedTypeForm();
        QCOMPARE(h.boxes.messages.size(), 1);
        QVERIFY(!h.ended && one.isVisible() && !f.isVisible());
        QVERIFY(!h.wizard.loadedParameterForm()->isVisible());
        QCOMPARE(one.DataSourceFile_TB->selectedText(), QString::fromStdString(database));
        QVERIFY(QDir(dir.path()).isEmpty());

        QFile::copy(samplePath(), QString::fromStdString(database));
        h.next(database, kParameterMode);
        h.choose("pH");
        QCOMPARE(f.ShapeFolder_TB[0]->text(), dir.path());
        click(f.Command1);
        QCOMPARE(h.ended, std::optional<int>(0));
    }
};

QTEST_MAIN(WizardRecoveryTest)
#include "wizard_recovery_test.moc"
