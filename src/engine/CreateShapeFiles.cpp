// WriteShapeFile: the attribute table of the run state becomes a point shapefile, one record per
// row in row order, while the progress bar and the elapsed and remaining time follow each row.
// The rows are measured and formatted on every processor; the user interface hears of them on the
// calling thread, in order.

#include <bit>
#include <climits>
#include <cmath>
#include <exception>
#include <filesystem>
#include <vector>

#include "common/WorkQueue.h"
#include "engine/ConversionDriver.h"
#include "engine/Errors.h"
#include "engine/SpanPanel.h"
#include "shapefile/ShapeFileError.h"
#include "shapefile/ShapeFiles.h"

namespace pontrel {

namespace {

constexpr char kPathSeparator = std::filesystem::path::preferred_separator;

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

// A numeric column is as wide as its values need to be written exactly, so they are measured
// before the columns are defined: in ranges of rows on several threads, or, when any range meets
// a value no column holds, row by row, so that the failure names the same row and width as ever.
std::vector<shapefile::NumericColumnSizer> sizeNumericColumns(
    const RunState& state, std::size_t numericCount, const std::vector<std::string>& names) {
    const std::size_t total = state.TotalRecords;
    const bool nulls = state.Settings.missing == MissingStyle::Null;
    auto measure = [&](std::vector<shapefile::NumericColumnSizer>& sizers, std::size_t from,
                       std::size_t to) {
        for (std::size_t r = from; r < to; ++r) {
            const double* values = &state.NumericValues(r, 1);
            const std::uint8_t* rowNulls = nulls ? &state.NumericNulls(r, 1) : nullptr;
            for (std::size_t k = 0; k < numericCount; ++k)
                if (!rowNulls || rowNulls[k] == 0) sizers[k].add(values[k], r);
        }
    };
    auto fresh = [&] {
        std::vector<shapefile::NumericColumnSizer> sizers;
        for (const std::string& name : names) sizers.emplace_back(name);
        return sizers;
    };

    constexpr std::size_t kCellsPerThread = 1 << 16;  // fewer are not worth a thread
    const std::size_t parts = total * numericCount / kCellsPerThread;
    const unsigned threads = parts > 1 ? workThreadsFor(0, parts) : 1;
    std::vector<shapefile::NumericColumnSizer> sizers = fresh();
    if (threads > 1) {
        std::vector<std::vector<shapefile::NumericColumnSizer>> measured(threads, sizers);
        bool whole = true;
        {
            WorkQueue queue(threads);
            std::vector<WorkQueue::Ticket> tickets;
            for (unsigned t = 0; t < threads; ++t)
                tickets.push_back(queue.submit([&, t] {
                    measure(measured[t], 1 + total * t / threads, 1 + total * (t + 1) / threads);
                }));
            for (WorkQueue::Ticket& ticket : tickets) {
                try {
                    queue.wait(ticket);
                } catch (...) {
                    whole = false;
                }
            }
        }
        for (std::size_t t = 0; t < threads && whole; ++t)
            for (std::size_t k = 0; k < numericCount && whole; ++k)
                whole = sizers[k].merge(measured[t][k]);
        if (whole) return sizers;
        sizers = fresh();
    }
    measure(sizers, 1, total + 1);
    return sizers;
}

// A text longer than its column is cut, at a character boundary, to fit: the user is told once
// per column how many were shortened and which was the first, in full, so that nothing is cut
// without a word. The texts are held once each, so each is measured once.
void warnOfShortenedTexts(const RunState& state, UserInterface& ui, std::size_t textCount, std::size_t total) {
    const auto width = static_cast<std::size_t>(shapefile::kDefaultTextWidth);
    std::vector<bool> tooLong(state.StringValues.distinctTexts());
    bool any = false;
    for (std::uint32_t id = 0; id < tooLong.size(); ++id) {
        tooLong[id] = state.StringValues.text(id).size() > width;
        any = any || tooLong[id];
    }
    for (std::size_t j = 1; any && j <= textCount; ++j) {
        std::size_t shortened = 0;
        std::uint32_t first = 0;
        for (std::size_t r = 1; r <= total; ++r) {
            const std::uint32_t id = state.StringValues.id(r, j);
            if (id < tooLong.size() && tooLong[id] && shortened++ == 0) first = id;
        }
        if (shortened == 0) continue;
        ui.showWarning("String Attribute " + state.StringAttributes[j] + " has " + std::to_string(shortened) +
                       (shortened == 1 ? " text" : " texts") + " longer than " + std::to_string(width) +
                       " bytes, shortened to fit the shapefile. The first in full: '" +
                       state.StringValues.text(first) + "'");
    }
}

}  // namespace

void WriteShapeFile(RunState& state, UserInterface& ui) {
    checkTableShape(state);
    if (state.Settings.format == OutputFormat::GeoPackage) {
        WriteGeoPackage(state, ui);
        return;
    }
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
    const CoordinateSystem& crs = state.Settings.crsFor(state.CoordinatesType);

    try {
        std::vector<std::string> numericNames;
        for (std::size_t k = 1; k <= numericCount; ++k) numericNames.push_back(numericName(k));
        std::vector<shapefile::NumericColumnSizer> sizers =
            sizeNumericColumns(state, numericCount, numericNames);

        warnOfShortenedTexts(state, ui, textCount, total);
        shapefile::ShapeFiles shapeFiles;
        shapeFiles.OpenNewShapeFile(path, 1, 1);
        if (!crs.empty()) shapeFiles.SetProjection(crs.esriWkt);
        shapefile::FieldList& fields = shapeFiles.fieldList();
        for (std::size_t k = 1; k <= numericCount; ++k) {
            shapefile::NumericLayout layout = sizers[k - 1].layout();
            fields.AddField(numericName(k), shapefile::kNumericField, layout.width, layout.decimals);
        }
        for (std::size_t j = 1; j <= textCount; ++j)
            fields.AddField(state.StringAttributes[j], shapefile::kTextField, shapefile::kDefaultTextWidth, 0);
        for (std::size_t d = 1; d <= dateCount; ++d)
            fields.AddField(state.DateAttributes[d], shapefile::kDateField, 0, 0);
        shapeFiles.WriteFieldLayout();
        shapeFiles.ReserveRecords(total);

        RowProgress progress(ui, total);

        // The columns by position: the numbers, then the texts, then the dates. A row's numbers
        // lie side by side in the table, from its column 1.
        const std::size_t firstText = numericCount, firstDate = numericCount + textCount;
        auto fill = [&](shapefile::Record& record) {
            const std::size_t r = record.row();
            record.setPoint(state.Longitudes[r], state.Latitudes[r]);
            record.setNumbers(0, &state.NumericValues(r, 1),
                              nulls ? &state.NumericNulls(r, 1) : nullptr, numericCount);
            // A text's number in the table, and a date's bits, stand for the value's bytes.
            for (std::size_t j = 1; j <= textCount; ++j) {
                const std::uint32_t id = state.StringValues.id(r, j);
                const std::size_t column = firstText + j - 1;
                if (!record.repeat(column, id))
                    record.setText(column, state.StringValues.text(id), id);
            }
            for (std::size_t d = 1; d <= dateCount; ++d) {
                const data::Date value = state.DateValues(r, d);
                const auto key = std::bit_cast<std::uint64_t>(value);
                const std::size_t column = firstDate + d - 1;
                if (!record.repeat(column, key))
                    record.setDate(column, calendarDateOf(value, state.DateAttributes[d], r), key);
            }
        };
        auto written = [&](std::size_t rowCounter) { progress.written(rowCounter); };
        shapeFiles.WriteRecords(total, fill, written);
        shapeFiles.close();
    } catch (const shapefile::ShapeFileError& e) {
        throw ConversionError(e.what());
    }
}

}  // namespace pontrel
