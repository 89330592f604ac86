// The sorted walk: the selection as sorted by the database, walked row by row after the layout.
// It is the way to read the rows when one pass cannot be sure to give the same (see
// OnePassReading.cpp): each message and stop comes as the walk meets its row.

#include <optional>
#include <unordered_map>
#include <vector>

#include "engine/Errors.h"
#include "engine/NumberReading.h"
#include "engine/ReadFiles.h"
#include "engine/SampleReading.h"
#include "sqlite/DatabaseError.h"

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

// One walk over the sorted selection; it fills the run state's arrays.
class SortedWalker {
public:
    SortedWalker(RunState& state, UserInterface& ui)
        : state_(state), ui_(ui), exact_(state.Settings.values == ValueStyle::Exact),
          nulls_(state.Settings.missing == MissingStyle::Null),
          military_(state.CoordinatesType == kMilitary), normal_(state.CoordinatesType == kNormal),
          latitude_(military_ ? "MilitaryLatitude" : "Latitude"),
          longitude_(military_ ? "MilitaryLongitude" : "Longitude"), value_("Value"),
          parameterName_("ParameterName") {}

    void walk(data::Connection& db);

private:
    void startArrays();
    void readRow(data::Recordset& rows, std::size_t r);
    void readValues(data::Recordset& rows, std::size_t r);
    void readTexts(data::Recordset& rows, std::size_t r);
    // The station of the current row, and whether it has the other coordinate type.
    MissingCoordinates missingAt(data::Recordset& rows) const {
        MissingCoordinates missing;
        auto text = [&](const char* field) -> std::optional<std::string> {
            try {
                const int index = rows.fieldIndex(field);
                if (!rows.isNull(index)) return rows.text(index);
            } catch (const data::DatabaseError&) {
            }
            return std::nullopt;
        };
        const bool other = text(military_ ? "Latitude" : "MilitaryLatitude") &&
                           text(military_ ? "Longitude" : "MilitaryLongitude");
        missing.add(text("Name").value_or(""), other);
        return missing;
    }
    double readValue(data::Recordset& rows) {
        int index = value_.index(rows);
        if (rows.isNull(index)) stopWith(ui_, kNoValueMessage);
        return exact_ ? fieldNumber(rows, index) : fieldNumberRounded(rows, index);
    }

    RunState& state_;
    UserInterface& ui_;
    const bool exact_, nulls_, military_, normal_;
    bool counted_ = false;      // Day mode: the layout counted the rows
    std::size_t capacity_ = 0;  // rows the arrays have room for
    FieldRef latitude_, longitude_, value_, parameterName_;
    std::vector<FieldRef> hour_, texts_, dates_;
    // Day mode: the columns of each parameter name (a name may own more than one slot).
    std::unordered_map<std::string, std::vector<int>> slotsOf_;
};

void SortedWalker::walk(data::Connection& db) {
    state_.SampleRecords = db.execute(state_.SelectQuery);
    state_.SampleRecords->eof();  // runs the selection now: its failure comes before the count

    // The count query is sent, but its answer is taken from the rows themselves: in Day mode from
    // the layout's walk over the whole selection, in Parameter mode from the walk that reads
    // them, so the selection is not run a further time only to be counted.
    state_.CountRecords = db.execute(state_.CountQuery);

    state_.NumericAttributeCount = state_.StringAttributeCount = state_.DateAttributeCount = 0;
    const std::size_t walked = DefineAttributes(state_, ui_);
    counted_ = state_.ShapeType == kDayMode;
    state_.TotalRecords = counted_ ? walked : 0;
    startArrays();
    if (state_.ShapeType == kDayMode) state_.SampleRecords = db.execute(state_.SelectQuery);

    hour_.emplace_back(state_.NumericAttributes[1]);
    for (int j = 1; j <= state_.StringAttributeCount; ++j) texts_.emplace_back(state_.StringAttributes[j]);
    for (int j = 1; j <= state_.DateAttributeCount; ++j) dates_.emplace_back(state_.DateAttributes[j]);
    if (state_.ShapeType == kDayMode)
        for (int k = 2; k <= state_.NumericAttributeCount; ++k) slotsOf_[state_.NumericAttributes[k]].push_back(k);

    data::Recordset& rows = *state_.SampleRecords;
    std::size_t r = 0;
    while (!rows.eof()) {
        ++r;
        if (r > capacity_) {
            if (counted_)
                throw ConversionError("The database returned more sample rows than it counted (" +
                                      std::to_string(state_.TotalRecords) + ")");
            capacity_ = r;
            fitSampleRows(state_, capacity_ + 1, nulls_);
        }
        readRow(rows, r);
        if (r % 4096 == 0) ui_.setProgressValue(static_cast<double>(r));  // rows read so far
        rows.moveNext();
    }
    if (!counted_) state_.TotalRecords = r;
    if (r != state_.TotalRecords)
        throw ConversionError("The database returned " + std::to_string(r) + " sample rows but counted " +
                              std::to_string(state_.TotalRecords));
}

// Parameter mode: the arrays grow with the walk, a row at a time (vectors double their room but
// only the rows written take memory).
void SortedWalker::startArrays() {
    capacity_ = counted_ ? state_.TotalRecords : 0;
    const std::size_t rowsCount = capacity_ + 1;
    state_.Longitudes.assign(rowsCount, 0.0);
    state_.Latitudes.assign(rowsCount, 0.0);
    state_.NumericValues.resize(rowsCount, static_cast<std::size_t>(state_.NumericAttributeCount) + 1);
    state_.StringValues.resize(rowsCount, static_cast<std::size_t>(state_.StringAttributeCount) + 1);
    state_.DateValues.resize(rowsCount, static_cast<std::size_t>(state_.DateAttributeCount) + 1);
    if (nulls_)
        state_.NumericNulls.resize(rowsCount, static_cast<std::size_t>(state_.NumericAttributeCount) + 1);
    else
        state_.NumericNulls.resize(0, 0);
    state_.ValueColumns.assign(state_.ShapeType == kDayMode ? rowsCount : 0, 0);
    state_.HourlessSamples = 0;
    state_.StringNullCounts.assign(static_cast<std::size_t>(state_.StringAttributeCount) + 1, 0);
}

void SortedWalker::readRow(data::Recordset& rows, std::size_t r) {
    if (military_ || normal_) {
        int y = latitude_.index(rows), x = longitude_.index(rows);
        if (rows.isNull(y) || rows.isNull(x)) stopWith(ui_, noCoordinatesMessage(military_, missingAt(rows)));
        state_.Latitudes[r] = fieldNumber(rows, y);
        state_.Longitudes[r] = fieldNumber(rows, x);
    }

    int hourIndex = hour_[0].index(rows);
    if (rows.isNull(hourIndex)) {
        ++state_.HourlessSamples;
        if (nulls_) {
            state_.NumericNulls(r, 1) = 1;
        } else {
            if (state_.HourlessSamples == 1) ui_.showWarning(kNoHourMessage);
            state_.NumericValues(r, 1) = -1;
        }
    } else {
        state_.NumericValues(r, 1) = exact_ ? fieldNumber(rows, hourIndex) : fieldNumberRounded(rows, hourIndex);
    }
    readValues(rows, r);
    readTexts(rows, r);
    for (std::size_t j = 1; j <= dates_.size(); ++j) {
        int index = dates_[j - 1].index(rows);
        if (rows.isNull(index)) stopWith(ui_, kNoDateMessage);
        state_.DateValues(r, j) = fieldDate(rows, index, r);
    }
}

// Day mode: a parameter the row did not measure has no value; Parameter mode fills every column.
void SortedWalker::readValues(data::Recordset& rows, std::size_t r) {
    if (nulls_ && state_.ShapeType == kDayMode)
        for (int k = 2; k <= state_.NumericAttributeCount; ++k) state_.NumericNulls(r, static_cast<std::size_t>(k)) = 1;
    if (state_.ShapeType == kParameterMode) {
        for (int k = 2; k <= state_.NumericAttributeCount; ++k)
            state_.NumericValues(r, static_cast<std::size_t>(k)) = readValue(rows);
    } else if (state_.NumericAttributeCount >= 2) {
        int nameIndex = parameterName_.index(rows);
        if (rows.isNull(nameIndex)) return;
        auto found = slotsOf_.find(rows.text(nameIndex));  // the layout's text form
        if (found == slotsOf_.end()) return;
        double number = readValue(rows);
        state_.ValueColumns[r] = found->second.front();
        for (int k : found->second) {
            state_.NumericValues(r, static_cast<std::size_t>(k)) = number;
            if (nulls_) state_.NumericNulls(r, static_cast<std::size_t>(k)) = 0;
        }
    }
}

void SortedWalker::readTexts(data::Recordset& rows, std::size_t r) {
    for (std::size_t j = 1; j <= texts_.size(); ++j) {
        int index = texts_[j - 1].index(rows);
        if (rows.isNull(index)) {
            // With nulls the cell stays empty, which the text column writes blank.
            if (++state_.StringNullCounts[j] == 1 && !nulls_) ui_.showWarning(nullTextMessage(texts_[j - 1].name()));
            if (!nulls_) state_.StringValues.set(r, j, "Unknown");
        } else if (rows.kind(index) == data::Recordset::Kind::Text) {
            state_.StringValues.set(r, j, rows.textView(index));
        } else {
            state_.StringValues.set(r, j, rows.text(index));
        }
    }
}

}  // namespace

std::size_t DefineAttributes(RunState& state, UserInterface& ui) {
    data::Recordset& rows = *state.SampleRecords;
    std::size_t walked = 0;
    if (state.ShapeType == kParameterMode) {
        if (rows.eof())
            stopForNoSamples(ui, state);
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

void walkSortedRows(RunState& state, UserInterface& ui, data::Connection& db) {
    SortedWalker(state, ui).walk(db);
}

}  // namespace pontrel
