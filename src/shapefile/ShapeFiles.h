#pragma once
// The shapefile component: writes one ESRI point shapefile (.shp and .shx of shape type 1, the
// .dbf attribute table, a .cpg reading UTF-8 and, when a coordinate system is given, a .prj)
// through the operations the composition calls:
// OpenNewShapeFile, the field list (AddField, FieldByName), WriteFieldLayout, then either record
// by record (the point list's AddPoint, SetFieldValue on a field, WriteRecord) or many records at
// once (WriteRecords, which formats them on several threads), and finally close(). The component
// owns its files: they are created afresh under unpredictable temporary names in the destination
// folder and take the final names together in close(), under a lock per shapefile name; destroyed
// before that, interrupted, or failing half way through the renames, it removes them, and any
// shapefile that already had those names is left as it was.

#include <cstddef>
#include <cstdint>
#include <functional>
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
// The largest size any file of the set may reach; readers take the offsets as signed 32-bit.
inline constexpr std::size_t kMaxFileBytes = 2147483647;

struct CalendarDate {
    int year = 1899;
    int month = 12;
    int day = 30;
};

class ShapeFiles;
class HookErrors;

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

private:
    friend class ShapeFiles;
    ShapeFiles& owner_;
    std::vector<std::unique_ptr<Field>> fields_;
    std::unordered_map<std::string, std::vector<std::size_t>> byName_;
    DbfFieldNames dbfNames_;
    std::size_t next_ = 0;  // columns are usually looked up in order: try this one first
    std::size_t recordLength_ = 1;  // the deletion flag, then the fields
};

class PointList {
public:
    explicit PointList(ShapeFiles& owner) : owner_(owner) {}
    PointList(const PointList&) = delete;
    PointList& operator=(const PointList&) = delete;

    // Makes (x, y) the point of the pending record, in place of any point added before it.
    void AddPoint(double x, double y);

private:
    ShapeFiles& owner_;
};

// One record that WriteRecords has its filler write, possibly on another thread: the point and
// the value of every column, columns given by their position in the field list, each column at
// most once. A column left unset is blank (null). The failures are those of the field's
// SetFieldValue and of AddPoint. Each thread remembers where in its block it wrote a column's
// recent values, so a value met again in the same column is copied rather than formatted again.
class Record {
public:
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

private:
    friend class ShapeFiles;
    explicit Record(const ShapeFiles& owner);
    void forget();
    void start(std::size_t row, char* dbf);
    std::size_t place(std::size_t column, std::uint64_t key) const;
    bool repeatCell(std::size_t column, std::uint64_t key);
    void keep(std::size_t column, std::uint64_t key);
    void setNumber(std::size_t column, double value, bool null);

    const ShapeFiles& owner_;
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
    std::vector<std::uint8_t> numberNulls_;
};

class ShapeFiles {
public:
    ShapeFiles();
    ~ShapeFiles();
    ShapeFiles(const ShapeFiles&) = delete;
    ShapeFiles& operator=(const ShapeFiles&) = delete;

    // Starts a new point shapefile at `path` (its .shp; the other files go next to it). Mode 1
    // with shape type 1 is the only combination there is. Checks first that the folder exists and
    // can be written to, and that none of the four names is taken by a folder.
    void OpenNewShapeFile(const std::string& path, int mode = 1, int shapeType = 1);
    FieldList& fieldList() { return fields_; }
    // Gives the set a .prj holding `esriWkt`, written and renamed with the other files. Without
    // it no .prj is written, and one the user keeps beside the shapefile stays. Only before
    // WriteFieldLayout.
    void SetProjection(std::string esriWkt);
    // Ends the column definitions and writes the attribute table's header.
    void WriteFieldLayout();
    // Fails with a message naming the file and the limit when `records` records would make the
    // .shp or the .dbf larger than kMaxFileBytes.
    void ReserveRecords(std::size_t records) const;
    PointList& pointList() { return points_; }
    // Writes the pending point and values as the next record and starts an empty pending record.
    void WriteRecord();
    // Writes `count` records, the next ones in the file, each as `fill` writes it. The records
    // are formatted in blocks on threads of their own, `fill` being called for several records at
    // once; they are written in order, and `written` is called on this thread after each record
    // with the number written so far in this call. A failure of `fill` (anything it throws)
    // stops the writing at that record: the records before it are written and reported, and the
    // failure is thrown here.
    void WriteRecords(std::size_t count, const std::function<void(Record&)>& fill,
                      const std::function<void(std::size_t)>& written);
    // How WriteRecords divides the work: records per block (0: about 512 KB of attribute table)
    // and threads (0: one per processor).
    void SetParallelism(std::size_t blockRecords, unsigned threads);
    // Completes the files and gives them their final names, replacing any existing set.
    void close();

    std::size_t recordCount() const { return records_; }
    const std::string& path() const { return shpPath_; }

    // One file of the set as created, with the descriptor it was created with.
    struct CreatedFile;

private:
    friend class Field;
    friend class FieldList;
    friend class PointList;
    friend class Record;
    struct Output;
    struct Block;
    enum class Stage { New, Open, Writing, Closed };

    void requireStage(Stage stage, const char* operation) const;
    void setPoint(double x, double y);
    [[noreturn]] void failValue(const Field& field, const std::string& what) const;
    [[noreturn]] void failValueAt(const Field& field, const std::string& what,
                                  std::size_t row) const;
    void checkPoint(double x, double y, std::size_t row) const;
    void formatBlock(Block& block, Record& record, const std::function<void(Record&)>& fill) const;
    void appendBlock(const Block& block);
    void settleBlock();
    std::size_t maxRecords() const;
    const CreatedFile& created(const char* extension) const;
    void createFiles(bool table);
    std::string createTable(const HookErrors& errors);
    void commit();
    void discard() noexcept;

    Stage stage_ = Stage::New;
    struct Column;
    std::vector<Column> columns_;  // each field's place and format in a record, by position
    std::size_t blockRecords_ = 0;  // records per block of WriteRecords; 0 chooses by size
    unsigned threads_ = 0;          // formatting threads of WriteRecords; 0 for one per core
    FieldList fields_;
    PointList points_;
    std::string shpPath_;
    std::string stem_;       // the final names without extension
    std::string folder_;     // for messages
    std::string prefix_;     // the folder as the start of a path ("dir/", or empty)
    std::string tempStem_;   // the temporary names without extension
    std::vector<std::unique_ptr<CreatedFile>> created_;  // the set, in the order created
    std::unique_ptr<Output> output_;
    std::string projection_;  // the .prj's text; empty: no .prj

    std::vector<char> record_;  // the pending .dbf record
    bool pointSet_ = false;
    double x_ = 0, y_ = 0;
    double bounds_[4] = {0, 0, 0, 0};  // x min, y min, x max, y max
    std::size_t records_ = 0;
    std::uint64_t dbfHeaderLength_ = 0;
};

}  // namespace pontrel::shapefile
