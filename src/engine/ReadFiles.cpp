#include "engine/ReadFiles.h"

#include <cstdio>

#include "engine/Errors.h"
#include "engine/SampleReading.h"
#include "jet/JetSql.h"

namespace pontrel {

namespace {

// The condition that takes every sample of the date's calendar day, whatever its time. A date
// holds its time as a positive fraction of its day, also before 30 December 1899, where the day
// count is negative: 29 December 1899 06:00 is -1.25. So a day from then on runs from its
// midnight up to the next (the calendar's last day has none); an earlier day from just after the
// previous midnight down to its own midnight (-2 < d <= -1); and 30 December 1899, day 0, has
// its times on both sides of 0 (-0.25 and 0.25 are both 06:00), so it runs from -1 to 1.
std::string dayRange(data::Date selected) {
    const data::CivilTime c = data::civilFromDate(selected);
    const data::Date midnight = data::dateFromCivil({c.year, c.month, c.day});
    const data::Date next = midnight + 1, previous = midnight - 1;
    auto literal = [](data::Date date) { return "#" + SqlDateText(date) + "#"; };
    std::string low, high;
    if (midnight > 0) {
        low = "SampleDate >= " + literal(midnight);
        if (data::civilFromDate(next).year <= 9999) high = " And SampleDate < " + literal(next);
        return low + high;
    }
    if (midnight == 0) return "SampleDate > " + literal(previous) + " And SampleDate < " + literal(next);
    high = "SampleDate <= " + literal(midnight);
    if (data::civilFromDate(previous).year >= 100) low = " And SampleDate > " + literal(previous);
    return high + low;
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
        const std::string day = dayRange(state.SelectedDay);
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
