// WriteGeoPackage: the attribute table of the run state becomes one point layer of a GeoPackage,
// one feature per row in row order. Unlike a shapefile it keeps what the table holds as it is:
// full column names, nulls, exact values, texts of any length, and the date and hour of a sample
// as one SampleTime. The columns are read from the table's lists, whatever rows and columns the
// sample reading made.

#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "engine/ConversionDriver.h"
#include "engine/Errors.h"
#include "engine/GeoPackageColumns.h"
#include "engine/SpanPanel.h"
#include "geopackage/GeoPackage.h"

namespace pontrel {

namespace {

constexpr const char* kParameterPrefix = "Param_";
constexpr const char* kHourColumn = "SampleHour";
constexpr const char* kDateColumn = "SampleDate";
constexpr const char* kTimeColumn = "SampleTime";

std::string lowered(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool isParameterField(const std::string& field) { return field.rfind(kParameterPrefix, 0) == 0; }

// The calendar day of `day` plus `milliseconds` into it (which may pass into the next days).
geopackage::CalendarTime calendarTimeOf(data::Date day, long long milliseconds) {
    constexpr long long kDay = 86400000;
    long long days = milliseconds / kDay;
    milliseconds %= kDay;
    if (milliseconds < 0) {
        milliseconds += kDay;
        --days;
    }
    const data::CivilTime c = data::civilFromDate(day + static_cast<double>(days));
    geopackage::CalendarTime time{c.year, c.month, c.day};
    time.hour = static_cast<int>(milliseconds / 3600000);
    time.minute = static_cast<int>(milliseconds / 60000 % 60);
    time.second = static_cast<double>(milliseconds % 60000) / 1000.0;
    return time;
}

std::string dayText(data::Date day) {
    const data::CivilTime c = data::civilFromDate(day);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", c.year, c.month, c.day);
    return text;
}

// The layer's columns in the table's order (numbers, texts, dates) and then SampleTime when the
// table has an hour and a date to make it of.
struct Layout {
    std::vector<geopackage::Column> columns;
    std::size_t hour = 0;         // the hour's numeric column, 0: none
    std::size_t timeDate = 0;     // the date column SampleTime is made of, 0: none
};

Layout layoutOf(const RunState& state, std::size_t numericCount, std::size_t textCount, std::size_t dateCount) {
    Layout layout;
    std::vector<std::string> taken = {"fid", "geom"};
    std::vector<ParameterColumn> parameters;
    for (std::size_t k = 1; k <= numericCount; ++k) {
        const std::string& field = k < state.NumericAttributeFields.size() ? state.NumericAttributeFields[k] : "";
        if (isParameterField(field)) {
            parameters.push_back({state.NumericAttributes[k], field.substr(std::string(kParameterPrefix).size())});
        } else {
            taken.push_back(state.NumericAttributes[k]);
            if (state.NumericAttributes[k] == kHourColumn) layout.hour = k;
        }
    }
    for (std::size_t j = 1; j <= textCount; ++j) taken.push_back(state.StringAttributes[j]);
    for (std::size_t d = 1; d <= dateCount; ++d) {
        taken.push_back(state.DateAttributes[d]);
        if (state.DateAttributes[d] == kDateColumn || layout.timeDate == 0) layout.timeDate = d;
    }
    const bool withTime = layout.hour != 0 && layout.timeDate != 0;
    if (withTime) taken.push_back(kTimeColumn);
    const std::vector<std::string> names = parameterColumnNames(parameters, taken);

    std::size_t p = 0;
    for (std::size_t k = 1; k <= numericCount; ++k) {
        if (isParameterField(k < state.NumericAttributeFields.size() ? state.NumericAttributeFields[k] : "")) {
            const ParameterColumn& parameter = parameters[p];
            layout.columns.push_back({names[p++], geopackage::ColumnType::Real, parameter.name,
                                      "Parameter " + parameter.name + ", ParameterCode " + parameter.code});
        } else if (k == layout.hour) {
            layout.columns.push_back({kHourColumn, geopackage::ColumnType::Real, kHourColumn,
                                      "The hour of the sample in decimal hours (9.75 is 09:45)"});
        } else {
            layout.columns.push_back({state.NumericAttributes[k], geopackage::ColumnType::Real, "", ""});
        }
    }
    for (std::size_t j = 1; j <= textCount; ++j)
        layout.columns.push_back({state.StringAttributes[j], geopackage::ColumnType::Text, "", ""});
    for (std::size_t d = 1; d <= dateCount; ++d)
        layout.columns.push_back({state.DateAttributes[d], geopackage::ColumnType::Date, "", ""});
    if (withTime)
        layout.columns.push_back({kTimeColumn, geopackage::ColumnType::DateTime, kTimeColumn,
                                  "The date and hour of the sample, in the time the database holds"});
    else
        layout.hour = layout.timeDate = 0;
    return layout;
}

[[noreturn]] void failCell(const std::string& what, std::size_t row, const std::string& column) {
    throw ConversionError("The " + what + " in row " + std::to_string(row) + " of the column '" + column +
                          "' is not one that a GeoPackage can hold");
}

}  // namespace

std::vector<std::string> parameterColumnNames(const std::vector<ParameterColumn>& parameters,
                                              const std::vector<std::string>& taken) {
    std::vector<std::string> names;
    for (const ParameterColumn& parameter : parameters)
        names.push_back(parameter.name.empty() ? kParameterPrefix + parameter.code : parameter.name);
    std::vector<std::string> fixed;
    for (const std::string& name : taken) fixed.push_back(lowered(name));
    auto countOf = [](const std::vector<std::string>& list, const std::string& key) {
        std::size_t n = 0;
        for (const std::string& item : list) n += lowered(item) == key;
        return n;
    };
    const std::vector<std::string> bare = names;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string key = lowered(bare[i]);
        if (countOf(fixed, key) > 0 || countOf(bare, key) > 1) names[i] = bare[i] + " (" + parameters[i].code + ")";
    }
    // Whatever is still taken (the same name and code twice) is numbered in column order.
    std::vector<std::string> used = fixed;
    for (std::string& name : names) {
        const std::string first = name;
        for (int n = 2; countOf(used, lowered(name)) > 0; ++n) name = first + " " + std::to_string(n);
        used.push_back(lowered(name));
    }
    return names;
}

void WriteGeoPackage(RunState& state, UserInterface& ui) {
    const std::string path =
        state.ShapeFolder + std::filesystem::path::preferred_separator + state.ShapeFileName + ".gpkg";
    const std::size_t total = state.TotalRecords;
    const auto numericCount = static_cast<std::size_t>(std::max(state.NumericAttributeCount, 1));
    const auto textCount = static_cast<std::size_t>(std::max(state.StringAttributeCount, 0));
    const auto dateCount = static_cast<std::size_t>(std::max(state.DateAttributeCount, 0));
    const bool nulls = state.Settings.missing == MissingStyle::Null;
    const Layout layout = layoutOf(state, numericCount, textCount, dateCount);
    const std::string description =
        "Vessamo samples, " + state.ShapeType + " " +
        (state.ShapeType == kDayMode ? dayText(state.SelectedDay) : state.SelectedParameter);

    try {
        geopackage::GeoPackage output(path, state.ShapeFileName,
                                      state.Settings.crsFor(state.CoordinatesType).definition,
                                      layout.columns, description);
        RowProgress progress(ui, total);

        const std::size_t firstText = numericCount, firstDate = numericCount + textCount;
        for (std::size_t r = 1; r <= total; ++r) {
            output.setPoint(state.Longitudes[r], state.Latitudes[r]);
            for (std::size_t k = 1; k <= numericCount; ++k) {
                const double value = state.NumericValues(r, k);
                if (nulls && state.NumericNulls(r, k) != 0) output.setNull(k - 1);
                else if (!std::isfinite(value)) failCell("value", r, layout.columns[k - 1].name);
                else output.setReal(k - 1, value);
            }
            // An empty text is a missing one: the table holds no other kind.
            for (std::size_t j = 1; j <= textCount; ++j) {
                const std::string& text = state.StringValues(r, j);
                if (text.empty()) output.setNull(firstText + j - 1);
                else output.setText(firstText + j - 1, text);
            }
            for (std::size_t d = 1; d <= dateCount; ++d) {
                const data::Date value = state.DateValues(r, d);
                if (!std::isfinite(value) || std::fabs(value) > 1e7) failCell("date", r, state.DateAttributes[d]);
                output.setDate(firstDate + d - 1, calendarTimeOf(std::floor(value), 0));
            }
            if (layout.hour != 0) {
                const double hour = state.NumericValues(r, layout.hour);
                const std::size_t column = layout.columns.size() - 1;
                if ((nulls && state.NumericNulls(r, layout.hour) != 0) || !std::isfinite(hour) ||
                    std::fabs(hour) > 1e6)
                    output.setNull(column);
                else
                    output.setDateTime(column, calendarTimeOf(std::floor(state.DateValues(r, layout.timeDate)),
                                                              std::llround(hour * 3600000.0)));
            }
            output.writeRow();
            progress.written(r);
        }
        output.close();
    } catch (const geopackage::GeoPackageError& e) {
        throw ConversionError(e.what());
    }
}

}  // namespace pontrel
