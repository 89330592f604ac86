#include "MdbSampleSink.h"

#include "mdb/JetWriter.h"

namespace pontrel::tools {

namespace {

class MdbSampleSink : public SampleSink {
public:
    explicit MdbSampleSink(const std::string& path) : writer_(path) {}

    void beginTable(const std::string& name, const std::vector<ColumnDefinition>& columns) override {
        writer_.beginTable(name, columns);
    }
    void addRow(const std::vector<Cell>& row) override { writer_.addRow(row); }
    void endTable() override { writer_.endTable(); }
    void addQuery(const QueryDefinition& query) override { writer_.addQuery(query); }
    void finish() override { writer_.finish(); }

private:
    jet::JetWriter writer_;
};

}  // namespace

std::unique_ptr<SampleSink> makeMdbSampleSink(const std::string& path) {
    return std::make_unique<MdbSampleSink>(path);
}

}  // namespace pontrel::tools
