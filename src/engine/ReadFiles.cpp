#include "engine/ReadFiles.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <unordered_map>

#include "sqlite/DatabaseError.h"
#include "jet/JetSql.h"
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

// What the user is told of a row that lacks something; both ways of reading the rows say the same.
std::string noSamplesMessage(const std::string& parameter) {
    return "There are no samples of the parameter '" + parameter + "' in the database";
}
std::string noCoordinatesMessage(bool military) {
    if (military)
        return "Some Points haven't Military Coordinates defined. Correct this fault directly on Database";
    return "Some Points haven't Coordinates defined. Correct this fault directly on Database";
}
constexpr const char* kNoHourMessage =
    "Some samples haven't an hour defined. Time of these samples will be considered = -1";
constexpr const char* kNoValueMessage =
    "Some samples haven't a value defined. Correct this fault directly on Database";
constexpr const char* kNoDateMessage =
    "Some samples haven't a date defined. Correct this fault directly on Database";
std::string nullTextMessage(const std::string& attribute) {
    return "String Attribute " + attribute +
           " has some null fields. These samples will be considered = 'unknown'";
}

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
            stop(ui, noSamplesMessage(state.SelectedParameter));
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

namespace {

// Gives the sample arrays room for `count` rows (row 0 unused), keeping the rows already read.
void fitSampleRows(RunState& state, std::size_t count, bool nulls) {
    state.Longitudes.resize(count, 0.0);
    state.Latitudes.resize(count, 0.0);
    state.NumericValues.resizeRows(count);
    state.StringValues.resizeRows(count);
    state.DateValues.resizeRows(count);
    if (nulls) state.NumericNulls.resizeRows(count);
}

// What a row lacks, noted while the rows are read and acted upon in their final order.
enum RowLack : std::uint8_t {
    kNoCoordinates = 1,
    kNoHour = 2,
    kNoValue = 4,
    kNoDate = 8,
    kNoFirstText = 16,  // and the next bits, one per text attribute
};
constexpr std::size_t kMaxTexts = 4;

// Rows are added to the arrays in blocks rather than one at a time; their room still grows
// geometrically.
constexpr std::size_t kRowBlock = 4096;

// Reads the selection in one pass over its rows.
//
// Parameter mode runs the selection without its ORDER BY, since SQLite's sort of whole rows
// spills to temporary files, and puts the rows in date order here with a stable sort on the
// date, nulls first. SQLite's sorter keeps the order in which equal rows reach it, and they
// reach it in the order of the unsorted statement when both statements have the same plan, which
// is checked first; so the order is the database's own. Day mode keeps the database's ORDER BY
// (a name order under the text collation, over one day's rows) but reads the rows only once,
// laying out the columns on the way instead of in a pass of their own.
//
// While reading, each row only notes what it lacks; the messages and stops are then taken from
// those notes in the final order, exactly as a walk in that order meets them. Returns false,
// having shown nothing, when something rare makes one pass unsure (another plan, a date that is
// not a number or an ISO text, a field that is missing): the caller then walks the sorted rows.
bool readOnce(RunState& state, UserInterface& ui, data::Connection& db, const std::string& unsorted) {
    const bool day = state.ShapeType == kDayMode;
    if (day) {
        state.SampleRecords = db.execute(state.SelectQuery);
    } else {
        state.SampleRecords = db.execute(unsorted, state.SelectQuery);
        std::vector<std::string> sorted = db.queryPlan(state.SelectQuery);
        std::erase(sorted, "USE TEMP B-TREE FOR ORDER BY");
        if (sorted.empty() || sorted != db.queryPlan(unsorted)) return false;
    }
    data::Recordset& rows = *state.SampleRecords;
    rows.eof();  // runs the selection now: its failure comes before the count
    state.CountRecords = db.execute(state.CountQuery);

    state.StringAttributeCount = 3;
    state.StringAttributes = {"", "CurrentName", "Name", "TidalSituation"};
    state.DateAttributeCount = 1;
    state.DateAttributes = {"", "SampleDate"};
    state.NumericAttributes.assign(2, std::string());
    state.NumericAttributeFields.assign(2, std::string());
    state.NumericAttributes[1] = "SampleHour";
    state.ParameterSlot = 1;
    if (!day) {
        state.NumericAttributes.push_back(state.SelectedParameter);
        state.NumericAttributeFields.emplace_back();
    }

    const bool exact = state.Settings.values == ValueStyle::Exact;
    const bool nulls = state.Settings.missing == MissingStyle::Null;
    const bool military = state.CoordinatesType == kMilitary;
    const bool coordinates = military || state.CoordinatesType == kNormal;
    using Kind = data::Recordset::Kind;
    auto number = [&](const data::Recordset::Value& value) {
        const double read = fieldNumber(value);
        return exact ? read : roundTo2Decimals(read);
    };

    // Fields by position; a missing one is named by the walk of the sorted rows, at the point
    // where that walk first needs it.
    struct Fields {
        int latitude = -1, longitude = -1, hour = -1, value = -1, name = -1, code = -1, date = -1;
        std::vector<int> texts;
    } field;
    if (!rows.eof()) {
        try {
            if (coordinates) {
                field.latitude = rows.fieldIndex(military ? "MilitaryLatitude" : "Latitude");
                field.longitude = rows.fieldIndex(military ? "MilitaryLongitude" : "Longitude");
            }
            field.hour = rows.fieldIndex(state.NumericAttributes[1]);
            field.value = rows.fieldIndex("Value");
            if (day) field.name = rows.fieldIndex("ParameterName");
            field.code = rows.fieldIndex("ParameterCode");
            for (int j = 1; j <= state.StringAttributeCount; ++j)
                field.texts.push_back(rows.fieldIndex(state.StringAttributes[static_cast<std::size_t>(j)]));
            field.date = rows.fieldIndex(state.DateAttributes[1]);
        } catch (const data::DatabaseError&) {
            return false;
        }
    }
    const std::size_t textCount = static_cast<std::size_t>(state.StringAttributeCount);
    if (textCount > kMaxTexts) return false;

    // Column 1 the hour, column 2 the row's value (Day mode spreads it over its columns below).
    std::size_t held = 1;
    state.Longitudes.assign(held, 0.0);
    state.Latitudes.assign(held, 0.0);
    state.NumericValues.resize(held, 3);
    state.StringValues.resize(held, textCount + 1);
    state.DateValues.resize(held, 2);
    state.NumericNulls.resize(nulls ? held : 0, nulls ? 3 : 0);
    std::vector<std::uint8_t> lacks(held, 0);
    std::vector<std::int32_t> nameOf;  // Day mode: each row's name among `names`, -1 for none
    std::vector<std::string> names;
    std::unordered_map<std::string, std::int32_t> nameIds;
    std::string previous;              // Day mode: the name of the last column laid out
    std::size_t first = 0;             // Parameter mode: the row that comes first in date order
    std::string firstCode;
    auto fitRows = [&](std::size_t count) {
        fitSampleRows(state, count, nulls);
        lacks.resize(count, 0);
        if (day) nameOf.resize(count, -1);
    };
    auto dateNull = [&](std::size_t s) { return (lacks[s] & kNoDate) != 0; };
    // Whether row a comes before row b in date order (nulls first), the scan order aside.
    auto earlier = [&](std::size_t a, std::size_t b) {
        if (dateNull(a) != dateNull(b)) return dateNull(a);
        return !dateNull(a) && state.DateValues(a, 1) < state.DateValues(b, 1);
    };

    std::size_t n = 0;
    for (; !rows.eof(); rows.moveNext()) {
        const std::size_t s = ++n;
        if (s >= held) fitRows(held += kRowBlock);
        std::uint8_t lack = 0;
        if (coordinates) {
            const data::Recordset::Value y = rows.value(field.latitude), x = rows.value(field.longitude);
            if (y.kind() == Kind::Null || x.kind() == Kind::Null) {
                lack |= kNoCoordinates;
            } else {
                state.Latitudes[s] = fieldNumber(y);
                state.Longitudes[s] = fieldNumber(x);
            }
        }
        if (const data::Recordset::Value hour = rows.value(field.hour); hour.kind() == Kind::Null) {
            lack |= kNoHour;
            if (nulls) state.NumericNulls(s, 1) = 1;
            else state.NumericValues(s, 1) = -1;
        } else {
            state.NumericValues(s, 1) = number(hour);
        }
        bool valued = true;
        if (day) {
            // A row whose name is empty opens no column, so its value is never read.
            valued = !rows.isNull(field.name) && !rows.text(field.name).empty();
            if (valued) {
                std::string name = rows.text(field.name);  // the layout's text form
                if (name != previous) {
                    ++state.ParameterSlot;
                    state.NumericAttributes.push_back(name);
                    state.NumericAttributeFields.push_back("Param_" + rows.text(field.code));
                    previous = name;
                }
                auto [at, added] = nameIds.try_emplace(std::move(name), static_cast<std::int32_t>(names.size()));
                if (added) names.push_back(at->first);
                nameOf[s] = at->second;
            }
        }
        if (valued) {
            if (const data::Recordset::Value value = rows.value(field.value); value.kind() == Kind::Null)
                lack |= kNoValue;
            else
                state.NumericValues(s, 2) = number(value);
        }
        for (std::size_t j = 1; j <= textCount; ++j) {
            const int index = field.texts[j - 1];
            const data::Recordset::Value text = rows.value(index);
            switch (text.kind()) {
                case Kind::Null:
                    lack |= static_cast<std::uint8_t>(kNoFirstText << (j - 1));
                    if (!nulls) state.StringValues.set(s, j, "Unknown");
                    break;
                case Kind::Text: state.StringValues.set(s, j, text.textView()); break;
                default: state.StringValues.set(s, j, rows.text(index)); break;
            }
        }
        const data::Recordset::Value date = rows.value(field.date);
        switch (date.kind()) {
            case Kind::Null: lack |= kNoDate; break;
            case Kind::Real: state.DateValues(s, 1) = date.real(); break;
            case Kind::Integer: {
                // A day count far beyond any calendar would not compare as the database does.
                const std::int64_t days = date.integer();
                if (days > (std::int64_t{1} << 53) || days < -(std::int64_t{1} << 53)) return false;
                state.DateValues(s, 1) = static_cast<double>(days);
                break;
            }
            case Kind::Text: {
                // The database orders texts after numbers: only the name order can take them.
                std::optional<data::Date> parsed = day ? data::parseIsoDate(date.textView()) : std::nullopt;
                if (!parsed) return false;
                state.DateValues(s, 1) = *parsed;
                break;
            }
            default: return false;
        }
        lacks[s] = lack;
        if (!day && (s == 1 || earlier(s, first))) {
            first = s;
            firstCode = rows.text(field.code);
        }
    }
    fitRows(n + 1);
    state.TotalRecords = n;

    if (!day) {
        if (n == 0)
            stop(ui, noSamplesMessage(state.SelectedParameter));
        state.NumericAttributeFields[2] = "Param_" + firstCode;
        state.NumericAttributeCount = 2;
        bool inOrder = true;
        for (std::size_t s = 2; s <= n && inOrder; ++s) inOrder = !earlier(s, s - 1);
        if (!inOrder) {
            std::vector<std::uint32_t> order(n + 1);
            for (std::size_t s = 0; s <= n; ++s) order[s] = static_cast<std::uint32_t>(s);
            std::stable_sort(order.begin() + 1, order.end(), [&](std::uint32_t a, std::uint32_t b) { return earlier(a, b); });
            permuteRows(state.Longitudes.data(), 1, order);
            permuteRows(state.Latitudes.data(), 1, order);
            state.NumericValues.permuteRows(order);
            if (nulls) state.NumericNulls.permuteRows(order);
            state.StringValues.permuteRows(order);
            state.DateValues.permuteRows(order);
            permuteRows(lacks.data(), 1, order);
        }
    } else {
        // Each row's value goes to every column of its name (names that differ only in case may
        // take turns in the collation's order, and so own more than one column).
        state.NumericAttributeCount = state.ParameterSlot;
        const std::size_t columns = static_cast<std::size_t>(state.NumericAttributeCount) + 1;
        std::vector<std::vector<std::size_t>> slotsOf(names.size());
        for (std::size_t k = 2; k < columns; ++k) slotsOf[static_cast<std::size_t>(nameIds.at(state.NumericAttributes[k]))].push_back(k);
        Matrix<double> values;
        values.resize(n + 1, columns);
        Matrix<std::uint8_t> missing;
        if (nulls) missing.resize(n + 1, columns);
        for (std::size_t s = 1; s <= n; ++s) {
            values(s, 1) = state.NumericValues(s, 1);
            if (nulls) {
                missing(s, 1) = state.NumericNulls(s, 1);
                for (std::size_t k = 2; k < columns; ++k) missing(s, k) = 1;
            }
            if (nameOf[s] < 0) continue;
            for (std::size_t k : slotsOf[static_cast<std::size_t>(nameOf[s])]) {
                values(s, k) = state.NumericValues(s, 2);
                if (nulls) missing(s, k) = 0;
            }
        }
        state.NumericValues = std::move(values);
        state.NumericNulls = std::move(missing);
    }

    // The walk's messages and stops, in the rows' order.
    state.HourlessSamples = 0;
    state.StringNullCounts.assign(textCount + 1, 0);
    const std::string coordinateMessage = noCoordinatesMessage(military);
    for (std::size_t r = 1; r <= n; ++r) {
        const std::uint8_t lack = lacks[r];
        if (lack == 0) continue;
        // A stop keeps the rows before its own, as a walk that stops there would.
        auto stopAt = [&](const std::string& message) {
            fitRows(r);
            fitRows(r + 1);
            stop(ui, message);
        };
        if (lack & kNoCoordinates) stopAt(coordinateMessage);
        if ((lack & kNoHour) && ++state.HourlessSamples == 1 && !nulls)
            ui.showMessage(kNoHourMessage);
        if (lack & kNoValue) stopAt(kNoValueMessage);
        for (std::size_t j = 1; j <= textCount; ++j)
            if ((lack & (kNoFirstText << (j - 1))) && ++state.StringNullCounts[j] == 1 && !nulls)
                ui.showMessage(nullTextMessage(state.StringAttributes[j]));
        if (lack & kNoDate) stopAt(kNoDateMessage);
    }
    return true;
}

// The selection as sorted by the database, walked row by row after the layout: the way to read
// it when one pass cannot be sure to give the same (see readOnce).
void walkSortedRows(RunState& state, UserInterface& ui, data::Connection& db) {
    state.SampleRecords = db.execute(state.SelectQuery);
    state.SampleRecords->eof();  // runs the selection now: its failure comes before the count

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
    auto fitRows = [&](std::size_t rows) { fitSampleRows(state, rows, nulls); };

    if (state.ShapeType == kDayMode) state.SampleRecords = db.execute(state.SelectQuery);

    state.HourlessSamples = 0;
    state.StringNullCounts.assign(static_cast<std::size_t>(state.StringAttributeCount) + 1, 0);

    const bool military = state.CoordinatesType == kMilitary;
    const bool normal = state.CoordinatesType == kNormal;
    FieldRef latitude(military ? "MilitaryLatitude" : "Latitude");
    FieldRef longitude(military ? "MilitaryLongitude" : "Longitude");
    const std::string coordinateMessage = noCoordinatesMessage(military);
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
            stop(ui, kNoValueMessage);
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
                    ui.showMessage(kNoHourMessage);
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
                    ui.showMessage(nullTextMessage(texts[j - 1].name()));
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
                stop(ui, kNoDateMessage);
            state.DateValues(r, j) = fieldDate(rows, index, r);
        }

        rows.moveNext();
    }
    if (!counted) state.TotalRecords = r;
    if (r != state.TotalRecords)
        throw ConversionError("The database returned " + std::to_string(r) + " sample rows but counted " +
                              std::to_string(state.TotalRecords));
}

}  // namespace

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
