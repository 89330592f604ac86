#include "forms/StepLists.h"

#include "sqlite/DatabaseError.h"

namespace pontrel::forms {

namespace {

data::Date sampleDate(const data::Recordset& rows, int index) {
    switch (rows.kind(index)) {
        case data::Recordset::Kind::Integer: return static_cast<data::Date>(rows.integer(index));
        case data::Recordset::Kind::Real: return rows.real(index);
        case data::Recordset::Kind::Text:
            if (auto date = data::parseIsoDate(rows.textView(index))) return *date;
            break;
        default: break;
    }
    throw data::DatabaseError("The field 'SampleDate' of the table Samples holds '" +
                              rows.text(index) + "', which is not a date");
}

}  // namespace

std::vector<std::string> readParameterNames(RunState& state) {
    openConnection(state);
    state.ParamsQuery = kParamsQuery;
    state.ParamsRecords = state.DBConnection->execute(state.ParamsQuery);
    data::Recordset& rows = *state.ParamsRecords;
    std::vector<std::string> names;
    const int name = rows.eof() ? -1 : rows.fieldIndex("ParameterName");
    while (!rows.eof()) {
        if (!rows.isNull(name)) names.push_back(rows.text(name));
        rows.moveNext();
    }
    return names;
}

std::vector<DayItem> readSampleDays(RunState& state,
                                    const std::function<std::string(data::Date)>& textOf) {
    openConnection(state);
    state.SamplesQuery = kSamplesQuery;
    state.SamplesRecords = state.DBConnection->execute(state.SamplesQuery);
    data::Recordset& rows = *state.SamplesRecords;
    std::vector<DayItem> days;
    std::string lastAdded;
    const int field = rows.eof() ? -1 : rows.fieldIndex("SampleDate");
    while (!rows.eof()) {
        if (!rows.isNull(field)) {
            const data::Date date = sampleDate(rows, field);
            std::string text = textOf(date);
            if (text != lastAdded) {
                lastAdded = text;
                days.push_back({std::move(text), date});
            }
        }
        rows.moveNext();
    }
    return days;
}

}  // namespace pontrel::forms
