#pragma once
// One record that ShapeFiles::WriteRecords has its filler write, possibly on another thread, and
// the cache of recent values that lets a repeated value be copied rather than formatted again.
// The block writer owns the Record objects (one per block in flight) and the bytes they write
// into; the layout they follow is the ShapeFiles object's, fixed once WriteFieldLayout ran.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "shapefile/FieldList.h"

namespace pontrel::shapefile {

// Where a column's cells lie in a .dbf record and how they are written.
struct ColumnFormat {
    const Field* field;
    std::size_t offset;  // in the .dbf record
    NumericLayout layout;
    int type;
};

// The shape of every record of one shapefile: its columns by position.
struct RecordLayout {
    std::string shapefile;  // the .shp path, as messages name it
    std::vector<ColumnFormat> columns;
    std::size_t length = 0;  // bytes of a .dbf record
};

// Fails, naming the row and the shapefile, unless both coordinates are finite.
void checkPoint(const std::string& shapefile, double x, double y, std::size_t row);

// The point and the value of every column of one record, columns given by their position in the
// field list, each column at most once. A column left unset is blank (null). The failures are
// those of the field's SetFieldValue and of AddPoint. Each Record remembers where in its block it
// wrote a column's recent values, so a value met again in the same column is copied rather than
// formatted again.
class Record {
public:
    explicit Record(const RecordLayout& layout);
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;

    // The record's row in the shapefile, counted from 1.
    std::size_t row() const { return row_; }
    void setPoint(double x, double y);
    // The numeric columns first .. first + count - 1 take values[0 .. count); where `nulls` is
    // given, a column whose nulls[i] is not 0 is left blank.
    void setNumbers(std::size_t first, const double* values, const std::uint8_t* nulls,
                    std::size_t count);
    // A text or date column, its value kept under `key`, which the caller gives to each distinct
    // value of the column: repeat() writes the value kept under that key earlier in this block,
    // if it is still remembered, and is false otherwise.
    bool repeat(std::size_t column, std::uint64_t key);
    void setText(std::size_t column, std::string_view text, std::uint64_t key);
    void setDate(std::size_t column, CalendarDate date, std::uint64_t key);

    // For the block writer: a new block, whose values of the one before may be overwritten.
    void forget();
    // For the block writer: the next record, row `row`, written at `dbf`.
    void start(std::size_t row, char* dbf);
    bool hasPoint() const { return pointSet_; }
    double x() const { return x_; }
    double y() const { return y_; }

private:
    std::size_t place(std::size_t column, std::uint64_t key) const;
    bool repeatCell(std::size_t column, std::uint64_t key);
    void keep(std::size_t column, std::uint64_t key);
    void setNumber(std::size_t column, double value, bool null);
    const ColumnFormat& checkedColumn(std::size_t column, int type, const char* operation) const;

    const RecordLayout& layout_;
    std::size_t row_ = 0;
    char* dbf_ = nullptr;  // this record's bytes, the deletion flag first
    bool pointSet_ = false;
    double x_ = 0, y_ = 0;
    // Recent values of the current block: each column has 2^n places, a value's key choosing
    // one, which holds the key and where the value's bytes are (or null).
    std::vector<std::size_t> firstPlace_;
    std::vector<unsigned> placeBits_;
    std::vector<std::uint64_t> lastKey_;
    std::vector<const char*> lastAt_;
    // The numbers that setNumbers last wrote, and to which record of the current block (null
    // when none): a run of the same values in the same columns is copied from there at once.
    const char* numbersAt_ = nullptr;
    std::size_t numbersFirst_ = 0;
    std::vector<double> numbers_;
    std::vector<std::uint8_t> numberNulls_;  // 1 for a blank cell, when numbersHadNull_
    bool numbersHadNull_ = false;
};

}  // namespace pontrel::shapefile
