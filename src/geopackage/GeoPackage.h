#pragma once
// A GeoPackage of one point layer, written through GDAL's OGR C API: the only code that calls
// GDAL, which it loads when the first GeoPackage is written. The layer's columns are declared up front; rows are then set column by column and written
// in one transaction. The file is made under a temporary name in the destination folder and
// takes its final name in close(), with the lock, the clean-up of leftovers and the
// all-or-nothing commit of shapefile sets (shapefile/output/). The object owns the GDAL dataset,
// the feature it reuses for every row and the file until it is renamed; destroyed before close(),
// it removes the file, and a GeoPackage that already had the name is left as it was.

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace pontrel::geopackage {

// The file cannot be written; the message names it and GDAL's or the system's reason.
class GeoPackageError : public std::runtime_error {
public:
    explicit GeoPackageError(const std::string& message) : std::runtime_error(message) {}
};

enum class ColumnType { Real, Text, Date, DateTime };

struct Column {
    std::string name;
    ColumnType type = ColumnType::Real;
    // What gpkg_data_columns says of it (title, description); empty: no entry.
    std::string title;
    std::string description;
};

// A date, or a date and time of day (seconds with their fraction, to the millisecond).
struct CalendarTime {
    int year = 0, month = 1, day = 1;
    int hour = 0, minute = 0;
    double second = 0;
};

class GeoPackage {
public:
    // Starts the GeoPackage `path` (ending in .gpkg) with the point layer `layer`, its columns
    // and the coordinate system `crsDefinition` (a code, a WKT or a PROJ string; empty: an
    // undefined one). Checks first that the folder can be written to and that the name is not a
    // folder's or a read-only file's, and removes what killed runs left in the folder.
    GeoPackage(const std::string& path, const std::string& layer, const std::string& crsDefinition,
               const std::vector<Column>& columns, const std::string& layerDescription);
    ~GeoPackage();
    GeoPackage(const GeoPackage&) = delete;
    GeoPackage& operator=(const GeoPackage&) = delete;

    // The pending row. Every column starts null; a column keeps what the previous row set until
    // it is set again, so each row sets all of them.
    void setPoint(double x, double y);
    void setReal(std::size_t column, double value);
    void setText(std::size_t column, const std::string& text);
    void setDate(std::size_t column, const CalendarTime& date);
    void setDateTime(std::size_t column, const CalendarTime& time);
    void setNull(std::size_t column);
    // Writes the pending row as the next feature.
    void writeRow();
    // Ends the transaction, writes the columns' descriptions, closes the file and gives it its
    // final name, replacing an existing GeoPackage of that name.
    void close();

    std::size_t rows() const { return rows_; }

private:
    struct State;
    [[noreturn]] void fail(const std::string& what) const;
    void describeColumns(const std::vector<Column>& columns);

    std::string path_;
    std::string layerName_;
    std::vector<Column> described_;
    std::size_t rows_ = 0;
    std::unique_ptr<State> state_;
};

}  // namespace pontrel::geopackage
