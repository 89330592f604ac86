#pragma once
// The columns of a shapefile's attribute table: each Field with its type, width and .dbf name, and
// the FieldList that defines them in order and finds them by name. A Field also takes the value
// of the pending record that ShapeFiles::WriteRecord writes. The ShapeFiles object owns its field
// list, which owns the fields; both live as long as it does.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "shapefile/DbfFieldNames.h"
#include "shapefile/FieldFormats.h"

namespace pontrel::shapefile {

// The field type codes AddField takes.
inline constexpr int kNumericField = 7;
inline constexpr int kDateField = 8;
inline constexpr int kTextField = 10;

inline constexpr int kDefaultTextWidth = 50;

struct CalendarDate {
    int year = 1899;
    int month = 12;
    int day = 30;
};

class ShapeFiles;

// One column. Its value is set for the pending record, which WriteRecord writes and clears.
class Field {
public:
    Field(const Field&) = delete;
    Field& operator=(const Field&) = delete;

    const std::string& name() const { return name_; }        // as given to AddField
    const std::string& dbfName() const { return dbfName_; }  // as stored in the .dbf
    int type() const { return type_; }
    int width() const { return layout_.width; }
    int decimals() const { return layout_.decimals; }

    // Numeric columns take numbers, text columns texts, date columns dates. A number that the
    // column cannot write exactly, a date outside the years 1 to 9999 or a value of the wrong kind
    // is a ShapeFileError naming the column and the row. Texts longer than the column are cut at a
    // UTF-8 character boundary.
    void SetFieldValue(double value);
    void SetFieldValue(std::string_view text);
    void SetFieldValue(CalendarDate date);
    // Leaves the column blank, which readers take as no value (null).
    void SetFieldNull();

private:
    friend class ShapeFiles;
    friend class FieldList;
    Field(ShapeFiles& owner, std::string name, std::string dbfName, int type, NumericLayout layout,
          std::size_t offset)
        : owner_(owner),
          name_(std::move(name)),
          dbfName_(std::move(dbfName)),
          type_(type),
          layout_(layout),
          offset_(offset) {}
    char* cell() const;  // in the pending record

    ShapeFiles& owner_;
    std::string name_;
    std::string dbfName_;
    int type_;
    NumericLayout layout_;
    std::size_t offset_;       // in the .dbf record
    bool assigned_ = false;    // has a value in the pending record
    bool uniqueName_ = true;
};

class FieldList {
public:
    explicit FieldList(ShapeFiles& owner) : owner_(owner) {}
    FieldList(const FieldList&) = delete;
    FieldList& operator=(const FieldList&) = delete;

    // Appends a column: type 7 numeric (width 0 leaves the size to the component), 10 text (width
    // in bytes, 0 for 50), 8 date. Only before WriteFieldLayout.
    Field& AddField(const std::string& name, int type, int width, int decimals);
    // The column of that full name. Where several columns share the name, the first of them that
    // has no value yet in the pending record, so that setting a value through the name once per
    // column gives each column its own value.
    Field& FieldByName(const std::string& name);

    std::size_t size() const { return fields_.size(); }
    Field& operator[](std::size_t index) { return *fields_[index]; }
    const Field& operator[](std::size_t index) const { return *fields_[index]; }
    // Bytes of a .dbf record: the deletion flag, then the fields.
    std::size_t recordLength() const { return recordLength_; }

private:
    friend class ShapeFiles;
    // The pending record was written: every column is free for the next.
    void clearAssigned();

    ShapeFiles& owner_;
    std::vector<std::unique_ptr<Field>> fields_;
    std::unordered_map<std::string, std::vector<std::size_t>> byName_;
    DbfFieldNames dbfNames_;
    std::size_t next_ = 0;  // columns are usually looked up in order: try this one first
    std::size_t recordLength_ = 1;
};

// Why a column refuses a value, as the messages of Field and Record both say it.
std::string kindOf(int type);  // "numbers", "dates" or "texts"
std::string numberRefusal(double value, NumericLayout layout);
std::string dateRefusal(CalendarDate date);
// The failure for a value the column `field` of the shapefile at `shapefile` cannot hold in `row`.
[[noreturn]] void failValue(const std::string& shapefile, const Field& field, const std::string& what,
                            std::size_t row);

}  // namespace pontrel::shapefile
