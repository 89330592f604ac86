#pragma once
// The run state: every value that one conversion carries from the wizard's steps through sample
// extraction to the shapefile, under one name each. One object lives for the whole program and
// is passed by reference to whoever reads or writes it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "source/Connection.h"
#include "common/DayCount.h"
#include "engine/AttributeTable.h"
#include "engine/OutputSettings.h"

namespace pontrel {

inline constexpr const char* kParameterMode = "Parameter";
inline constexpr const char* kDayMode = "Day";
inline constexpr const char* kMilitary = "Military";
inline constexpr const char* kNormal = "Normal";

struct RunState {
    // Wizard selections and output options.
    std::string ShapeType;  // "Parameter" or "Day"
    std::string DataSourceFile;
    std::string ConnectionFile;
    std::string SelectedParameter;
    data::Date SelectedDay = 0;
    std::string ShapeFolder;
    std::string ShapeFileName;
    std::string CoordinatesType;  // "Military" or "Normal"
    OutputSettings Settings;      // read when the conversion starts

    // Database objects.
    std::shared_ptr<data::Connection> DBConnection;
    std::string ParamsQuery;
    std::shared_ptr<data::Recordset> ParamsRecords;
    std::string SamplesQuery;
    std::shared_ptr<data::Recordset> SamplesRecords;
    std::string SelectQuery;
    std::shared_ptr<data::Recordset> SampleRecords;
    std::string CountQuery;
    std::shared_ptr<data::Recordset> CountRecords;

    // Attribute layout; slot 0 of every list stays empty.
    std::size_t TotalRecords = 0;
    std::vector<std::string> NumericAttributes;
    std::vector<std::string> NumericAttributeFields;
    int NumericAttributeCount = 0;
    std::vector<std::string> StringAttributes;
    int StringAttributeCount = 0;
    std::vector<std::string> DateAttributes;
    int DateAttributeCount = 0;
    int ParameterSlot = 0;

    // Value arrays, rows 1 to TotalRecords.
    std::vector<double> Longitudes;
    std::vector<double> Latitudes;
    Matrix<double> NumericValues;
    // With Missing=null: 1 where a numeric cell has no value (no hour, a parameter the row did
    // not measure). Empty otherwise, when such cells hold the placeholders -1 and 0.
    Matrix<std::uint8_t> NumericNulls;
    TextMatrix StringValues;
    Matrix<data::Date> DateValues;
    // Day mode, as read: the first numeric column of each row's parameter (its value stands in
    // every column of that name), 0 for a row without one. The visits layout folds rows by it;
    // empty in Parameter mode and once rows have been folded.
    std::vector<std::int32_t> ValueColumns;

    // Counters of the row walk.
    std::size_t HourlessSamples = 0;
    std::vector<std::size_t> StringNullCounts;

    // Dialog results and the close confirmation (6 Yes, 7 No).
    std::string BrowseFileResult;
    std::string BrowseFolderResult;
    std::optional<int> CloseAnswer;
};

// The connection string the program opens a database file with.
std::string connectionStringFor(const std::string& file);

// Replaces DBConnection with a new connection on DataSourceFile (ConnectionFile takes its value
// first). The previous connection object is dropped, not closed.
void openConnection(RunState& state);

}  // namespace pontrel
