#include "JetWriter.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <set>
#include <stdexcept>
#include <string_view>

#include "JetPages.h"
#include "JetText.h"

// What the two readers the project checks against (mdbtools 1.0 and the npm package mdb-reader)
// rely on, and so what this writer keeps to:
// - page 0 holds "Standard Jet DB" and version 1 (Jet 4) at 0x14; its bytes 0x18..0x97 are
//   RC4-masked with the fixed Jet key and hold a zero database key at 0x3E (no page encryption);
// - the MSysObjects definition is on page 2, and MSysObjects lists itself: mdb-queries looks up
//   query ids through the catalog entry named "MSysObjects";
// - a catalog row's Id is its table's definition page (readers mask it with 0x00FFFFFF); rows
//   are found through the table's usage map, a row pointed to by the definition;
// - every data page names its definition page, as readers skip pages that name another table;
// - long-value rows are read back by their exact extent, so chains of long-value pages carry
//   exactly the memo's bytes and no padding.

namespace pontrel::tools::jet {

namespace {

// Column types as a table definition stores them.
enum class JetType : std::uint8_t {
    YesNo = 0x01,
    Byte = 0x02,
    Integer = 0x03,
    Long = 0x04,
    Single = 0x06,
    Double = 0x07,
    DateTime = 0x08,
    Binary = 0x09,
    Text = 0x0A,
    Ole = 0x0B,
    Memo = 0x0C,
};

struct ColumnSpec {
    std::string name;
    JetType type;
    int maxChars = 0;  // Text only
};

struct Column {
    std::string name;
    JetType type = JetType::Text;
    int maxChars = 0;
    bool fixed = false;
    std::uint16_t size = 0;  // bytes: the value in a row (fixed types) or the declared maximum
    std::uint16_t number = 0;
    std::uint16_t varIndex = 0;
    std::uint16_t fixedOffset = 0;
};

struct Table {
    std::string name;
    bool system = false;
    std::uint32_t definitionPage = 0;
    std::vector<Column> columns;
    std::size_t fixedSize = 0;
    std::uint16_t varCount = 0;
    std::uint32_t rowCount = 0;
    std::vector<std::uint32_t> dataPages;  // ascending, as they were handed out
    std::uint32_t usedMap = 0;             // page/row pointers of the usage-map rows
    std::uint32_t freeMap = 0;
};

struct CatalogEntry {
    std::int32_t id;
    std::int32_t parentId;
    std::string name;
    int type;
    std::int32_t flags;
};

// Catalog ids of the containers and of the database object, as Access numbers them.
constexpr std::int32_t kRootContainer = 0x0F000000;
constexpr std::int32_t kTablesContainer = 0x0F000001;
constexpr std::int32_t kDatabasesContainer = 0x0F000002;
constexpr std::int32_t kRelationshipsContainer = 0x0F000003;
constexpr std::int32_t kDatabaseObject = 0x10000000;
constexpr std::int32_t kSystemFlags = std::numeric_limits<std::int32_t>::min();  // 0x80000000
// Queries have no definition page; Access numbers them from here, which makes their ids negative.
constexpr std::int32_t kFirstQueryId = kSystemFlags + 8;
constexpr int kTableObject = 1;
constexpr int kQueryObject = 5;

constexpr std::uint32_t kCatalogPage = 2;
constexpr std::uint32_t kFirstMapPage = 1;
// Memos up to this many stored bytes stay inside the row, as Access keeps short memos.
constexpr std::size_t kInlineMemoLimit = 64;
// Jet compresses a memo only up to this many characters.
constexpr std::size_t kCompressibleMemoLimit = 1024;
constexpr std::size_t kMaxMemoBytes = 0xFFFFFF;
// A type-0 usage map covers this many pages from its first; beyond, type-1 maps point to
// bitmap pages of (page size - 4) * 8 pages each.
constexpr std::uint32_t kInlineMapBytes = 64;
constexpr std::uint32_t kPagesPerBitmapPage = (kPageSize - 4) * 8;
// Fixed so that the same input gives the same file, byte for byte: 1 January 2026.
constexpr double kCreationDate = 46023.0;

std::uint16_t fixedSizeOf(JetType type) {
    switch (type) {
        case JetType::Byte: return 1;
        case JetType::Integer: return 2;
        case JetType::Long:
        case JetType::Single: return 4;
        case JetType::Double:
        case JetType::DateTime: return 8;
        default: return 0;
    }
}

bool isFixed(JetType type) {
    return type == JetType::YesNo || fixedSizeOf(type) > 0;
}

JetType jetTypeOf(ColumnType type) {
    switch (type) {
        case ColumnType::Long: return JetType::Long;
        case ColumnType::Single: return JetType::Single;
        case ColumnType::Double: return JetType::Double;
        case ColumnType::Memo: return JetType::Memo;
        case ColumnType::DateTime: return JetType::DateTime;
        case ColumnType::YesNo: return JetType::YesNo;
        default: return JetType::Text;
    }
}

std::vector<std::uint8_t> utf16Bytes(std::string_view utf8) {
    std::vector<char16_t> units;
    toUtf16(utf8, units);
    std::vector<std::uint8_t> bytes;
    appendJetText(units, false, bytes);
    return bytes;
}

void append16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void rc4(const std::uint8_t* key, std::size_t keySize, std::uint8_t* data, std::size_t size) {
    std::uint8_t s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[static_cast<std::size_t>(i) % keySize]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (std::size_t n = 0, i = 0, j = 0; n < size; ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        data[n] ^= s[(s[i] + s[j]) & 0xFF];
    }
}

const std::vector<ColumnSpec>& catalogColumns() {
    static const std::vector<ColumnSpec> columns = {
        {"Id", JetType::Long},          {"ParentId", JetType::Long},       {"Name", JetType::Text, 255},
        {"Type", JetType::Integer},     {"DateCreate", JetType::DateTime}, {"DateUpdate", JetType::DateTime},
        {"Owner", JetType::Binary},     {"Flags", JetType::Long},          {"Database", JetType::Memo},
        {"Connect", JetType::Memo},     {"ForeignName", JetType::Text, 255}, {"RmtInfoShort", JetType::Binary},
        {"RmtInfoLong", JetType::Ole},  {"Lv", JetType::Ole},              {"LvProp", JetType::Ole},
        {"LvModule", JetType::Ole},     {"LvExtra", JetType::Ole}};
    return columns;
}

const std::vector<ColumnSpec>& queryColumns() {
    static const std::vector<ColumnSpec> columns = {
        {"ObjectId", JetType::Long},     {"Attribute", JetType::Byte},     {"Order", JetType::Binary},
        {"Name1", JetType::Text, 255},   {"Name2", JetType::Text, 255},    {"Expression", JetType::Memo},
        {"Flag", JetType::Integer},      {"LvExtra", JetType::Ole}};
    return columns;
}

// One MSysQueries row: ObjectId, Attribute, Order, Name1, Name2, Expression, Flag, LvExtra.
std::vector<Cell> queryRow(std::int32_t id, int attribute, const std::string& name1, const std::string& name2,
                           const std::string& expression, std::optional<int> flag) {
    auto text = [](const std::string& s) { return s.empty() ? Cell{} : Cell{s}; };
    return {std::int64_t{id}, std::int64_t{attribute}, Cell{},
            text(name1),      text(name2),              text(expression),
            flag ? Cell{std::int64_t{*flag}} : Cell{}, Cell{}};
}

// An ORDER BY term as Access stores it: the expression, and "D" when descending.
std::pair<std::string, std::string> orderTerm(std::string term) {
    auto endsWith = [&](std::string_view word) {
        if (term.size() < word.size()) return false;
        for (std::size_t i = 0; i < word.size(); ++i)
            if (std::toupper(static_cast<unsigned char>(term[term.size() - word.size() + i])) != word[i])
                return false;
        return true;
    };
    if (endsWith(" DESC")) return {term.substr(0, term.size() - 5), "D"};
    if (endsWith(" ASC")) return {term.substr(0, term.size() - 4), ""};
    return {term, ""};
}

}  // namespace

struct JetWriter::State {
    explicit State(const std::string& path) : file(path) {}

    PageFile file;
    std::vector<Table> tables;  // finished; their definitions are written by finish()
    std::optional<Table> current;
    std::optional<DataPage> dataPage;
    std::optional<DataPage> longValuePage;
    std::vector<CatalogEntry> queries;
    std::vector<std::vector<Cell>> queryHeadRows;  // start and end rows of every query
    std::vector<std::vector<Cell>> queryBodyRows;
    std::int32_t nextQueryId = kFirstQueryId;
    std::set<std::string> objectNames;  // folded to upper case: Access names ignore case
    bool finished = false;

    // Buffers reused from row to row.
    std::vector<std::uint8_t> row;
    std::vector<std::uint8_t> text;
    std::vector<std::uint8_t> piece;
    std::vector<std::uint8_t> nullMask;
    std::vector<std::size_t> varOffsets;
    std::vector<char16_t> units;

    void begin(const std::string& name, const std::vector<ColumnSpec>& specs, bool system, std::uint32_t page);
    void add(const std::vector<Cell>& cells);
    void end();
    void claimName(const std::string& name);
    void flushDataPage();
    void flushLongValuePage();
    void appendMemo(const Column& column);
    void placeRow();
    std::vector<std::uint8_t> usageMap(const std::vector<std::uint32_t>& pages);
    void writeMaps();
    void writeDefinition(const Table& table);
    void writeHeader();
    [[noreturn]] void fail(const Column& column, const std::string& why) const {
        throw std::invalid_argument(current->name + "." + column.name + ": " + why);
    }
};

namespace {

std::string folded(std::string name) {
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

}  // namespace

// Tables and queries share one namespace in Access, and readers look objects up by name.
void JetWriter::State::claimName(const std::string& name) {
    if (name.empty()) throw std::invalid_argument("a table or query needs a name");
    if (!objectNames.insert(folded(name)).second)
        throw std::invalid_argument(name + ": the database already holds an object of that name");
}

void JetWriter::State::begin(const std::string& name, const std::vector<ColumnSpec>& specs, bool system,
                             std::uint32_t page) {
    if (finished) throw std::logic_error("the database is already finished");
    if (current) throw std::logic_error("table " + current->name + " is not ended");
    if (specs.empty()) throw std::invalid_argument(name + ": a table needs at least one column");
    std::set<std::string> columnNames;
    for (const ColumnSpec& spec : specs)
        if (spec.name.empty() || !columnNames.insert(folded(spec.name)).second)
            throw std::invalid_argument(name + ": column names must be present and distinct");
    claimName(name);
    Table table;
    table.name = name;
    table.system = system;
    table.definitionPage = page;
    for (const ColumnSpec& spec : specs) {
        Column column;
        column.name = spec.name;
        column.type = spec.type;
        column.number = static_cast<std::uint16_t>(table.columns.size());
        column.fixed = isFixed(spec.type);
        if (column.fixed) {
            column.size = fixedSizeOf(spec.type);
            column.fixedOffset = static_cast<std::uint16_t>(table.fixedSize);
            table.fixedSize += column.size;
        } else {
            column.varIndex = table.varCount++;
            if (spec.type == JetType::Text) {
                if (spec.maxChars < 1 || spec.maxChars > 255)
                    throw std::invalid_argument(name + "." + spec.name + ": a Text column holds 1 to 255 characters");
                column.maxChars = spec.maxChars;
                column.size = static_cast<std::uint16_t>(2 * spec.maxChars);
            } else if (spec.type == JetType::Binary) {
                column.size = 255;
            }
        }
        table.columns.push_back(column);
    }
    current = std::move(table);
}

void JetWriter::State::add(const std::vector<Cell>& cells) {
    if (!current) throw std::logic_error("a row comes before its table");
    Table& table = *current;
    if (cells.size() != table.columns.size())
        throw std::invalid_argument(table.name + ": a row of " + std::to_string(cells.size()) + " values for " +
                                    std::to_string(table.columns.size()) + " columns");
    const std::size_t columnCount = table.columns.size();
    row.assign(2 + table.fixedSize, 0);
    put16(row.data(), static_cast<std::uint32_t>(columnCount));
    nullMask.assign((columnCount + 7) / 8, 0);
    varOffsets.resize(table.varCount);
    for (std::size_t i = 0; i < columnCount; ++i) {
        const Column& column = table.columns[i];
        const Cell& cell = cells[i];
        const bool present = !std::holds_alternative<std::monostate>(cell);
        bool bit = present;
        if (column.fixed) {
            std::uint8_t* at = row.data() + 2 + column.fixedOffset;
            if (present) {
                switch (column.type) {
                    case JetType::YesNo: {
                        auto* value = std::get_if<bool>(&cell);
                        if (!value) fail(column, "a Yes/No column takes true or false");
                        bit = *value;  // the value lives in the null mask
                        break;
                    }
                    case JetType::Byte:
                    case JetType::Integer:
                    case JetType::Long: {
                        auto* value = std::get_if<std::int64_t>(&cell);
                        if (!value) fail(column, "an integer column takes whole numbers");
                        const std::int64_t low = column.type == JetType::Byte      ? 0
                                                 : column.type == JetType::Integer ? -32768
                                                                                   : std::numeric_limits<std::int32_t>::min();
                        const std::int64_t high = column.type == JetType::Byte      ? 255
                                                  : column.type == JetType::Integer ? 32767
                                                                                    : std::numeric_limits<std::int32_t>::max();
                        if (*value < low || *value > high)
                            fail(column, std::to_string(*value) + " is out of the column's range");
                        const auto bits = static_cast<std::uint32_t>(*value);
                        if (column.size == 1) *at = static_cast<std::uint8_t>(bits);
                        else if (column.size == 2) put16(at, bits);
                        else put32(at, bits);
                        break;
                    }
                    case JetType::Single: {
                        // A float, as Access stores a Single: the number nearest the value given.
                        auto* value = std::get_if<double>(&cell);
                        if (!value) fail(column, "a Single column takes numbers");
                        const float single = static_cast<float>(*value);
                        std::uint32_t bits = 0;
                        std::memcpy(&bits, &single, 4);
                        put32(at, bits);
                        break;
                    }
                    case JetType::Double:
                        if (auto* value = std::get_if<double>(&cell)) putDouble(at, *value);
                        else if (auto* whole = std::get_if<std::int64_t>(&cell)) putDouble(at, static_cast<double>(*whole));
                        else fail(column, "a Double column takes numbers");
                        break;
                    case JetType::DateTime: {
                        auto* value = std::get_if<DateTimeValue>(&cell);
                        if (!value) fail(column, "a Date/Time column takes dates");
                        putDouble(at, value->days);
                        break;
                    }
                    default: break;
                }
            }
        } else {
            varOffsets[column.varIndex] = row.size();
            if (present) {
                auto* value = std::get_if<std::string>(&cell);
                if (!value || column.type == JetType::Binary || column.type == JetType::Ole)
                    fail(column, "unsupported value for this column");
                try {
                    toUtf16(*value, units);
                } catch (const std::invalid_argument& e) {
                    fail(column, e.what());
                }
                if (column.type == JetType::Text) {
                    if (units.size() > static_cast<std::size_t>(column.maxChars))
                        fail(column, "a text of " + std::to_string(units.size()) + " UTF-16 units is longer than " +
                                         std::to_string(column.maxChars) + " characters");
                    appendJetText(units, true, row);
                } else {
                    appendMemo(column);
                }
            }
        }
        if (bit) nullMask[column.number / 8] |= static_cast<std::uint8_t>(1u << (column.number % 8));
    }
    if (table.varCount > 0) {
        const std::size_t end = row.size();
        append16(row, static_cast<std::uint32_t>(end));
        for (std::size_t v = table.varCount; v-- > 0;) append16(row, static_cast<std::uint32_t>(varOffsets[v]));
        append16(row, table.varCount);
    }
    row.insert(row.end(), nullMask.begin(), nullMask.end());
    if (row.size() > kMaxRowSize)
        throw std::invalid_argument(table.name + ": a row of " + std::to_string(row.size()) +
                                    " bytes does not fit in a page");
    if (table.rowCount == std::numeric_limits<std::uint32_t>::max())
        throw std::invalid_argument(table.name + ": too many rows for one table");
    placeRow();
    ++table.rowCount;
}

void JetWriter::State::placeRow() {
    if (!dataPage || !dataPage->fits(row.size())) {
        flushDataPage();
        dataPage.emplace(file.allocate(), current->definitionPage);
        current->dataPages.push_back(dataPage->number());
    }
    dataPage->add(row.data(), row.size());
}

// Appends a memo's 12-byte field to the row: the length and where the text is, followed by the
// text itself when it is short. Longer texts go to long-value pages: one row on a shared page,
// or a chain of pages each holding a pointer to the next and a piece of the text.
void JetWriter::State::appendMemo(const Column& column) {
    text.clear();
    appendJetText(units, units.size() <= kCompressibleMemoLimit, text);
    const std::size_t length = text.size();
    if (length > kMaxMemoBytes) fail(column, "a memo of " + std::to_string(length) + " bytes is too long");
    std::uint8_t field[12] = {};
    if (length <= kInlineMemoLimit) {
        put32(field, static_cast<std::uint32_t>(length) | 0x80000000u);
        row.insert(row.end(), field, field + 12);
        row.insert(row.end(), text.begin(), text.end());
        return;
    }
    if (length <= kMaxRowSize) {
        if (!longValuePage || !longValuePage->fits(length)) {
            flushLongValuePage();
            longValuePage.emplace(file.allocate(), kLongValueOwner);
        }
        const int at = longValuePage->add(text.data(), length);
        put32(field, static_cast<std::uint32_t>(length) | 0x40000000u);
        put32(field + 4, (longValuePage->number() << 8) | static_cast<std::uint32_t>(at));
    } else {
        const std::size_t pieceSize = kMaxRowSize - 4;
        const auto count = static_cast<std::uint32_t>((length + pieceSize - 1) / pieceSize);
        const std::uint32_t first = file.allocate(count);
        for (std::uint32_t k = 0; k < count; ++k) {
            const std::size_t from = k * pieceSize;
            const std::size_t size = std::min(pieceSize, length - from);
            piece.assign(4, 0);
            if (k + 1 < count) put32(piece.data(), (first + k + 1) << 8);
            piece.insert(piece.end(), text.begin() + static_cast<std::ptrdiff_t>(from),
                         text.begin() + static_cast<std::ptrdiff_t>(from + size));
            DataPage page(first + k, kLongValueOwner);
            page.add(piece.data(), piece.size());
            file.write(page.number(), page.finished());
        }
        put32(field, static_cast<std::uint32_t>(length));
        put32(field + 4, first << 8);
    }
    row.insert(row.end(), field, field + 12);
}

void JetWriter::State::flushDataPage() {
    if (dataPage) file.write(dataPage->number(), dataPage->finished());
    dataPage.reset();
}

void JetWriter::State::flushLongValuePage() {
    if (longValuePage) file.write(longValuePage->number(), longValuePage->finished());
    longValuePage.reset();
}

void JetWriter::State::end() {
    if (!current) throw std::logic_error("no table to end");
    flushDataPage();
    flushLongValuePage();
    tables.push_back(std::move(*current));
    current.reset();
}

// The row that tells readers which pages hold a table's rows.
std::vector<std::uint8_t> JetWriter::State::usageMap(const std::vector<std::uint32_t>& pages) {
    if (pages.empty() || pages.back() - pages.front() < kInlineMapBytes * 8) {
        std::vector<std::uint8_t> map(5 + kInlineMapBytes, 0);
        const std::uint32_t start = pages.empty() ? 0 : pages.front();
        put32(&map[1], start);
        for (std::uint32_t page : pages) map[5 + (page - start) / 8] |= static_cast<std::uint8_t>(1u << ((page - start) % 8));
        return map;
    }
    const std::uint32_t slots = pages.back() / kPagesPerBitmapPage + 1;
    std::vector<std::uint8_t> map(1 + 4 * static_cast<std::size_t>(slots), 0);
    map[0] = 0x01;
    for (std::size_t i = 0; i < pages.size();) {
        const std::uint32_t slot = pages[i] / kPagesPerBitmapPage;
        Page bitmap{};
        bitmap[0] = 0x05;
        bitmap[1] = 0x01;
        for (; i < pages.size() && pages[i] / kPagesPerBitmapPage == slot; ++i) {
            const std::uint32_t bit = pages[i] % kPagesPerBitmapPage;
            bitmap[4 + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
        }
        const std::uint32_t number = file.allocate();
        file.write(number, bitmap);
        put32(&map[1 + 4 * static_cast<std::size_t>(slot)], number);
    }
    return map;
}

void JetWriter::State::writeMaps() {
    DataPage page(kFirstMapPage, 0);
    auto place = [&](const std::vector<std::uint8_t>& map) {
        if (!page.fits(map.size())) {
            file.write(page.number(), page.finished());
            page = DataPage(file.allocate(), 0);
        }
        const int at = page.add(map.data(), map.size());
        return (page.number() << 8) | static_cast<std::uint32_t>(at);
    };
    // Nothing here is ever written to again, so every table's free-space map is empty.
    const std::vector<std::uint8_t> noFreeSpace = usageMap({});
    for (Table& table : tables) {
        table.usedMap = place(usageMap(table.dataPages));
        table.freeMap = place(noFreeSpace);
    }
    file.write(page.number(), page.finished());
}

void JetWriter::State::writeDefinition(const Table& table) {
    Page page{};
    page[0] = 0x02;
    page[1] = 0x01;
    const auto columnCount = static_cast<std::uint32_t>(table.columns.size());
    put32(&page[16], table.rowCount);
    page[40] = table.system ? 0x53 : 0x4E;
    put16(&page[41], columnCount);  // most columns a row has had
    put16(&page[43], table.varCount);
    put16(&page[45], columnCount);
    put32(&page[55], table.usedMap);
    put32(&page[59], table.freeMap);
    std::size_t at = 63;
    auto room = [&](std::size_t size) {
        if (at + size > kPageSize)
            throw std::invalid_argument(table.name + ": too many columns for one definition page");
    };
    for (const Column& column : table.columns) {
        room(25);
        std::uint8_t* entry = &page[at];
        entry[0] = static_cast<std::uint8_t>(column.type);
        put16(entry + 5, column.number);
        put16(entry + 7, column.fixed ? 0 : column.varIndex);
        put16(entry + 9, column.number);
        const bool textual = column.type == JetType::Text || column.type == JetType::Memo;
        if (textual) {
            put16(entry + 11, 0x0409);  // the "General" sort order
            entry[16] = 0x01;           // may hold compressed text
        }
        entry[15] = column.fixed ? 0x03 : 0x02;  // fixed length; may be null
        put16(entry + 21, column.fixedOffset);
        put16(entry + 23, column.size);
        at += 25;
    }
    for (const Column& column : table.columns) {
        const std::vector<std::uint8_t> name = utf16Bytes(column.name);
        room(2 + name.size());
        put16(&page[at], static_cast<std::uint32_t>(name.size()));
        std::copy(name.begin(), name.end(), page.begin() + static_cast<std::ptrdiff_t>(at + 2));
        at += 2 + name.size();
    }
    put16(&page[2], static_cast<std::uint32_t>(kPageSize - at));
    put32(&page[8], static_cast<std::uint32_t>(at - 8));
    file.write(table.definitionPage, page);
}

void JetWriter::State::writeHeader() {
    Page page{};
    page[1] = 0x01;
    const char engine[] = "Standard Jet DB";
    std::copy(engine, engine + sizeof engine, page.begin() + 4);
    page[0x14] = 0x01;  // Jet 4
    put16(&page[0x3C], 1252);  // code page
    put32(&page[0x3E], 0);     // no database key: pages are not encrypted
    // An empty password, stored masked with the whole days of the creation date.
    std::uint8_t mask[4];
    put32(mask, static_cast<std::uint32_t>(static_cast<std::int32_t>(kCreationDate)));
    for (std::size_t i = 0; i < 40; ++i) page[0x42 + i] = mask[i % 4];
    put16(&page[0x6E], 0x0409);  // default sort order: General
    putDouble(&page[0x72], kCreationDate);
    const std::uint8_t key[] = {0xC7, 0xDA, 0x39, 0x6B};
    rc4(key, sizeof key, &page[0x18], 128);
    file.write(0, page);
}

JetWriter::JetWriter(const std::string& path) : state_(std::make_unique<State>(path)) {
    // Page 0 is the header, page 1 the first page of usage maps, page 2 the catalog definition.
    state_->file.allocate(3);
}

JetWriter::~JetWriter() = default;

void JetWriter::beginTable(const std::string& name, const std::vector<ColumnDefinition>& columns) {
    if (name.size() >= 4 && std::equal(name.begin(), name.begin() + 4, "MSys"))
        throw std::invalid_argument(name + ": the MSys names belong to the system tables");
    std::vector<ColumnSpec> specs;
    for (const ColumnDefinition& column : columns)
        specs.push_back({column.name, jetTypeOf(column.type), column.type == ColumnType::Text ? column.textLength : 0});
    state_->begin(name, specs, false, state_->current || state_->finished ? 0 : state_->file.allocate());
}

void JetWriter::addRow(const std::vector<Cell>& row) { state_->add(row); }

void JetWriter::endTable() { state_->end(); }

void JetWriter::addQuery(const QueryDefinition& query) {
    State& s = *state_;
    if (s.finished) throw std::logic_error("the database is already finished");
    s.claimName(query.name);
    const std::int32_t id = s.nextQueryId++;
    s.queries.push_back({id, kTablesContainer, query.name, kQueryObject, 0});
    // Access stores the start and end rows of its queries first and the rest later; doing the
    // same keeps readers honest about collecting a query's rows by its id.
    s.queryHeadRows.push_back(queryRow(id, 0, "", "", "", 0));
    s.queryHeadRows.push_back(queryRow(id, 255, "", "", "", std::nullopt));
    auto& body = s.queryBodyRows;
    if (!query.unionOf.empty()) {
        body.push_back(queryRow(id, 1, "", "", "", 9));  // UNION
        body.push_back(queryRow(id, 3, "", "", "", 0));  // no DISTINCT: UNION ALL
        // Access names the SELECTs of a union in their order; padded, the names sort that way.
        for (std::size_t i = 0; i < query.unionOf.size(); ++i) {
            std::string number = std::to_string(i + 1);
            body.push_back(queryRow(id, 5, "", "X7YZ_" + std::string(8 - number.size(), '_') + number,
                                    query.unionOf[i], std::nullopt));
        }
        return;
    }
    body.push_back(queryRow(id, 1, "", "", "", 1));  // SELECT
    body.push_back(queryRow(id, 3, "", "", "", 0));  // no DISTINCT, TOP or *
    for (const auto& source : query.sources) body.push_back(queryRow(id, 5, source.table, source.alias, "", std::nullopt));
    for (const auto& column : query.columns) body.push_back(queryRow(id, 6, column.alias, "", column.expression, 0));
    for (const auto& join : query.joins)
        body.push_back(queryRow(id, 7, join.left, join.right, join.condition, join.type));
    if (!query.where.empty()) body.push_back(queryRow(id, 8, "", "", query.where, std::nullopt));
    for (const auto& term : query.orderBy) {
        auto [expression, direction] = orderTerm(term);
        body.push_back(queryRow(id, 11, direction, "", expression, 0));
    }
}

void JetWriter::finish() {
    State& s = *state_;
    if (s.finished) return;
    if (s.current) s.end();

    const std::uint32_t queriesPage = s.file.allocate();
    s.begin("MSysQueries", queryColumns(), true, queriesPage);
    for (const auto& row : s.queryHeadRows) s.add(row);
    for (const auto& row : s.queryBodyRows) s.add(row);
    s.end();

    std::vector<CatalogEntry> catalog = {
        {kTablesContainer, kRootContainer, "Tables", 3, kSystemFlags},
        {kDatabasesContainer, kRootContainer, "Databases", 3, kSystemFlags},
        {kRelationshipsContainer, kRootContainer, "Relationships", 3, kSystemFlags},
        {kDatabaseObject, kDatabasesContainer, "MSysDb", 2, kSystemFlags},
        {static_cast<std::int32_t>(kCatalogPage), kTablesContainer, "MSysObjects", kTableObject, kSystemFlags},
        {static_cast<std::int32_t>(queriesPage), kTablesContainer, "MSysQueries", kTableObject, kSystemFlags}};
    for (const Table& table : s.tables)
        if (!table.system)
            catalog.push_back({static_cast<std::int32_t>(table.definitionPage), kTablesContainer, table.name,
                               kTableObject, 0});
    catalog.insert(catalog.end(), s.queries.begin(), s.queries.end());

    s.begin("MSysObjects", catalogColumns(), true, kCatalogPage);
    for (const CatalogEntry& entry : catalog) {
        std::vector<Cell> row(catalogColumns().size());
        row[0] = std::int64_t{entry.id};
        row[1] = std::int64_t{entry.parentId};
        row[2] = entry.name;
        row[3] = std::int64_t{entry.type};
        row[4] = DateTimeValue{kCreationDate};
        row[5] = DateTimeValue{kCreationDate};
        row[7] = std::int64_t{entry.flags};
        s.add(row);
    }
    s.end();

    s.writeMaps();
    for (const Table& table : s.tables) s.writeDefinition(table);
    s.writeHeader();
    s.file.close();
    s.finished = true;
}

}  // namespace pontrel::tools::jet
