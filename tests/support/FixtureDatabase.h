#pragma once
// Small hand-made Vessamo databases in SQLite for the driver and converter tests: the tables
// Params and Samples and the rows of Kelvash_Query (a table here, with the query's columns),
// filled by the SQL each test gives.

#include <string>

#include "sqlite/Sqlite.h"

namespace pontrel::testing {

inline constexpr const char* kFixtureSchema = R"(
CREATE TABLE Params (ParamID INTEGER, ParameterName TEXT, ParameterCode TEXT);
CREATE TABLE Samples (SampleID INTEGER, SampleDate DATETIME, SampleHour REAL);
CREATE TABLE Kelvash_Query (ParameterName TEXT, ParameterCode TEXT, SampleDate DATETIME,
  SampleHour REAL, Value REAL, Latitude REAL, Longitude REAL, MilitaryLatitude REAL,
  MilitaryLongitude REAL, CurrentName TEXT, Name TEXT, TidalSituation TEXT);
)";

inline void makeFixtureDatabase(const std::string& path, const std::string& sql) {
    data::SqliteDatabase db(path, data::SqliteDatabase::Mode::ReadWriteCreate);
    db.exec(kFixtureSchema);
    db.exec(sql);
}

// Three samples of temperature (code T) on two days and one of salinity (code SAL): the second
// temperature row has no hour, the salinity row no tidal situation.
inline constexpr const char* kTejoSamples = R"(
INSERT INTO Params VALUES (1, 'Temperatura', 'T'), (2, 'Salinidade', 'SAL');
INSERT INTO Samples VALUES (1, '2023-01-02', 9.5), (2, '2023-01-02', NULL), (3, '2023-01-09 10:30', 11);
INSERT INTO Kelvash_Query VALUES
  ('Temperatura', 'T', '2023-01-02', 9.5, 14.25, 38.70743, -9.1, 193100.5, 110000.25, 'TJ01', 'Cais do Sodré', 'Preia-mar'),
  ('Temperatura', 'T', '2023-01-02', NULL, 15, 38.65, -9.05, 188000, 114000, 'TJ02', 'Barreiro', 'Vazante'),
  ('Salinidade', 'SAL', '2023-01-02', 10, 31.5, 38.65, -9.05, 188000, 114000, 'TJ02', 'Barreiro', NULL),
  ('Temperatura', 'T', '2023-01-09', 11, 16.5, 38.7, -9.2, 192000, 105000, 'TJ03', 'Seixal', 'Enchente');
)";

}  // namespace pontrel::testing
