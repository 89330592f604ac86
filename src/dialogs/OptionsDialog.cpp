#include "dialogs/OptionsDialog.h"

#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "shapefile/CoordinateSystem.h"

namespace pontrel::dialogs {

QString coordinateSystemCaption(const std::string& definition, bool* known) {
    if (known) *known = true;
    if (definition.find_first_not_of(" \t") == std::string::npos) return "None: no .prj is written";
    try {
        return QString::fromStdString(coordinateSystemName(definition));
    } catch (const shapefile::CoordinateSystemError& e) {
        if (known) *known = false;
        return "Unknown to PROJ: " + QString::fromStdString(e.what());
    }
}

OptionsDialog::OptionsDialog(const OutputSettings& settings, const QString& settingsPath, QWidget* owner)
    : QDialog(owner) {
    setObjectName("OptionsDialog");
    setWindowTitle("Options");
    auto* form = new QFormLayout;
    auto crsField = [&](const CoordinateSystem& crs, QLineEdit*& box, QLabel*& name, const QString& label) {
        box = new QLineEdit(QString::fromStdString(crs.definition), this);
        box->setPlaceholderText("a code such as EPSG:4326; empty: no .prj");
        box->setClearButtonEnabled(true);
        box->setMinimumWidth(box->fontMetrics().horizontalAdvance('x') * 40);
        name = new QLabel(this);
        name->setWordWrap(true);
        form->addRow(label, box);
        form->addRow(QString(), name);
        connect(box, &QLineEdit::textChanged, this, &OptionsDialog::showNames);
    };
    crsField(settings.militaryCrs, MilitaryCrs_TB, MilitaryCrsName, "Military coordinates system:");
    crsField(settings.normalCrs, NormalCrs_TB, NormalCrsName, "Normal coordinates system:");
    Values_CB = new QComboBox(this);
    Values_CB->addItems({"rounded to 2 decimals", "exact, as the database holds them"});
    Values_CB->setCurrentIndex(settings.values == ValueStyle::Exact ? 1 : 0);
    form->addRow("Values:", Values_CB);
    Missing_CB = new QComboBox(this);
    Missing_CB->addItems({"placeholders (-1, 0, Unknown)", "null (blank fields)"});
    Missing_CB->setCurrentIndex(settings.missing == MissingStyle::Null ? 1 : 0);
    form->addRow("Missing:", Missing_CB);
    Layout_CB = new QComboBox(this);
    Layout_CB->addItems({"one point per value", "one point per visit (Day mode)"});
    Layout_CB->setCurrentIndex(settings.layout == LayoutStyle::Visits ? 1 : 0);
    Layout_CB->setToolTip("In Day mode, one point per visit holds each parameter of a station's date and "
                          "hour in its column; Parameter mode has one point per value either way");
    form->addRow("Layout:", Layout_CB);
    Format_CB = new QComboBox(this);
    Format_CB->addItems({"shapefile (.shp)", "GeoPackage (.gpkg): exact values and nulls always"});
    Format_CB->setCurrentIndex(settings.format == OutputFormat::GeoPackage ? 1 : 0);
    form->addRow("Format:", Format_CB);
    // Further choices of the settings file take their rows here.

    auto* where = new QLabel("Saved in " + settingsPath + ", which pontrel-convert reads too.", this);
    where->setWordWrap(true);
    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(where);
    layout->addWidget(Buttons);
    showNames();
}

void OptionsDialog::showNames() {
    bool militaryKnown = false, normalKnown = false;
    MilitaryCrsName->setText(coordinateSystemCaption(MilitaryCrs_TB->text().toStdString(), &militaryKnown));
    NormalCrsName->setText(coordinateSystemCaption(NormalCrs_TB->text().toStdString(), &normalKnown));
    Buttons->button(QDialogButtonBox::Ok)->setEnabled(militaryKnown && normalKnown);
}

OutputSettings OptionsDialog::chosen() const {
    OutputSettings settings;
    auto crs = [](const QLineEdit* box) {
        const std::string definition = box->text().trimmed().toStdString();
        return definition.empty() ? CoordinateSystem{} : coordinateSystemOf(definition);
    };
    settings.militaryCrs = crs(MilitaryCrs_TB);
    settings.normalCrs = crs(NormalCrs_TB);
    settings.values = Values_CB->currentIndex() == 1 ? ValueStyle::Exact : ValueStyle::Rounded;
    settings.missing = Missing_CB->currentIndex() == 1 ? MissingStyle::Null : MissingStyle::Placeholders;
    settings.layout = Layout_CB->currentIndex() == 1 ? LayoutStyle::Visits : LayoutStyle::Values;
    settings.format = Format_CB->currentIndex() == 1 ? OutputFormat::GeoPackage : OutputFormat::Shapefile;
    return settings;
}

}  // namespace pontrel::dialogs
