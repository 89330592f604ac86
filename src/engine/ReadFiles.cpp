#include "engine/ReadFiles.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

#include "engine/Errors.h"
#include "engine/SampleReading.h"
#include "engine/VisitLayout.h"
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

// The calendar day of the date as YYYY-MM-DD.
std::string dayText(data::Date date) { return data::isoDateText(date).substr(0, 10); }

// The day of the one date that `sql` selects as YYYY-MM-DD; empty when it selects none.
std::string dayFrom(data::Connection& db, const std::string& sql) {
    std::shared_ptr<data::Recordset> rows = db.execute(sql);
    std::optional<data::Date> date;
    if (!rows->eof()) {
        switch (rows->kind(0)) {
            case data::Recordset::Kind::Integer: date = static_cast<double>(rows->integer(0)); break;
            case data::Recordset::Kind::Real: date = rows->real(0); break;
            case data::Recordset::Kind::Text: date = data::parseIsoDate(rows->textView(0)); break;
            default: break;
        }
    }
    return date ? dayText(*date) : std::string();
}

// Day mode without samples: says so, naming the file and the nearest days that have samples, so
// that a mistyped date can be put right at once.
[[noreturn]] void stopForEmptyDay(RunState& state, UserInterface& ui, data::Connection& db) {
    const data::Date day = state.SelectedDay;
    // Outside the day's range as dayRange() draws it, on either side.
    const data::CivilTime c = data::civilFromDate(day);
    const data::Date midnight = data::dateFromCivil({c.year, c.month, c.day});
    const data::Date next = midnight + 1, previous = midnight - 1;
    auto literal = [](data::Date date) { return "#" + SqlDateText(date) + "#"; };
    const std::string below = midnight > 0 ? "SampleDate < " + literal(midnight) : "SampleDate <= " + literal(previous);
    const std::string above = midnight >= 0 ? "SampleDate >= " + literal(next) : "SampleDate > " + literal(midnight);
    const std::string before = dayFrom(db, "Select Max(SampleDate) As Nearest FROM Kelvash_Query Where (" + below + ")");
    const std::string after = data::civilFromDate(next).year > 9999 ? std::string() : dayFrom(
        db, "Select Min(SampleDate) As Nearest FROM Kelvash_Query Where (" + above + ")");
    std::string message = "There are no samples on the day " + dayText(day) + " in '" + state.DataSourceFile + "'.";
    if (before.empty() && after.empty())
        message += "\nThe database holds no samples at all.";
    else if (before.empty() || after.empty())
        message += "\nThe nearest day with samples is " + before + after + ".";
    else
        message += "\nThe nearest days with samples are " + before + " and " + after + ".";
    ui.showMessage(message);
    throw NothingSelected(message);
}

// The progress of the reading as one count of rows: the rows copied from the file while its
// tables load (an Access file's), then those copied plus the rows of the selection read so far,
// so that the count never goes back. Everything else goes to the user's interface unchanged.
class ReadingProgress final : public UserInterface {
public:
    ReadingProgress(UserInterface& ui, data::Connection& db) : ui_(ui), db_(db) {
        db_.setLoadProgress([this](std::int64_t rows) {
            copied_ = static_cast<double>(rows);
            ui_.setProgressValue(copied_);
        });
    }
    ~ReadingProgress() override {
        if (db_.isOpen()) db_.setLoadProgress({});
    }
    ReadingProgress(const ReadingProgress&) = delete;
    ReadingProgress& operator=(const ReadingProgress&) = delete;

    void showMessage(const std::string& text) override { ui_.showMessage(text); }
    void showWarning(const std::string& text) override { ui_.showWarning(text); }
    bool askYesNo(const std::string& text, const std::string& title) override { return ui_.askYesNo(text, title); }
    void setProgressMaximum(double maximum) override { ui_.setProgressMaximum(maximum); }
    void setProgressMinimum(double minimum) override { ui_.setProgressMinimum(minimum); }
    void setProgressValue(double value) override { ui_.setProgressValue(copied_ + value); }
    void setStatusText(int panel, const std::string& text) override { ui_.setStatusText(panel, text); }
    data::Date now() override { return ui_.now(); }
    std::string dateValueText(data::Date value) override { return ui_.dateValueText(value); }
    void endProgram() override { ui_.endProgram(); }

private:
    UserInterface& ui_;
    data::Connection& db_;
    double copied_ = 0;
};

}  // namespace

void stopWith(UserInterface& ui, const std::string& message) {
    ui.showMessage(message);
    throw ConversionStopped(message);
}

std::string noSamplesMessage(const RunState& state) {
    return "There are no samples of the parameter '" + state.SelectedParameter + "' in the database\n"
           "The file '" + state.DataSourceFile + "' has no sample of it: choose another parameter.";
}

void MissingCoordinates::add(const std::string& name, bool hasOtherType) {
    otherType = otherType && hasOtherType;
    if (names.insert(name).second && firstNames.size() < 3) firstNames.push_back(name);
}

std::string noCoordinatesMessage(bool military, const MissingCoordinates& missing) {
    std::string message = military
        ? "Some Points haven't Military Coordinates defined. Correct this fault directly on Database"
        : "Some Points haven't Coordinates defined. Correct this fault directly on Database";
    if (missing.names.empty()) return message;
    std::string stations;
    for (const std::string& name : missing.firstNames)
        stations += (stations.empty() ? "" : ", ") + (name.empty() ? std::string("(no name)") : name);
    if (missing.names.size() > missing.firstNames.size())
        stations += " and " + std::to_string(missing.names.size() - missing.firstNames.size()) + " more";
    message += "\nStations without them: " + stations + ".";
    const std::string other = military ? "Normal" : "Military";
    message += missing.otherType ? "\nTheir rows have " + other + " Coordinates: choosing those would do."
                                 : "\nSome of their rows lack " + other + " Coordinates too.";
    return message;
}

void stopForNoSamples(UserInterface& ui, const RunState& state) {
    const std::string message = noSamplesMessage(state);
    ui.showMessage(message);
    throw NothingSelected(message);
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

    {
        ReadingProgress reading(ui, db);
        if (!readOnce(state, reading, db, unsorted)) walkSortedRows(state, reading, db);
    }
    // A day without samples would give an empty layer: a mistyped date, not a result.
    if (state.ShapeType == kDayMode && state.TotalRecords == 0) stopForEmptyDay(state, ui, db);
    if (state.ShapeType == kDayMode && state.Settings.layout == LayoutStyle::Visits) mergeVisits(state, ui);
}

}  // namespace pontrel
