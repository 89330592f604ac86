// The Options dialog of step 3 and the settings file it saves: PROJ's names as the user types,
// unknown systems refused, and a hand-edited file kept with its comments.

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "WizardHarness.h"
#include "dialogs/OptionsDialog.h"
#include "engine/SettingsFile.h"

using namespace wizard_harness;

namespace {

OutputSettings someSettings() {
    OutputSettings settings;
    settings.normalCrs = coordinateSystemOf("EPSG:4326");
    settings.values = ValueStyle::Exact;
    settings.layout = LayoutStyle::Visits;
    return settings;
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class OptionsTest : public QObject {
    Q_OBJECT
private slots:
    // Only the values change; what the user wrote around them stays, and the text reads back as
    // the settings it was given.
    void settingsTextKeepsWhatTheUserWrote_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("no file") << ""
                                 << "[Output]\nMilitaryCRS=\nNormalCRS=EPSG:4326\nValues=exact\nMissing=placeholders\n"
                                    "Layout=visits\nFormat=shapefile\n";
        QTest::newRow("hand-edited")
            << "; my settings\n\n[output]\n# Lisbon grid\nNormalCRS = EPSG:20790 ; Hayford\nvalues=rounded\n"
            << "; my settings\n\n[output]\n# Lisbon grid\nNormalCRS = EPSG:4326 ; Hayford\nvalues=exact\n"
               "MilitaryCRS=\nMissing=placeholders\nLayout=visits\nFormat=shapefile\n";
        QTest::newRow("no section, no last line break")
            << "# nothing yet" << "# nothing yet\n\n[Output]\nMilitaryCRS=\nNormalCRS=EPSG:4326\nValues=exact\n"
                                  "Missing=placeholders\nLayout=visits\nFormat=shapefile\n";
    }
    void settingsTextKeepsWhatTheUserWrote() {
        QFETCH(QString, before);
        QFETCH(QString, after);
        const std::string text = updatedSettingsText(before.toStdString(), someSettings());
        QCOMPARE(QString::fromStdString(text), after);
        const OutputSettings read = parseSettings(text, "settings.ini");
        QCOMPARE(read.normalCrs.definition, std::string("EPSG:4326"));
        QVERIFY(read.militaryCrs.empty() && read.values == ValueStyle::Exact && read.layout == LayoutStyle::Visits);
    }

    // "Options..." on step 3: the dialog shows the file's choices and PROJ's names as the user
    // types, refuses an unknown code, and saves the file in place; step 3 names the system.
    void optionsButtonEditsTheSettingsFile() {
        QTemporaryDir config;
        const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        QDir(config.path()).mkpath("vessamo-pontrel");
        const QString path = config.filePath("vessamo-pontrel/settings.ini");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("# written by hand\n[Output]\nMissing=null ; blanks please\nLayout=visits\n");
        file.close();

        Harness h;
        Pontrel& f = h.wizard.mainForm();
        QCOMPARE(f.CoordinateSystem_Label->text(), QString("Coordinate system: None: no .prj is written"));
        QString unknownName, knownName;
        bool refused = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<dialogs::OptionsDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            QCOMPARE(dialog->Missing_CB->currentIndex(), 1);
            QCOMPARE(dialog->Layout_CB->currentIndex(), 1);
            QPushButton* ok = dialog->Buttons->button(QDialogButtonBox::Ok);
            QTest::keyClicks(dialog->NormalCrs_TB, "EPSG:999999");
            unknownName = dialog->NormalCrsName->text();
            refused = !ok->isEnabled();
            dialog->NormalCrs_TB->clear();
            QTest::keyClicks(dialog->NormalCrs_TB, "EPSG:4326");
            knownName = dialog->NormalCrsName->text();
            dialog->Values_CB->setCurrentIndex(1);
            dialog->Layout_CB->setCurrentIndex(0);
            dialog->Format_CB->setCurrentIndex(1);
            click(ok);
        });
        click(f.Options);
        qputenv("XDG_CONFIG_HOME", previous);

        QVERIFY(unknownName.startsWith("Unknown to PROJ: ") && refused);
        QCOMPARE(knownName, QString("WGS 84"));
        QCOMPARE(contents(path), QByteArray("# written by hand\n[Output]\nMissing=null ; blanks please\n"
                                            "Layout=values\nMilitaryCRS=\nNormalCRS=EPSG:4326\nValues=exact\nFormat=gpkg\n"));
        // Step 3 shows what will be written; a name typed with its extension says it instead.
        QCOMPARE(f.Label8->text(), QString(".gpkg"));
        f.ShapeFileName_TB->setText("Tejo.shp");
        QCOMPARE(f.Label8->text(), QString(".shp"));
        QCOMPARE(QDir(config.filePath("vessamo-pontrel")).entryList(QDir::Files), QStringList{"settings.ini"});
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        click(f.NormalCoordinates_OB);
        qputenv("XDG_CONFIG_HOME", previous);
        QCOMPARE(f.CoordinateSystem_Label->text(), QString("Coordinate system: WGS 84"));
        QVERIFY(h.boxes.messages.isEmpty() && !h.ended);
    }
};

QTEST_MAIN(OptionsTest)
#include "options_test.moc"
