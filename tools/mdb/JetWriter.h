#pragma once
// Writes an Access 2000 (Jet 4) database: tables of Text, Memo, Long, Single, Double, Date/Time and
// Yes/No columns, streamed one row at a time in bounded memory, and saved SELECT queries. It
// writes the system catalog (MSysObjects, MSysQueries) that readers look for, and no indexes.
// The writer owns its file; the file is complete only after finish().

#include <memory>
#include <string>
#include <vector>

#include "SampleSink.h"

namespace pontrel::tools::jet {

class JetWriter {
public:
    // Creates (or empties) the file. Throws std::runtime_error when it cannot.
    explicit JetWriter(const std::string& path);
    ~JetWriter();
    JetWriter(const JetWriter&) = delete;
    JetWriter& operator=(const JetWriter&) = delete;

    // Tables are written one after the other; primary keys are not marked, as no index is
    // written. A Yes/No cell that is null is written as No: Jet
    // keeps a Yes/No value in the row's null mask, so it has no null. Values of the wrong kind,
    // texts longer than their column and rows larger than a page throw std::invalid_argument.
    void beginTable(const std::string& name, const std::vector<ColumnDefinition>& columns);
    void addRow(const std::vector<Cell>& row);
    void endTable();
    // A saved SELECT query over the tables; may come at any time before finish().
    void addQuery(const QueryDefinition& query);
    // Writes the catalog and the file header and closes the file.
    void finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace pontrel::tools::jet
