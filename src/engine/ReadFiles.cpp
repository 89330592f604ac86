#include "engine/ReadFiles.h"

#include <cstdio>
#include <unordered_map>

#include "data/DatabaseError.h"
#include "data/JetSql.h"
#include "engine/Errors.h"
#include "engine/NumberReading.h"

namespace pontrel {

namespace {

// A field looked up by name once per recordset, on first use.
class FieldRef {
public:
    explicit FieldRef(std::string name) : name_(std::move(name)) {}
    int index(const data::Recordset& rows) {
        if (index_ < 0) index_ = rows.fieldIndex(name_);
        return index_;
    }
    const std::string& name() const { return name_; }

private:
    std::string name_;
    int index_ = -1;
};

[[noreturn]] void stop(UserInterface& ui, const std::string& message) {
    ui.showMessage(message);
    throw ConversionStopped(message);
}

data::Date fieldDate(const data::Recordset& rows, int index, std::size_t row) {
    switch (rows.kind(index)) {
        case data::Recordset::Kind::Integer: return static_cast<double>(rows.integer(index));
        case data::Recordset::Kind::Real: return rows.real(index);
        case data::Recordset::Kind::Text: {
            if (auto date = data::parseIsoDate(rows.textView(index))) return *date;
            break;
        }
        default: break;
    }
    throw data::DatabaseError("The field '" + rows.fieldName(index) + "' of sample row " +
                              std::to_string(row) + " holds '" + rows.text(index) +
                              "', which is not a date");
}

// Midnight of the calendar day after the date's own.
data::Date nextDay(data::Date date) {
    data::CivilTime c = data::civilFromDate(date);
    return data::dateFromCivil({c.year, c.month, c.day}) + 1;
}

}  // namespace

std::string SqlDateText(data::Date date) {
    data::CivilTime c = data::civilFromDate(date);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d-%02d-%04d", c.month, c.day, c.year);
    return buffer;
}

std::size_t DefineAttributes(RunState& state, UserInterface& ui) {
    data::Recordset& rows = *state.SampleRecords;
    std::size_t walked = 0;
    if (state.ShapeType == kParameterMode) {
        if (rows.eof())
            stop(ui, "There are no samples of the parameter '" + state.SelectedParameter +
                         "' in the database");
        state.NumericAttributeCount = 2;
        state.NumericAttributes.assign(3, std::string());
        state.NumericAttributeFields.assign(3, std::string());
        state.NumericAttributes[1] = "SampleHour";
        state.NumericAttributes[2] = state.SelectedParameter;
        int code = rows.fieldIndex("ParameterCode");
        state.NumericAttributeFields[2] = "Param_" + rows.text(code);
    } else if (state.ShapeType == kDayMode) {
        state.NumericAttributes.assign(2, std::string());
        state.NumericAttributeFields.assign(2, std::string());
        state.NumericAttributes[1] = "SampleHour";
        state.ParameterSlot = 1;
        std::string previous;
        FieldRef name("ParameterName"), code("ParameterCode");
        while (!rows.eof()) {
            int nameIndex = name.index(rows);
            // Names are compared and kept in one text form, also when stored as numbers.
            if (!rows.isNull(nameIndex) && rows.text(nameIndex) != previous) {
                ++state.ParameterSlot;
                previous = rows.text(nameIndex);
                state.NumericAttributes.push_back(previous);
                state.NumericAttributeFields.push_back("Param_" + rows.text(code.index(rows)));
            }
            rows.moveNext();
            ++walked;
        }
        state.NumericAttributeCount = state.ParameterSlot;
    } else {
        return walked;
    }
    state.StringAttributeCount = 3;
    state.StringAttributes = {"", "CurrentName", "Name", "TidalSituation"};
    state.DateAttributeCount = 1;
    state.DateAttributes = {"", "SampleDate"};
    return walked;
}

void ReadSamples(RunState& state, UserInterface& ui) {
    openConnection(state);
    data::Connection& db = *state.DBConnection;

    if (state.ShapeType == kDayMode) {
        // The whole calendar day, whatever the time of each sample: from its midnight to the next
        // (the calendar's last day has none).
        std::string day = "SampleDate >= #" + SqlDateText(state.SelectedDay) + "#";
        const data::Date next = nextDay(state.SelectedDay);
        if (data::civilFromDate(next).year <= 9999)
            day += " And SampleDate < #" + SqlDateText(next) + "#";
        state.SelectQuery =
            "Select * from Kelvash_Query WHERE (" + day + " )  ORDER BY ParameterName ";
        state.SampleRecords = db.execute(state.SelectQuery);
        state.SampleRecords->eof();  // runs the selection now: its failure comes before the count
        state.CountQuery =
            "Select Count(*) As CountTotalRecords FROM Kelvash_Query Where (" + day + ")";
    } else if (state.ShapeType == kParameterMode) {
        const std::string p = data::sqlQuote(state.SelectedParameter);
        state.SelectQuery =
            "Select * from Kelvash_Query WHERE (ParameterName = " + p + ")  ORDER BY SampleDate ";
        state.SampleRecords = db.execute(state.SelectQuery);
        state.SampleRecords->eof();  // runs the selection now: its failure comes before the count
        state.CountQuery =
            "Select Count(*) As CountTotalRecords FROM Kelvash_Query Where (ParameterName = " + p + ")";
    } else {
        // No mode chosen: there is nothing to select.
        state.SelectQuery.clear();
        state.CountQuery.clear();
        throw ConversionError("No conversion mode was chosen (Parameter or Day)");
    }

    // The count query is sent, but its answer is taken from the rows themselves: in Day mode from
    // the layout's walk over the whole selection, in Parameter mode from the walk that reads
    // them, so the selection is not run a further time only to be counted.
    state.CountRecords = db.execute(state.CountQuery);

    state.NumericAttributeCount = state.StringAttributeCount = state.DateAttributeCount = 0;
    const std::size_t walked = DefineAttributes(state, ui);
    const bool counted = state.ShapeType == kDayMode;
    state.TotalRecords = counted ? walked : 0;

    // Parameter mode: the arrays grow with the walk, a row at a time (vectors double their room
    // but only the rows written take memory).
    std::size_t capacity = counted ? state.TotalRecords : 0;
    const std::size_t rowsCount = capacity + 1;
    state.Longitudes.assign(rowsCount, 0.0);
    state.Latitudes.assign(rowsCount, 0.0);
    state.NumericValues.resize(rowsCount, static_cast<std::size_t>(state.NumericAttributeCount) + 1);
    state.StringValues.resize(rowsCount, static_cast<std::size_t>(state.StringAttributeCount) + 1);
    state.DateValues.resize(rowsCount, static_cast<std::size_t>(state.DateAttributeCount) + 1);
    const bool exact = state.Settings.values == ValueStyle::Exact;
    const bool nulls = state.Settings.missing == MissingStyle::Null;
    if (nulls)
        state.NumericNulls.resize(rowsCount, static_cast<std::size_t>(state.NumericAttributeCount) + 1);
    else
        state.NumericNulls.resize(0, 0);
    auto fitRows = [&](std::size_t rows) {
        state.Longitudes.resize(rows, 0.0);
        state.Latitudes.resize(rows, 0.0);
        state.NumericValues.resizeRows(rows);
        state.StringValues.resizeRows(rows);
        state.DateValues.resizeRows(rows);
        if (nulls) state.NumericNulls.resizeRows(rows);
    };

    if (state.ShapeType == kDayMode) state.SampleRecords = db.execute(state.SelectQuery);

    state.HourlessSamples = 0;
    state.StringNullCounts.assign(static_cast<std::size_t>(state.StringAttributeCount) + 1, 0);

    const bool military = state.CoordinatesType == kMilitary;
    const bool normal = state.CoordinatesType == kNormal;
    FieldRef latitude(military ? "MilitaryLatitude" : "Latitude");
    FieldRef longitude(military ? "MilitaryLongitude" : "Longitude");
    const std::string coordinateMessage =
        military ? "Some Points haven't Military Coordinates defined. Correct this fault directly on Database"
                 : "Some Points haven't Coordinates defined. Correct this fault directly on Database";
    FieldRef hour(state.NumericAttributes[1]);
    FieldRef value("Value");
    FieldRef parameterName("ParameterName");
    std::vector<FieldRef> texts, dates;
    for (int j = 1; j <= state.StringAttributeCount; ++j) texts.emplace_back(state.StringAttributes[j]);
    for (int j = 1; j <= state.DateAttributeCount; ++j) dates.emplace_back(state.DateAttributes[j]);

    // Day mode: the columns of each parameter name (a name may own more than one slot).
    std::unordered_map<std::string, std::vector<int>> slotsOf;
    if (state.ShapeType == kDayMode)
        for (int k = 2; k <= state.NumericAttributeCount; ++k) slotsOf[state.NumericAttributes[k]].push_back(k);

    data::Recordset& rows = *state.SampleRecords;
    auto readValue = [&](std::size_t r) {
        int index = value.index(rows);
        if (rows.isNull(index))
            stop(ui, "Some samples haven't a value defined. Correct this fault directly on Database");
        (void)r;
        return exact ? fieldNumber(rows, index) : fieldNumberRounded(rows, index);
    };

    std::size_t r = 0;
    while (!rows.eof()) {
        ++r;
        if (r > capacity) {
            if (counted)
                throw ConversionError("The database returned more sample rows than it counted (" +
                                      std::to_string(state.TotalRecords) + ")");
            capacity = r;
            fitRows(capacity + 1);
        }
        if (military || normal) {
            int y = latitude.index(rows), x = longitude.index(rows);
            if (rows.isNull(y) || rows.isNull(x)) stop(ui, coordinateMessage);
            state.Latitudes[r] = fieldNumber(rows, y);
            state.Longitudes[r] = fieldNumber(rows, x);
        }

        int hourIndex = hour.index(rows);
        if (rows.isNull(hourIndex)) {
            ++state.HourlessSamples;
            if (nulls) {
                state.NumericNulls(r, 1) = 1;
            } else {
                if (state.HourlessSamples == 1)
                    ui.showMessage("Some samples haven't an hour defined. Time of these samples will be considered = -1");
                state.NumericValues(r, 1) = -1;
            }
        } else {
            state.NumericValues(r, 1) =
                exact ? fieldNumber(rows, hourIndex) : fieldNumberRounded(rows, hourIndex);
        }

        // Day mode: a parameter the row did not measure has no value; Parameter mode fills
        // every column below.
        if (nulls && state.ShapeType == kDayMode)
            for (int k = 2; k <= state.NumericAttributeCount; ++k) state.NumericNulls(r, static_cast<std::size_t>(k)) = 1;
        if (state.ShapeType == kParameterMode) {
            for (int k = 2; k <= state.NumericAttributeCount; ++k) state.NumericValues(r, static_cast<std::size_t>(k)) = readValue(r);
        } else if (state.NumericAttributeCount >= 2) {
            int nameIndex = parameterName.index(rows);
            if (!rows.isNull(nameIndex)) {
                auto found = slotsOf.find(rows.text(nameIndex));  // the layout's text form
                if (found != slotsOf.end()) {
                    double number = readValue(r);
                    for (int k : found->second) {
                        state.NumericValues(r, static_cast<std::size_t>(k)) = number;
                        if (nulls) state.NumericNulls(r, static_cast<std::size_t>(k)) = 0;
                    }
                }
            }
        }

        for (std::size_t j = 1; j <= texts.size(); ++j) {
            int index = texts[j - 1].index(rows);
            if (rows.isNull(index)) {
                // With nulls the cell stays empty, which the text column writes blank.
                if (++state.StringNullCounts[j] == 1 && !nulls)
                    ui.showMessage("String Attribute " + texts[j - 1].name() +
                                   " has some null fields. These samples will be considered = 'unknown'");
                if (!nulls) state.StringValues.set(r, j, "Unknown");
            } else if (rows.kind(index) == data::Recordset::Kind::Text) {
                state.StringValues.set(r, j, rows.textView(index));
            } else {
                state.StringValues.set(r, j, rows.text(index));
            }
        }

        for (std::size_t j = 1; j <= dates.size(); ++j) {
            int index = dates[j - 1].index(rows);
            if (rows.isNull(index))
                stop(ui, "Some samples haven't a date defined. Correct this fault directly on Database");
            state.DateValues(r, j) = fieldDate(rows, index, r);
        }

        rows.moveNext();
    }
    if (!counted) state.TotalRecords = r;
    if (r != state.TotalRecords)
        throw ConversionError("The database returned " + std::to_string(r) + " sample rows but counted " +
                              std::to_string(state.TotalRecords));
}

}  // namespace pontrel
