#pragma once
// Builds small Vessamo-shaped SQLite databases for tests: Params, Samples and Kelvash_Query (as
// a table, with the query's columns), either from rows given as values (VessamoFixture) or from
// the SQL a test writes (makeFixtureDatabase). Each database is written in one transaction.

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "jet/JetSql.h"
#include "sqlite/Sqlite.h"

namespace pontrel::testing {

using Cell = std::variant<std::monostate, std::int64_t, double, std::string>;

inline std::string sqlLiteral(const Cell& cell) {
    if (std::holds_alternative<std::monostate>(cell)) return "NULL";
    if (auto* n = std::get_if<std::int64_t>(&cell)) return std::to_string(*n);
    if (auto* d = std::get_if<double>(&cell)) {
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "%.17g", *d);
        return buffer;
    }
    return data::sqlQuote(std::get<std::string>(cell));
}

// A private folder removed with everything in it at the end of the test.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pontrel-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The Vessamo tables; two Kelvash_Query columns may be declared otherwise, as some sources do.
inline std::string vessamoSchema(const std::string& parameterNameType = "TEXT",
                                 const std::string& sampleDateType = "DATETIME") {
    return "CREATE TABLE Params (ParamID INTEGER PRIMARY KEY, ParameterName TEXT, ParameterCode TEXT);"
           "CREATE TABLE Samples (SampleID INTEGER PRIMARY KEY, SampleDate DATETIME, SampleHour REAL);"
           "CREATE TABLE Kelvash_Query (ParameterName " + parameterNameType +
           ", ParameterCode TEXT, SampleDate " + sampleDateType +
           ", SampleHour REAL, Value REAL, Latitude REAL, Longitude REAL, MilitaryLatitude REAL,"
           " MilitaryLongitude REAL, CurrentName TEXT, Name TEXT, TidalSituation TEXT);";
}

// A database of the Vessamo tables filled by the test's own SQL.
inline void makeFixtureDatabase(const std::string& path, const std::string& sql) {
    data::SqliteDatabase db(path, data::SqliteDatabase::Mode::ReadWriteCreate);
    db.exec("BEGIN;" + vessamoSchema() + sql + ";COMMIT;");
}

// Three samples of temperature (code T) on two days and one of salinity (code SAL): the second
// temperature row has no hour, the salinity row no tidal situation.
// What the conversion says of samples without an hour.
inline const std::string kHourMessage =
    "Some samples haven't an hour defined. Time of these samples will be considered = -1";

inline constexpr const char* kTejoSamples = R"(
INSERT INTO Params VALUES (1, 'Temperatura', 'T'), (2, 'Salinidade', 'SAL');
INSERT INTO Samples VALUES (1, '2023-01-02', 9.5), (2, '2023-01-02', NULL), (3, '2023-01-09 10:30', 11);
INSERT INTO Kelvash_Query VALUES
  ('Temperatura', 'T', '2023-01-02', 9.5, 14.25, 38.70743, -9.1, 193100.5, 110000.25, 'TJ01', 'Cais do Sodré', 'Preia-mar'),
  ('Temperatura', 'T', '2023-01-02', NULL, 15, 38.65, -9.05, 188000, 114000, 'TJ02', 'Barreiro', 'Vazante'),
  ('Salinidade', 'SAL', '2023-01-02', 10, 31.5, 38.65, -9.05, 188000, 114000, 'TJ02', 'Barreiro', NULL),
  ('Temperatura', 'T', '2023-01-09', 11, 16.5, 38.7, -9.2, 192000, 105000, 'TJ03', 'Seixal', 'Enchente');
)";

struct QueryRow {
    Cell ParameterName = std::string("Temperatura");
    Cell ParameterCode = std::string("T");
    Cell SampleDate = std::string("2001-03-07");
    Cell SampleHour = 10.5;
    Cell Value = 12.25;
    Cell Latitude = 38.70743;
    Cell Longitude = -9.13561;
    Cell MilitaryLatitude = 193007.5;
    Cell MilitaryLongitude = 89652.25;
    Cell CurrentName = std::string("TJ01");
    Cell Name = std::string("Cais do Sodré");
    Cell TidalSituation = std::string("Enchente");
};

class VessamoFixture {
public:
    std::vector<Cell> params;       // ParameterName of each Params row
    std::vector<Cell> sampleDates;  // SampleDate of each Samples row
    std::vector<QueryRow> rows;     // Kelvash_Query
    // Declared types of two Kelvash_Query columns, for sources that declare them otherwise.
    std::string parameterNameType = "TEXT";
    std::string sampleDateType = "DATE";

    // Writes the database and returns its path.
    std::string write(const std::string& name = "vessamo.sqlite") {
        std::string path = folder.file(name);
        std::filesystem::remove(path);
        data::SqliteDatabase db(path, data::SqliteDatabase::Mode::ReadWriteCreate);
        std::string sql = "BEGIN;" + vessamoSchema(parameterNameType, sampleDateType);
        for (const Cell& p : params) sql += "INSERT INTO Params (ParameterName) VALUES (" + sqlLiteral(p) + ");";
        for (const Cell& d : sampleDates) sql += "INSERT INTO Samples (SampleDate) VALUES (" + sqlLiteral(d) + ");";
        db.exec(sql);
        data::SqliteStatement insert = db.prepare("INSERT INTO Kelvash_Query VALUES (?,?,?,?,?,?,?,?,?,?,?,?)");
        for (const QueryRow& r : rows) {
            const Cell* cells[] = {&r.ParameterName, &r.ParameterCode, &r.SampleDate, &r.SampleHour,
                                   &r.Value, &r.Latitude, &r.Longitude, &r.MilitaryLatitude,
                                   &r.MilitaryLongitude, &r.CurrentName, &r.Name, &r.TidalSituation};
            for (int i = 0; i < 12; ++i) bind(insert, i + 1, *cells[i]);
            insert.step();
            insert.reset();
        }
        db.exec("COMMIT");
        return path;
    }

    TempFolder folder;

private:
    static void bind(data::SqliteStatement& stmt, int index, const Cell& cell) {
        if (std::holds_alternative<std::monostate>(cell)) stmt.bindNull(index);
        else if (auto* n = std::get_if<std::int64_t>(&cell)) stmt.bindInt(index, *n);
        else if (auto* d = std::get_if<double>(&cell)) stmt.bindDouble(index, *d);
        else stmt.bindText(index, std::get<std::string>(cell));
    }
};

}  // namespace pontrel::testing
