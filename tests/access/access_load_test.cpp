// Copying Access tables into SQLite: a key column that a query joins by becomes the table's
// rowid only when its values rise from row to row, and every table keeps exactly its rows, their
// values, their types and their order either way, however many statements its rows take.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "access/AccessLoader.h"
#include "source/HelperProcess.h"
#include "sqlite/Sqlite.h"
#include "mdb/JetWriter.h"
#include "SqlRows.h"
#include "TestSupport.h"

using namespace pontrel::data;
using pontrel::tools::Cell;
using pontrel::tools::ColumnDefinition;
using pontrel::tools::ColumnType;
using pontrel::tools::QueryDefinition;

using pontrel::testing::rowsOf;

namespace {

std::string cellText(const Cell& cell) {
    if (const auto* n = std::get_if<std::int64_t>(&cell)) return std::to_string(*n);
    return "NULL";
}

// Parents(ParentID, Label), Children(ChildID, ParentID, Amount) with `perParent` children for
// each parent in turn, and the query Family joining them by ParentID.
struct Family {
    std::vector<Cell> keys;
    int perParent = 2;
    int joinType = 1;  // 1 INNER, 2 LEFT

    std::string write(const std::string& path) const {
        pontrel::tools::jet::JetWriter writer(path);
        writer.beginTable("Parents", {ColumnDefinition{"ParentID", ColumnType::Long},
                                      ColumnDefinition{"Label", ColumnType::Text, 50}});
        for (std::size_t i = 0; i < keys.size(); ++i) writer.addRow({keys[i], "p" + std::to_string(i)});
        writer.endTable();
        writer.beginTable("Children", {ColumnDefinition{"ChildID", ColumnType::Long},
                                       ColumnDefinition{"ParentID", ColumnType::Long},
                                       ColumnDefinition{"Amount", ColumnType::Double}});
        std::int64_t child = 0;
        for (const Cell& key : keys)
            for (int c = 0; c < perParent; ++c, ++child)
                writer.addRow({std::int64_t{1000000} - child, key, static_cast<double>(child) / 4});
        writer.endTable();
        QueryDefinition query;
        query.name = "Family";
        query.sources = {{"Parents", ""}, {"Children", ""}};
        query.joins = {{"Parents", "Children", joinType, "Parents.ParentID = Children.ParentID"}};
        query.columns = {{"Parents.Label", ""}, {"Children.ChildID", ""}, {"Children.Amount", ""}};
        writer.addQuery(query);
        writer.finish();
        return path;
    }
};

class AccessLoad : public ::testing::Test {
protected:
    // Loads the query Family from a file holding `family` into a fresh SQLite file.
    std::unique_ptr<SqliteDatabase> load(const Family& family) {
        std::string mdb = family.write(folder_.path() + "/family" + std::to_string(++files_) + ".mdb");
        AccessLoader loader(mdb);
        auto out = std::make_unique<SqliteDatabase>(folder_.path() + "/out" + std::to_string(files_) + ".sqlite",
                                                    SqliteDatabase::Mode::ReadWriteCreate);
        AccessLoader::prepareOutput(*out);
        EXPECT_TRUE(loader.load("Family", *out));
        return out;
    }
    ScratchFolder folder_;
    int files_ = 0;
};

TEST_F(AccessLoad, AKeyBecomesTheRowidOnlyWhenItRisesFromRowToRowAndTheTablesStayAsStored) {
    const Cell null;
    struct Case {
        const char* what;
        std::vector<Cell> keys;
        bool rowid;
    };
    using K = std::int64_t;
    const std::vector<Case> cases = {
        {"rising with gaps", {K{1}, K{5}, K{6}, K{100}}, true},
        {"rising through zero", {K{-7}, K{-1}, K{0}, K{3}}, true},
        {"a single row", {K{42}}, true},
        {"a repeated key", {K{1}, K{2}, K{2}, K{3}}, false},
        {"a key out of order", {K{1}, K{3}, K{2}, K{4}}, false},
        {"the last key smallest", {K{10}, K{20}, K{30}, K{5}}, false},
        {"a null key", {K{1}, null, K{3}}, false},
        {"a null first key", {null, K{1}, K{2}}, false},
        {"falling", {K{9}, K{8}, K{7}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Family family{c.keys};
        std::unique_ptr<SqliteDatabase> out = load(family);

        // The parents as stored, in the file's order, each value with its type.
        std::vector<std::string> parents;
        for (std::size_t i = 0; i < c.keys.size(); ++i)
            parents.push_back(cellText(c.keys[i]) + "|p" + std::to_string(i) + "|" +
                              (std::holds_alternative<std::int64_t>(c.keys[i]) ? "integer" : "null"));
        EXPECT_EQ(rowsOf(*out, "SELECT ParentID, Label, typeof(ParentID) FROM Parents"), parents);
        EXPECT_EQ(rowsOf(*out, "SELECT type, pk FROM pragma_table_info('Parents') WHERE name = 'ParentID'"),
                  std::vector<std::string>{std::string("INTEGER|") + (c.rowid ? "1" : "0")});

        // Every child joined to every parent of its key, a null key to none.
        std::vector<std::string> joined;
        for (std::size_t p = 0; p < c.keys.size(); ++p)
            for (std::size_t q = 0; q < c.keys.size(); ++q) {
                if (!std::holds_alternative<std::int64_t>(c.keys[q]) || cellText(c.keys[q]) != cellText(c.keys[p]))
                    continue;
                for (int k = 0; k < family.perParent; ++k) {
                    int child = static_cast<int>(q) * family.perParent + k;
                    joined.push_back("p" + std::to_string(p) + "|" + std::to_string(1000000 - child) + "|" +
                                     std::to_string(child) + ".0");
                }
            }
        std::vector<std::string> got = rowsOf(*out, "SELECT Label, ChildID, Amount * 4 FROM Family");
        std::sort(got.begin(), got.end());
        std::sort(joined.begin(), joined.end());
        EXPECT_EQ(got, joined);
    }
}

TEST_F(AccessLoad, ManyRowsArriveWholeAndInOrderAcrossStatements) {
    // Several thousand children: many INSERT statements and a last one of fewer rows.
    Family family;
    for (std::int64_t k = 1; k <= 1501; ++k) family.keys.push_back(k * 3);
    family.perParent = 3;
    std::unique_ptr<SqliteDatabase> out = load(family);
    std::vector<std::string> children = rowsOf(*out, "SELECT ChildID, ParentID, Amount * 4 FROM Children");
    ASSERT_EQ(children.size(), 4503u);
    for (std::size_t i = 0; i < children.size(); ++i)
        ASSERT_EQ(children[i], std::to_string(1000000 - i) + "|" + std::to_string((i / 3 + 1) * 3) + "|" +
                                   std::to_string(i) + ".0")
            << "row " << i;
    EXPECT_EQ(rowsOf(*out, "SELECT count(*), min(rowid) = 1, max(rowid) FROM Children"),
              std::vector<std::string>{"4503|1|4503"});
    EXPECT_EQ(rowsOf(*out, "SELECT count(*) FROM Family"), std::vector<std::string>{"4503"});
}

TEST_F(AccessLoad, LongMemosBetweenShortRowsArriveWholeAndInOrder) {
    // Some rows of about a megabyte, then short ones, then long ones again: batches end by their
    // bytes as well as by their rows, and their memory is used again for shorter values.
    std::string mdb = folder_.path() + "/memos.mdb";
    std::vector<std::string> notes;
    for (int i = 0; i < 40; ++i) {
        bool longOne = i < 9 || (i >= 30 && i < 36);
        notes.push_back(std::string(longOne ? 900000 + i : 10 + i, static_cast<char>('a' + i % 26)));
    }
    {
        pontrel::tools::jet::JetWriter writer(mdb);
        writer.beginTable("Notes", {ColumnDefinition{"NoteID", ColumnType::Long},
                                    ColumnDefinition{"Body", ColumnType::Memo}});
        for (std::size_t i = 0; i < notes.size(); ++i) writer.addRow({static_cast<std::int64_t>(i), notes[i]});
        writer.endTable();
        writer.finish();
    }
    AccessLoader loader(mdb);
    SqliteDatabase out(folder_.path() + "/memos.sqlite", SqliteDatabase::Mode::ReadWriteCreate);
    AccessLoader::prepareOutput(out);
    ASSERT_TRUE(loader.load("Notes", out));
    SqliteStatement read = out.prepare("SELECT NoteID, Body FROM Notes");
    std::size_t row = 0;
    for (; read.step(); ++row) {
        ASSERT_LT(row, notes.size());
        EXPECT_EQ(read.columnInt(0), static_cast<std::int64_t>(row));
        EXPECT_TRUE(read.columnText(1) == notes[row]) << "row " << row;
    }
    EXPECT_EQ(row, notes.size());
}

TEST_F(AccessLoad, EveryJoinFindsItsRowsWithoutATemporaryIndex) {
    // An inner join by a rowid key looks the parent up by its rowid; a left join, which must
    // read the parents first, still has an index on the children's column to find them by.
    for (int joinType : {1, 2}) {
        SCOPED_TRACE(joinType);
        Family family{{std::int64_t{1}, std::int64_t{2}, std::int64_t{3}}};
        family.joinType = joinType;
        std::unique_ptr<SqliteDatabase> out = load(family);
        std::string plan;
        for (const std::string& step : rowsOf(*out, "EXPLAIN QUERY PLAN SELECT * FROM Family")) plan += step + "\n";
        EXPECT_EQ(plan.find("AUTOMATIC"), std::string::npos) << plan;
        if (joinType == 1) EXPECT_NE(plan.find("SEARCH Parents USING INTEGER PRIMARY KEY"), std::string::npos) << plan;
        else EXPECT_NE(plan.find("SEARCH Children USING INDEX"), std::string::npos) << plan;
    }
}

// A Vessamo database of one sample whose Kelvash_Query reads the stations from the table
// `stations` and the samples from `samples`: the table Samples, or a saved query of that name
// over it; or, given `kelvashUnion`, whose Kelvash_Query is a union of those SELECTs.
void writeVessamo(const std::string& mdb, const std::string& stations = "Stations",
                  const std::string& samples = "Samples", const std::vector<std::string>& kelvashUnion = {}) {
    using C = ColumnDefinition;
    const pontrel::tools::DateTimeValue day{36957.4375};  // 7 March 2001 10:30
    pontrel::tools::jet::JetWriter writer(mdb);
    writer.beginTable(stations, {C{"StationID", ColumnType::Long}, C{"Name", ColumnType::Text, 50},
                                 C{"CurrentName", ColumnType::Text, 50}, C{"Latitude", ColumnType::Double},
                                 C{"Longitude", ColumnType::Double}, C{"MilitaryLatitude", ColumnType::Double},
                                 C{"MilitaryLongitude", ColumnType::Double}});
    writer.addRow({std::int64_t{1}, "Cais", "TJ01", 38.7, -9.1, 193007.5, 89652.25});
    writer.endTable();
    writer.beginTable("Samples", {C{"SampleID", ColumnType::Long}, C{"StationID", ColumnType::Long},
                                  C{"SampleDate", ColumnType::DateTime}, C{"SampleHour", ColumnType::Double},
                                  C{"TidalSituation", ColumnType::Text, 20}});
    writer.addRow({std::int64_t{1}, std::int64_t{1}, day, 10.5, "Enchente"});
    writer.endTable();
    writer.beginTable("Params", {C{"ParamID", ColumnType::Long}, C{"ParameterName", ColumnType::Text, 50},
                                 C{"ParameterCode", ColumnType::Text, 10}, C{"SampleDate", ColumnType::DateTime}});
    writer.addRow({std::int64_t{1}, "Temperatura", "T", pontrel::tools::DateTimeValue{1}});
    writer.endTable();
    writer.beginTable("SampleValues", {C{"SampleID", ColumnType::Long}, C{"ParamID", ColumnType::Long},
                                       C{"Value", ColumnType::Single}});
    writer.addRow({std::int64_t{1}, std::int64_t{1}, 0.2});
    writer.endTable();
    if (samples != "Samples") {
        QueryDefinition visits;
        visits.name = samples;
        visits.sources = {{"Samples", ""}};
        for (const char* column : {"SampleID", "StationID", "SampleDate", "SampleHour", "TidalSituation"})
            visits.columns.push_back({std::string("Samples.") + column, ""});
        writer.addQuery(visits);
    }
    QueryDefinition query;
    query.name = "Kelvash_Query";
    query.unionOf = kelvashUnion;
    query.sources = {{"SampleValues", ""}, {samples, ""}, {"Params", ""}, {stations, ""}};
    query.joins = {{samples, "SampleValues", 1, samples + ".SampleID = SampleValues.SampleID"},
                   {"Params", "SampleValues", 1, "Params.ParamID = SampleValues.ParamID"},
                   {stations, samples, 1, stations + ".StationID = " + samples + ".StationID"}};
    for (std::string column : {"Params.ParameterName", "Params.ParameterCode", "Samples.SampleDate",
                               "Samples.SampleHour", "SampleValues.Value", "Stations.Latitude",
                               "Stations.Longitude", "Stations.MilitaryLatitude", "Stations.MilitaryLongitude",
                               "Stations.CurrentName", "Stations.Name", "Samples.TidalSituation"}) {
        if (column.rfind("Samples.", 0) == 0) column = samples + column.substr(7);
        if (column.rfind("Stations.", 0) == 0) column = stations + column.substr(8);
        query.columns.push_back({column, ""});
    }
    writer.addQuery(query);
    writer.finish();
}

pontrel::testing::ProcessResult convertDay(const std::string& mdb, const std::string& out) {
    std::filesystem::create_directory(out);
    return pontrel::testing::withoutConverterMarks(pontrel::testing::runProcess(
        {std::string(PONTREL_BIN_DIR) + "/pontrel-convert", mdb, "--day", "2001-03-07", "--folder", out, "--name",
         "day", "--values", "exact"}));
}

TEST_F(AccessLoad, AKelvashQueryOfNestedJoinsWithASharedColumnNameConverts) {
    // Params shares SampleDate with Samples, which Access's nesting puts on the right of Params'
    // join: SQLite alone would name the view's column "SampleDate:1". Value is a Single, as
    // measured values often are; 0.2 stored as a float is read as 0.2.
    std::string mdb = folder_.path() + "/vessamo.mdb";
    writeVessamo(mdb);
    pontrel::testing::ProcessResult run = convertDay(mdb, folder_.path() + "/out");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    pontrel::testing::OgrLayer layer = pontrel::testing::readWithOgrinfo(folder_.path() + "/out/day.shp");
    ASSERT_EQ(layer.featureCount, 1);
    // Exact values keep their decimals, at least two: the float's nearest double would have
    // given 0.200000002980232.
    EXPECT_EQ(layer.features[0].values.at("Param_T"), "0.20");
    EXPECT_EQ(layer.features[0].values.at("Name"), "Cais");
}

TEST_F(AccessLoad, TablesAndQueriesNamedLikeSQLitesOwnConvert) {
    // Access allows names beginning with "sqlite_", which SQLite keeps for itself.
    std::string mdb = folder_.path() + "/names.mdb";
    writeVessamo(mdb, "sqlite_Stations", "SQLITE_Visits");
    pontrel::testing::ProcessResult run = convertDay(mdb, folder_.path() + "/out");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    pontrel::testing::OgrLayer layer = pontrel::testing::readWithOgrinfo(folder_.path() + "/out/day.shp");
    ASSERT_EQ(layer.featureCount, 1);
    EXPECT_EQ(layer.features[0].values.at("Name"), "Cais");
    // A message about such a name gives it as the user wrote it.
    writeVessamo(mdb, "sqlite_Stations", "Samples",
                 {"SELECT sqlite_Stations.Name FROM sqlite_Stations AS s", "SELECT Name FROM sqlite_Stations"});
    run = convertDay(mdb, folder_.path() + "/out");
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.err, "The query 'Kelvash_Query' names 'sqlite_Stations.Name', but it reads nothing called "
                       "'sqlite_Stations' (Access would ask for its value)\n");
}

TEST_F(AccessLoad, AUnionOfMoreSelectsThanCanBeReadIsRefusedInItsOwnWords) {
    std::string mdb = folder_.path() + "/union.mdb";
    writeVessamo(mdb, "Stations", "Samples", std::vector<std::string>(501, "SELECT SampleID FROM Samples"));
    pontrel::testing::ProcessResult run = convertDay(mdb, folder_.path() + "/out");
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.err, "The query 'Kelvash_Query' joins 501 SELECTs with UNION; at most 500 can be read\n");
}

}  // namespace
