#pragma once
// The one place that calls libmdb. MdbFile opens an Access file read-only and owns its handle;
// MdbTable owns one table definition and walks its rows, handing out each value exactly as it
// is stored (numbers and dates from their raw bytes, texts decoded to UTF-8 - an Access 97
// file's from the code page its header names - long values read whole). Every libmdb result
// is checked, and no offset or length read from the file is used before it is checked against
// the page or the file it must lie in: damage becomes a DatabaseError, never a read out of
// bounds or an endless walk.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace pontrel::data {

class CodePageText;

struct MdbValue {
    enum class Kind { Null, Integer, Real, Text, Blob };
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string bytes;  // UTF-8 text or binary data
};

// Column types as Access stores them.
enum class MdbType {
    YesNo = 0x01, Byte = 0x02, Integer = 0x03, Long = 0x04, Currency = 0x05, Single = 0x06,
    Double = 0x07, DateTime = 0x08, Binary = 0x09, Text = 0x0a, Ole = 0x0b, Memo = 0x0c,
    Guid = 0x0f, Decimal = 0x10, Complex = 0x12, ExtendedDateTime = 0x14
};

// An Extended Date/Time value (Access 2016 and later) as the program's day count (see
// DayCount.h), or nothing when the bytes are not one. It is stored as ASCII text,
// "DDDDDDDDDDDDDDDDDDD:TTTTTTTTTTTTTTTTTTT:P" and a zero byte: the days since 1 January of the
// year 1, the time of day in units of 100 nanoseconds, and the digits of a second it keeps (7).
// Far from 1899 a double keeps the time to some microseconds; the day is always kept.
std::optional<double> extendedDateTime(std::string_view stored);

struct MdbColumnInfo {
    std::string name;
    int type = 0;  // an MdbType, or another code libmdb does not know
    int size = 0;
    int precision = 0;
    int scale = 0;
};

class MdbFile;

class MdbTable {
public:
    ~MdbTable();
    MdbTable(const MdbTable&) = delete;
    MdbTable& operator=(const MdbTable&) = delete;

    const std::string& name() const { return name_; }
    const std::vector<MdbColumnInfo>& columns() const { return columns_; }
    // Decodes only these columns from now on; the others read as Null. Damage in a value that
    // is not needed then does not stop the reading.
    void readOnly(const std::vector<std::size_t>& columns);
    // Reads the next row into `row` (one value per column); false after the last row.
    bool next(std::vector<MdbValue>& row);
    // Counts the rows that remain without decoding their values.
    std::int64_t countRows();

private:
    friend class MdbFile;
    struct State;
    MdbTable(MdbFile& file, const std::string& name, std::unique_ptr<State> state);
    bool advance();  // positions on the next live row; false at the end
    void checkPageMap() const;
    [[noreturn]] void missingPageMap() const;
    void decode(MdbValue& value, std::size_t column, bool isNull, int start, int size);
    void decimal(MdbValue& value, const MdbColumnInfo& column, const unsigned char* p);
    std::string longValue(const MdbColumnInfo& column, int start, int size);
    void text(const unsigned char* data, std::size_t size, std::string& out);
    [[noreturn]] void damaged(const std::string& what) const;
    // `what`, a clause about the table, names a page past the end of the file: the file is cut
    // short, or the table damaged.
    [[noreturn]] void beyondTheEnd(const std::string& what) const;

    MdbFile& file_;
    std::string name_;
    std::unique_ptr<State> state_;
    std::vector<MdbColumnInfo> columns_;
    std::vector<bool> wanted_;
    std::u16string units_;  // a text's UTF-16 units while it is decoded
};

class MdbFile {
public:
    // Opens the file read-only; throws DatabaseError with the reason when libmdb cannot.
    explicit MdbFile(const std::string& path);
    ~MdbFile();
    MdbFile(const MdbFile&) = delete;
    MdbFile& operator=(const MdbFile&) = delete;

    // The table whose definition is on `definitionPage` (the low 24 bits of its catalog Id).
    std::unique_ptr<MdbTable> openTable(const std::string& name, std::uint32_t definitionPage);

    static constexpr std::uint32_t kCatalogPage = 2;  // MSysObjects, in every Access file
    int jetVersion() const;
    // The code page of an Access 97 file's texts (1252 when its header names none that can be
    // read); the later formats hold their texts in UTF-16.
    int codePage() const;
    const std::string& path() const { return path_; }
    // The whole pages the file holds; a file that ends inside a page is cut short there.
    std::int64_t pageCount() const { return pages_; }
    // For a message about a page past the end of the file. A file that ends inside a page is
    // cut short: "the file is cut short: it ends 2586 bytes into page 36". One that ends on a
    // page boundary is not assumed to be: what names the page is what is wrong, and the message
    // says where the file ends: ", past the last page of the file, 16".
    std::optional<std::string> cutShort() const;
    std::string pastTheLastPage() const;

private:
    friend class MdbTable;
    struct Handle;
    std::string path_;
    std::unique_ptr<Handle> handle_;
    std::unique_ptr<CodePageText> jet3Text_;
    std::int64_t pages_ = 0;
    std::int64_t tailBytes_ = 0;  // of a last page that is not whole
};

}  // namespace pontrel::data
