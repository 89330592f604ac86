#include "engine/ReadFiles.h"

#include <cstdio>

#include "engine/Errors.h"
#include "engine/SampleReading.h"
#include "jet/JetSql.h"

namespace pontrel {

namespace {

// Midnight of the calendar day after the date's own.
data::Date nextDay(data::Date date) {
    data::CivilTime c = data::civilFromDate(date);
    return data::dateFromCivil({c.year, c.month, c.day}) + 1;
}

}  // namespace

void stopWith(UserInterface& ui, const std::string& message) {
    ui.showMessage(message);
    throw ConversionStopped(message);
}

void fitSampleRows(RunState& state, std::size_t count, bool nulls) {
    state.Longitudes.resize(count, 0.0);
    state.Latitudes.resize(count, 0.0);
    state.NumericValues.resizeRows(count);
    state.StringValues.resizeRows(count);
    state.DateValues.resizeRows(count);
    if (nulls) state.NumericNulls.resizeRows(count);
}

std::string SqlDateText(data::Date date) {
    data::CivilTime c = data::civilFromDate(date);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d-%02d-%04d", c.month, c.day, c.year);
    return buffer;
}

void ReadSamples(RunState& state, UserInterface& ui) {
    openConnection(state);
    data::Connection& db = *state.DBConnection;

    std::string unsorted;  // Parameter mode: the selection without its ORDER BY
    if (state.ShapeType == kDayMode) {
        // The whole calendar day, whatever the time of each sample: from its midnight to the next
        // (the calendar's last day has none).
        std::string day = "SampleDate >= #" + SqlDateText(state.SelectedDay) + "#";
        const data::Date next = nextDay(state.SelectedDay);
        if (data::civilFromDate(next).year <= 9999)
            day += " And SampleDate < #" + SqlDateText(next) + "#";
        state.SelectQuery =
            "Select * from Kelvash_Query WHERE (" + day + " )  ORDER BY ParameterName ";
        state.CountQuery =
            "Select Count(*) As CountTotalRecords FROM Kelvash_Query Where (" + day + ")";
    } else if (state.ShapeType == kParameterMode) {
        const std::string p = data::sqlQuote(state.SelectedParameter);
        unsorted = "Select * from Kelvash_Query WHERE (ParameterName = " + p + ")";
        state.SelectQuery = unsorted + "  ORDER BY SampleDate ";
        state.CountQuery =
            "Select Count(*) As CountTotalRecords FROM Kelvash_Query Where (ParameterName = " + p + ")";
    } else {
        // No mode chosen: there is nothing to select.
        state.SelectQuery.clear();
        state.CountQuery.clear();
        throw ConversionError("No conversion mode was chosen (Parameter or Day)");
    }

    if (readOnce(state, ui, db, unsorted)) return;
    walkSortedRows(state, ui, db);
}

}  // namespace pontrel
