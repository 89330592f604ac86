#include "app/convert/Listings.h"

#include "sqlite/DatabaseError.h"
#include "source/SourceDatabase.h"

namespace pontrel::convert {

namespace {

void printLine(std::FILE* out, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), out);
    std::fputc('\n', out);
}

data::Date dateOf(const data::Recordset& rows, int index) {
    switch (rows.kind(index)) {
        case data::Recordset::Kind::Integer: return static_cast<double>(rows.integer(index));
        case data::Recordset::Kind::Real: return rows.real(index);
        case data::Recordset::Kind::Text:
            if (auto date = data::parseIsoDate(rows.textView(index))) return *date;
            break;
        default: break;
    }
    throw data::DatabaseError("The table Samples holds '" + rows.text(index) +
                              "' as a SampleDate, which is not a date");
}

}  // namespace

void listParameters(RunState& state, std::FILE* out) {
    openConnection(state);
    state.ParamsQuery = "Select * from Params ORDER BY ParameterName ";
    state.ParamsRecords = state.DBConnection->execute(state.ParamsQuery);
    data::Recordset& rows = *state.ParamsRecords;
    const int name = rows.fieldIndex("ParameterName");
    for (; !rows.eof(); rows.moveNext()) {
        if (rows.isNull(name))
            throw data::DatabaseError("A row of the table Params has no ParameterName");
        printLine(out, rows.text(name));
    }
}

void listDays(RunState& state, std::FILE* out) {
    openConnection(state);
    state.SamplesQuery = "Select * from Samples ORDER BY SampleDate";
    state.SamplesRecords = state.DBConnection->execute(state.SamplesQuery);
    data::Recordset& rows = *state.SamplesRecords;
    const int date = rows.fieldIndex("SampleDate");
    std::string last;
    for (; !rows.eof(); rows.moveNext()) {
        if (rows.isNull(date)) continue;
        std::string text = data::isoDateText(dateOf(rows, date));
        if (text == last) continue;
        printLine(out, text);
        last = std::move(text);
    }
}

void inspectDatabase(RunState& state, std::FILE* out) {
    openConnection(state);
    for (const data::CatalogEntry& entry : state.DBConnection->source().catalog()) {
        if (entry.kind == data::CatalogEntry::Kind::Table)
            printLine(out, "table\t" + entry.name + "\t" + std::to_string(entry.rows));
        else
            printLine(out, "query\t" + entry.name + "\t" + entry.sql);
    }
}

}  // namespace pontrel::convert
