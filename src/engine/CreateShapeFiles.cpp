// WriteShapeFile: the attribute table of the run state becomes a point shapefile, one record per
// row in row order, while the progress bar and the elapsed and remaining time follow each row.

#include <climits>
#include <cmath>
#include <filesystem>
#include <vector>

#include "engine/ConversionDriver.h"
#include "engine/Errors.h"
#include "shapefile/ShapeFileError.h"
#include "shapefile/ShapeFiles.h"

namespace pontrel {

namespace {

constexpr char kPathSeparator = std::filesystem::path::preferred_separator;

// A status panel showing a prefix and a time span. The text is rebuilt and pushed only when it can
// have changed, so that following every row costs less than the row: a span's text shows whole
// seconds (rounded or cut), so it cannot change while the span stays within one half second.
class SpanPanel {
public:
    SpanPanel(UserInterface& ui, int panel, std::string prefix)
        : ui_(ui), panel_(panel), prefix_(std::move(prefix)) {}

    void show(data::Date span) {
        const double halfSeconds = std::floor(span * 86400.0 * 2.0);
        const long long key = std::isfinite(halfSeconds) && std::fabs(halfSeconds) < 1e18
                                  ? static_cast<long long>(halfSeconds)
                                  : LLONG_MAX;
        if (shown_ && key == key_ && key != LLONG_MAX) return;
        shown_ = true;
        key_ = key;
        ui_.setStatusText(panel_, prefix_ + ui_.dateValueText(span));
    }

private:
    UserInterface& ui_;
    int panel_;
    std::string prefix_;
    bool shown_ = false;
    long long key_ = 0;
};

// The table must hold every row and column the lists name; anything else is a fault of the
// caller, reported rather than read out of bounds.
void checkTableShape(const RunState& state) {
    const std::size_t rows = state.TotalRecords + 1;
    const auto numeric = static_cast<std::size_t>(std::max(state.NumericAttributeCount, 1));
    const auto texts = static_cast<std::size_t>(std::max(state.StringAttributeCount, 0));
    const auto dates = static_cast<std::size_t>(std::max(state.DateAttributeCount, 0));
    auto holds = [&](const auto& matrix, std::size_t columns) {
        return state.TotalRecords == 0 || columns == 0 ||
               (matrix.rows() >= rows && matrix.columns() > columns);
    };
    const bool complete =
        state.Longitudes.size() >= rows && state.Latitudes.size() >= rows &&
        state.NumericAttributes.size() >= 2 &&
        (numeric < 2 || state.NumericAttributeFields.size() > numeric) &&
        state.StringAttributes.size() > texts && state.DateAttributes.size() > dates &&
        holds(state.NumericValues, numeric) && holds(state.StringValues, texts) &&
        holds(state.DateValues, dates) &&
        (state.Settings.missing != MissingStyle::Null || holds(state.NumericNulls, numeric));
    if (!complete)
        throw ConversionError("The samples have not been read completely, so no shapefile can be written");
}

shapefile::CalendarDate calendarDateOf(data::Date value, const std::string& column, std::size_t row) {
    if (!std::isfinite(value) || std::fabs(value) > 1e7)
        throw ConversionError("The date in row " + std::to_string(row) + " of the column '" + column +
                              "' is not a date that a shapefile can hold");
    data::CivilTime c = data::civilFromDate(value);
    return {c.year, c.month, c.day};
}

}  // namespace

void WriteShapeFile(RunState& state, UserInterface& ui) {
    checkTableShape(state);
    const std::string path = state.ShapeFolder + kPathSeparator + state.ShapeFileName + ".shp";
    const std::size_t total = state.TotalRecords;
    const auto numericCount = static_cast<std::size_t>(std::max(state.NumericAttributeCount, 1));
    const auto textCount = static_cast<std::size_t>(std::max(state.StringAttributeCount, 0));
    const auto dateCount = static_cast<std::size_t>(std::max(state.DateAttributeCount, 0));

    // The shapefile name of numeric column k: the hour's own name, then the "Param_" names.
    auto numericName = [&](std::size_t k) -> const std::string& {
        return k == 1 ? state.NumericAttributes[1] : state.NumericAttributeFields[k];
    };
    const bool nulls = state.Settings.missing == MissingStyle::Null;
    auto isNull = [&](std::size_t r, std::size_t k) { return nulls && state.NumericNulls(r, k) != 0; };
    const CoordinateSystem& crs = state.Settings.crsFor(state.CoordinatesType);

    try {
        // A numeric column is as wide as its values need to be written exactly, so they are
        // measured before the columns are defined.
        std::vector<shapefile::NumericColumnSizer> sizers;
        for (std::size_t k = 1; k <= numericCount; ++k) sizers.emplace_back(numericName(k));
        for (std::size_t r = 1; r <= total; ++r)
            for (std::size_t k = 1; k <= numericCount; ++k)
                if (!isNull(r, k)) sizers[k - 1].add(state.NumericValues(r, k), r);

        shapefile::ShapeFiles shapeFiles;
        shapeFiles.OpenNewShapeFile(path, 1, 1);
        if (!crs.empty()) shapeFiles.SetProjection(crs.esriWkt);
        shapefile::FieldList& fields = shapeFiles.fieldList();
        for (std::size_t k = 1; k <= numericCount; ++k) {
            shapefile::NumericLayout layout = sizers[k - 1].layout();
            fields.AddField(numericName(k), shapefile::kNumericField, layout.width, layout.decimals);
        }
        for (std::size_t j = 1; j <= textCount; ++j)
            fields.AddField(state.StringAttributes[j], shapefile::kTextField, 50, 0);
        for (std::size_t d = 1; d <= dateCount; ++d)
            fields.AddField(state.DateAttributes[d], shapefile::kDateField, 0, 0);
        shapeFiles.WriteFieldLayout();
        shapeFiles.ReserveRecords(total);

        ui.setProgressMaximum(static_cast<double>(total));
        ui.setProgressMinimum(1);
        const data::Date start = ui.now();
        SpanPanel elapsedPanel(ui, 3, "Time elapsed: ");
        SpanPanel remainingPanel(ui, 4, "Time remaining: ");
        shapefile::PointList& points = shapeFiles.pointList();

        // Every record looks its columns up by the same names in the same order, so each lookup
        // finds the same column every time: the first record's answers serve for the others.
        std::vector<shapefile::Field*> numericFields, textFields, dateFields;
        auto field = [&](std::vector<shapefile::Field*>& found, std::size_t index, const std::string& name) -> shapefile::Field& {
            if (found.size() < index) found.push_back(&fields.FieldByName(name));
            return *found[index - 1];
        };

        std::size_t rowCounter = 0;
        for (std::size_t r = 1; r <= total; ++r) {
            ++rowCounter;
            points.AddPoint(state.Longitudes[r], state.Latitudes[r]);
            for (std::size_t k = 1; k <= numericCount; ++k) {
                shapefile::Field& numeric = field(numericFields, k, numericName(k));
                if (isNull(r, k))
                    numeric.SetFieldNull();
                else
                    numeric.SetFieldValue(state.NumericValues(r, k));
            }
            for (std::size_t j = 1; j <= textCount; ++j)
                field(textFields, j, state.StringAttributes[j])
                    .SetFieldValue(std::string_view(state.StringValues(r, j)));
            for (std::size_t d = 1; d <= dateCount; ++d)
                field(dateFields, d, state.DateAttributes[d])
                    .SetFieldValue(calendarDateOf(state.DateValues(r, d), state.DateAttributes[d], r));
            shapeFiles.WriteRecord();

            ui.setProgressValue(static_cast<double>(rowCounter));
            const data::Date elapsed = ui.now() - start;
            const double remaining =
                elapsed / static_cast<double>(rowCounter) * static_cast<double>(total) - elapsed;
            elapsedPanel.show(elapsed);
            remainingPanel.show(remaining);
        }
        shapeFiles.close();
    } catch (const shapefile::ShapeFileError& e) {
        throw ConversionError(e.what());
    }
}

}  // namespace pontrel
