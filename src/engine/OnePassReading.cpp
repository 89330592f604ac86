// The one-pass reading of the selected rows: each row is read once, into the sample arrays, and
// only notes what it lacks; the messages and stops are then taken from those notes in the rows'
// final order, exactly as a walk in that order meets them.
//
// Parameter mode runs the selection without its ORDER BY, since SQLite's sort of whole rows
// spills to temporary files, and puts the rows in date order here with a stable sort on the
// date, nulls first. SQLite's sorter keeps the order in which equal rows reach it, and they
// reach it in the order of the unsorted statement when both statements have the same plan, which
// is checked first; so the order is the database's own. Day mode keeps the database's ORDER BY
// (a name order under the text collation, over one day's rows) but reads the rows only once,
// laying out the columns on the way instead of in a pass of their own.
//
// Something rare makes one pass unsure (another plan, a date that is not a number or an ISO text,
// a field that is missing): the reading then gives up, having shown nothing, and the caller walks
// the sorted rows instead.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "engine/NumberReading.h"
#include "engine/SampleReading.h"
#include "sqlite/DatabaseError.h"

namespace pontrel {

namespace {

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

using Kind = data::Recordset::Kind;

// One reading of the selection; it fills the run state's arrays and attribute lists.
class OnePassReader {
public:
    OnePassReader(RunState& state, UserInterface& ui)
        : state_(state), ui_(ui), day_(state.ShapeType == kDayMode),
          exact_(state.Settings.values == ValueStyle::Exact),
          nulls_(state.Settings.missing == MissingStyle::Null),
          military_(state.CoordinatesType == kMilitary),
          coordinates_(military_ || state.CoordinatesType == kNormal) {}

    bool read(data::Connection& db, const std::string& unsorted);

private:
    void layOutAttributes();
    bool findFields(data::Recordset& rows);
    void startArrays();
    bool readRow(data::Recordset& rows, std::size_t s);
    void readValue(data::Recordset& rows, std::size_t s, std::uint8_t& lack);
    bool readDate(data::Recordset& rows, std::size_t s, std::uint8_t& lack);
    void putInDateOrder(std::size_t n);
    void spreadDayValues(std::size_t n);
    void actOnLacks(std::size_t n);

    void fitRows(std::size_t count) {
        fitSampleRows(state_, count, nulls_);
        lacks_.resize(count, 0);
        if (day_) nameOf_.resize(count, -1);
    }
    bool dateNull(std::size_t s) const { return (lacks_[s] & kNoDate) != 0; }
    // Whether row a comes before row b in date order (nulls first), the scan order aside.
    bool earlier(std::size_t a, std::size_t b) const {
        if (dateNull(a) != dateNull(b)) return dateNull(a);
        return !dateNull(a) && state_.DateValues(a, 1) < state_.DateValues(b, 1);
    }
    static int optionalField(data::Recordset& rows, const char* name) {
        try {
            return rows.fieldIndex(name);
        } catch (const data::DatabaseError&) {
            return -1;
        }
    }
    // The station of row s, and whether it has the other coordinate type, for the message.
    void noteMissingCoordinates(data::Recordset& rows, std::size_t s) {
        const bool other = field_.otherLatitude >= 0 && field_.otherLongitude >= 0 &&
                           !rows.isNull(field_.otherLatitude) && !rows.isNull(field_.otherLongitude);
        const bool noName = textCount_ < 2 || (lacks_[s] & (kNoFirstText << 1));  // "Name" is text 2
        missing_.add(noName ? std::string() : state_.StringValues(s, 2), other);
    }
    double number(const data::Recordset::Value& value) const {
        const double read = fieldNumber(value);
        return exact_ ? read : roundTo2Decimals(read);
    }

    RunState& state_;
    UserInterface& ui_;
    const bool day_, exact_, nulls_, military_, coordinates_;
    // Fields by position; a missing one is named by the walk of the sorted rows, at the point
    // where that walk first needs it.
    struct Fields {
        int latitude = -1, longitude = -1, hour = -1, value = -1, name = -1, code = -1, date = -1;
        int otherLatitude = -1, otherLongitude = -1;  // of the other coordinate type, when there
        std::vector<int> texts;
    } field_;
    std::size_t textCount_ = 0;
    std::size_t held_ = 1;              // rows the arrays have room for
    std::vector<std::uint8_t> lacks_;
    std::vector<std::int32_t> nameOf_;  // Day mode: each row's name among `names_`, -1 for none
    std::vector<std::string> names_;
    std::unordered_map<std::string, std::int32_t> nameIds_;
    std::string previous_;              // Day mode: the name of the last column laid out
    std::size_t first_ = 0;             // Parameter mode: the row that comes first in date order
    std::string firstCode_;
    MissingCoordinates missing_;        // the stations of the rows without coordinates
};

bool OnePassReader::read(data::Connection& db, const std::string& unsorted) {
    if (day_) {
        state_.SampleRecords = db.execute(state_.SelectQuery);
    } else {
        state_.SampleRecords = db.execute(unsorted, state_.SelectQuery);
        std::vector<std::string> sorted = db.queryPlan(state_.SelectQuery);
        std::erase(sorted, "USE TEMP B-TREE FOR ORDER BY");
        if (sorted.empty() || sorted != db.queryPlan(unsorted)) return false;
    }
    data::Recordset& rows = *state_.SampleRecords;
    rows.eof();  // runs the selection now: its failure comes before the count
    state_.CountRecords = db.execute(state_.CountQuery);

    layOutAttributes();
    if (!rows.eof() && !findFields(rows)) return false;
    textCount_ = static_cast<std::size_t>(state_.StringAttributeCount);
    if (textCount_ > kMaxTexts) return false;
    startArrays();

    std::size_t n = 0;
    for (; !rows.eof(); rows.moveNext()) {
        if (!readRow(rows, ++n)) return false;
        if (n % kRowBlock == 0) ui_.setProgressValue(static_cast<double>(n));  // rows read so far
    }
    fitRows(n + 1);
    state_.TotalRecords = n;

    if (!day_) {
        if (n == 0) stopForNoSamples(ui_, state_);
        state_.NumericAttributeFields[2] = "Param_" + firstCode_;
        state_.NumericAttributeCount = 2;
        putInDateOrder(n);
    } else {
        spreadDayValues(n);
    }
    actOnLacks(n);
    return true;
}

void OnePassReader::layOutAttributes() {
    state_.StringAttributeCount = 3;
    state_.StringAttributes = {"", "CurrentName", "Name", "TidalSituation"};
    state_.DateAttributeCount = 1;
    state_.DateAttributes = {"", "SampleDate"};
    state_.NumericAttributes.assign(2, std::string());
    state_.NumericAttributeFields.assign(2, std::string());
    state_.NumericAttributes[1] = "SampleHour";
    state_.ParameterSlot = 1;
    if (!day_) {
        state_.NumericAttributes.push_back(state_.SelectedParameter);
        state_.NumericAttributeFields.emplace_back();
    }
}

bool OnePassReader::findFields(data::Recordset& rows) {
    try {
        if (coordinates_) {
            field_.latitude = rows.fieldIndex(military_ ? "MilitaryLatitude" : "Latitude");
            field_.longitude = rows.fieldIndex(military_ ? "MilitaryLongitude" : "Longitude");
            field_.otherLatitude = optionalField(rows, military_ ? "Latitude" : "MilitaryLatitude");
            field_.otherLongitude = optionalField(rows, military_ ? "Longitude" : "MilitaryLongitude");
        }
        field_.hour = rows.fieldIndex(state_.NumericAttributes[1]);
        field_.value = rows.fieldIndex("Value");
        if (day_) field_.name = rows.fieldIndex("ParameterName");
        field_.code = rows.fieldIndex("ParameterCode");
        for (int j = 1; j <= state_.StringAttributeCount; ++j)
            field_.texts.push_back(rows.fieldIndex(state_.StringAttributes[static_cast<std::size_t>(j)]));
        field_.date = rows.fieldIndex(state_.DateAttributes[1]);
    } catch (const data::DatabaseError&) {
        return false;
    }
    return true;
}

// Column 1 the hour, column 2 the row's value (Day mode spreads it over its columns at the end).
void OnePassReader::startArrays() {
    held_ = 1;
    state_.Longitudes.assign(held_, 0.0);
    state_.Latitudes.assign(held_, 0.0);
    state_.NumericValues.resize(held_, 3);
    state_.StringValues.resize(held_, textCount_ + 1);
    state_.DateValues.resize(held_, 2);
    state_.NumericNulls.resize(nulls_ ? held_ : 0, nulls_ ? 3 : 0);
    state_.ValueColumns.clear();
    lacks_.assign(held_, 0);
}

// Reads row s (from 1); false when the row makes one pass unsure.
bool OnePassReader::readRow(data::Recordset& rows, std::size_t s) {
    if (s >= held_) fitRows(held_ += kRowBlock);
    std::uint8_t lack = 0;
    if (coordinates_) {
        const data::Recordset::Value y = rows.value(field_.latitude), x = rows.value(field_.longitude);
        if (y.kind() == Kind::Null || x.kind() == Kind::Null) {
            lack |= kNoCoordinates;
        } else {
            state_.Latitudes[s] = fieldNumber(y);
            state_.Longitudes[s] = fieldNumber(x);
        }
    }
    if (const data::Recordset::Value hour = rows.value(field_.hour); hour.kind() == Kind::Null) {
        lack |= kNoHour;
        if (nulls_) state_.NumericNulls(s, 1) = 1;
        else state_.NumericValues(s, 1) = -1;
    } else {
        state_.NumericValues(s, 1) = number(hour);
    }
    readValue(rows, s, lack);
    for (std::size_t j = 1; j <= textCount_; ++j) {
        const int index = field_.texts[j - 1];
        const data::Recordset::Value text = rows.value(index);
        switch (text.kind()) {
            case Kind::Null:
                lack |= static_cast<std::uint8_t>(kNoFirstText << (j - 1));
                if (!nulls_) state_.StringValues.set(s, j, "Unknown");
                break;
            case Kind::Text: state_.StringValues.set(s, j, text.textView()); break;
            default: state_.StringValues.set(s, j, rows.text(index)); break;
        }
    }
    if (!readDate(rows, s, lack)) return false;
    lacks_[s] = lack;
    if (lack & kNoCoordinates) noteMissingCoordinates(rows, s);
    if (!day_ && (s == 1 || earlier(s, first_))) {
        first_ = s;
        firstCode_ = rows.text(field_.code);
    }
    return true;
}

// The row's value into column 2; in Day mode also the row's parameter name, which lays out a
// column of its own when it differs from the previous row's.
void OnePassReader::readValue(data::Recordset& rows, std::size_t s, std::uint8_t& lack) {
    if (day_) {
        if (rows.isNull(field_.name)) return;  // no parameter: no value to read
        std::string name = rows.text(field_.name);  // the layout's text form
        if (name.empty()) return;  // an empty name opens no column: its value is not read
        if (name != previous_) {
            ++state_.ParameterSlot;
            state_.NumericAttributes.push_back(name);
            state_.NumericAttributeFields.push_back("Param_" + rows.text(field_.code));
            previous_ = name;
        }
        auto [at, added] = nameIds_.try_emplace(std::move(name), static_cast<std::int32_t>(names_.size()));
        if (added) names_.push_back(at->first);
        nameOf_[s] = at->second;
    }
    if (const data::Recordset::Value value = rows.value(field_.value); value.kind() == Kind::Null)
        lack |= kNoValue;
    else
        state_.NumericValues(s, 2) = number(value);
}

bool OnePassReader::readDate(data::Recordset& rows, std::size_t s, std::uint8_t& lack) {
    const data::Recordset::Value date = rows.value(field_.date);
    switch (date.kind()) {
        case Kind::Null: lack |= kNoDate; return true;
        case Kind::Real: state_.DateValues(s, 1) = date.real(); return true;
        case Kind::Integer: {
            // A day count far beyond any calendar would not compare as the database does.
            const std::int64_t days = date.integer();
            if (days > (std::int64_t{1} << 53) || days < -(std::int64_t{1} << 53)) return false;
            state_.DateValues(s, 1) = static_cast<double>(days);
            return true;
        }
        case Kind::Text: {
            // The database orders texts after numbers: only the name order can take them.
            std::optional<data::Date> parsed = day_ ? data::parseIsoDate(date.textView()) : std::nullopt;
            if (!parsed) return false;
            state_.DateValues(s, 1) = *parsed;
            return true;
        }
        default: return false;
    }
}

// Parameter mode: a stable sort of the rows on their date, nulls first, when they are not in
// that order already.
void OnePassReader::putInDateOrder(std::size_t n) {
    bool inOrder = true;
    for (std::size_t s = 2; s <= n && inOrder; ++s) inOrder = !earlier(s, s - 1);
    if (inOrder) return;
    std::vector<std::uint32_t> order(n + 1);
    for (std::size_t s = 0; s <= n; ++s) order[s] = static_cast<std::uint32_t>(s);
    std::stable_sort(order.begin() + 1, order.end(), [&](std::uint32_t a, std::uint32_t b) { return earlier(a, b); });
    permuteRows(state_.Longitudes.data(), 1, order);
    permuteRows(state_.Latitudes.data(), 1, order);
    state_.NumericValues.permuteRows(order);
    if (nulls_) state_.NumericNulls.permuteRows(order);
    state_.StringValues.permuteRows(order);
    state_.DateValues.permuteRows(order);
    permuteRows(lacks_.data(), 1, order);
}

// Day mode: each row's value goes to every column of its name (names that differ only in case
// may take turns in the collation's order, and so own more than one column).
void OnePassReader::spreadDayValues(std::size_t n) {
    state_.NumericAttributeCount = state_.ParameterSlot;
    const std::size_t columns = static_cast<std::size_t>(state_.NumericAttributeCount) + 1;
    std::vector<std::vector<std::size_t>> slotsOf(names_.size());
    for (std::size_t k = 2; k < columns; ++k)
        slotsOf[static_cast<std::size_t>(nameIds_.at(state_.NumericAttributes[k]))].push_back(k);
    Matrix<double> values;
    values.resize(n + 1, columns);
    Matrix<std::uint8_t> missing;
    if (nulls_) missing.resize(n + 1, columns);
    state_.ValueColumns.assign(n + 1, 0);
    for (std::size_t s = 1; s <= n; ++s) {
        values(s, 1) = state_.NumericValues(s, 1);
        if (nulls_) {
            missing(s, 1) = state_.NumericNulls(s, 1);
            for (std::size_t k = 2; k < columns; ++k) missing(s, k) = 1;
        }
        if (nameOf_[s] < 0) continue;
        const std::vector<std::size_t>& slots = slotsOf[static_cast<std::size_t>(nameOf_[s])];
        state_.ValueColumns[s] = static_cast<std::int32_t>(slots.front());
        for (std::size_t k : slots) {
            values(s, k) = state_.NumericValues(s, 2);
            if (nulls_) missing(s, k) = 0;
        }
    }
    state_.NumericValues = std::move(values);
    state_.NumericNulls = std::move(missing);
}

// The walk's messages and stops, in the rows' order.
void OnePassReader::actOnLacks(std::size_t n) {
    state_.HourlessSamples = 0;
    state_.StringNullCounts.assign(textCount_ + 1, 0);
    const std::string coordinateMessage = noCoordinatesMessage(military_, missing_);
    for (std::size_t r = 1; r <= n; ++r) {
        const std::uint8_t lack = lacks_[r];
        if (lack == 0) continue;
        // A stop keeps the rows before its own, as a walk that stops there would.
        auto stopAt = [&](const std::string& message) {
            fitRows(r);
            fitRows(r + 1);
            stopWith(ui_, message);
        };
        if (lack & kNoCoordinates) stopAt(coordinateMessage);
        if ((lack & kNoHour) && ++state_.HourlessSamples == 1 && !nulls_)
            ui_.showWarning(kNoHourMessage);
        if (lack & kNoValue) stopAt(kNoValueMessage);
        for (std::size_t j = 1; j <= textCount_; ++j)
            if ((lack & (kNoFirstText << (j - 1))) && ++state_.StringNullCounts[j] == 1 && !nulls_)
                ui_.showWarning(nullTextMessage(state_.StringAttributes[j]));
        if (lack & kNoDate) stopAt(kNoDateMessage);
    }
}

}  // namespace

bool readOnce(RunState& state, UserInterface& ui, data::Connection& db, const std::string& unsorted) {
    return OnePassReader(state, ui).read(db, unsorted);
}

}  // namespace pontrel
