#include "access/MdbFile.h"
#include "common/TextBasics.h"

#include <mdbtools.h>
#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>

#include "access/CodePageText.h"
#include "sqlite/DatabaseError.h"

namespace pontrel::data {

namespace {

constexpr int kOffsetMask = 0x1FFF;
constexpr int kDeletedRow = 0x4000;
constexpr int kLongValueHeader = 12;

std::uint32_t le16(const unsigned char* p) { return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8; }
std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// A Single's value as Access shows it: the shortest decimal that reads back as the same float
// (a stored 0.2 is 0.2, not the double nearest the float, 0.200000002980232).
double singleValue(float f) {
    char text[32];
    std::to_chars_result written = std::to_chars(text, text + sizeof text, f);
    if (written.ec != std::errc() || !std::isfinite(f)) return f;
    *written.ptr = '\0';
    return std::strtod(text, nullptr);
}

// UTF-16 code units to UTF-8; an unpaired surrogate becomes U+FFFD.
void appendUtf16(std::string& out, const std::u16string& units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
}

}  // namespace

std::optional<double> extendedDateTime(std::string_view stored) {
    constexpr std::size_t kLength = 41;  // 19 digits, a colon, 19 digits, a colon, one digit
    constexpr long long kLastDay = 3652058;  // 31 December 9999
    constexpr long long kTicksPerDay = 864000000000;
    constexpr long long kDaysBefore1899 = 693593;  // from 1 January 1 to 30 December 1899
    if (stored.size() < kLength) return std::nullopt;
    for (char ch : stored.substr(kLength))
        if (ch != 0) return std::nullopt;
    auto number = [&](std::size_t from, std::size_t digits, long long& value) {
        value = 0;
        for (std::size_t i = from; i < from + digits; ++i) {
            if (stored[i] < '0' || stored[i] > '9') return false;
            if (value > kTicksPerDay) return false;  // more than any day or time, before it can overflow
            value = value * 10 + (stored[i] - '0');
        }
        return true;
    };
    // The last digit is how many digits of a second the value keeps: 7, ticks of 100 nanoseconds.
    // Another would be a format not seen yet, and is not guessed at.
    long long days = 0, ticks = 0;
    if (!number(0, 19, days) || stored[19] != ':' || !number(20, 19, ticks) || stored.substr(39, 2) != ":7")
        return std::nullopt;
    if (days > kLastDay || ticks >= kTicksPerDay) return std::nullopt;
    // Before 30 December 1899 the whole part counts back while the fraction runs forward.
    const double whole = static_cast<double>(days - kDaysBefore1899);
    const double fraction = static_cast<double>(ticks) / static_cast<double>(kTicksPerDay);
    double date = whole >= 0 ? whole + fraction : whole - fraction;
    // A fraction a hair below a whole day can round up to the next day: keep the stored day.
    if (std::trunc(date) != whole) date = std::nextafter(whole >= 0 ? whole + 1 : whole - 1, whole);
    return date;
}

struct MdbFile::Handle {
    MdbHandle* mdb = nullptr;
    ~Handle() {
        if (mdb) mdb_close(mdb);
    }
};

struct MdbTable::State {
    MdbCatalogEntry entry{};  // libmdb keeps a pointer to it in the table definition
    MdbTableDef* table = nullptr;
    std::vector<MdbField> fields;
    std::set<std::uint32_t> visitedPages;
    bool pageLoaded = false;
    int rowsOnPage = 0;
    int nextRow = 0;
    int rowStart = 0;
    std::size_t rowSize = 0;
};

MdbFile::MdbFile(const std::string& path) : path_(path), handle_(std::make_unique<Handle>()) {
    handle_->mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
    if (!handle_->mdb || !handle_->mdb->f || !handle_->mdb->fmt)
        throw DatabaseError("libmdb cannot open it");
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) throw DatabaseError("the file cannot be read");
    const auto pageSize = static_cast<std::int64_t>(handle_->mdb->fmt->pg_size);
    if (pageSize != 2048 && pageSize != 4096) throw DatabaseError("its page size is not one Access uses");
    pages_ = static_cast<std::int64_t>(info.st_size) / pageSize;
    if (pages_ <= static_cast<std::int64_t>(kCatalogPage))
        throw DatabaseError("the file is too short to hold its catalog");
    // libmdb has read the code page from the header, and decodes the names of tables and
    // columns by it, falling back on Windows-1252 as CodePageText does.
    const int codePage = jetVersion() == MDB_VER_JET3 ? handle_->mdb->f->code_page : 1252;
    jet3Text_ = std::make_unique<CodePageText>(codePage);
}

MdbFile::~MdbFile() = default;

int MdbFile::jetVersion() const { return static_cast<int>(handle_->mdb->f->jet_version); }

int MdbFile::codePage() const { return jet3Text_->codePage(); }

std::unique_ptr<MdbTable> MdbFile::openTable(const std::string& name, std::uint32_t definitionPage) {
    auto state = std::make_unique<MdbTable::State>();
    if (definitionPage == 0 || static_cast<std::int64_t>(definitionPage) >= pages_)
        throw DatabaseError("the definition of the table '" + name + "' lies outside the file");
    state->entry.mdb = handle_->mdb;
    std::snprintf(state->entry.object_name, sizeof state->entry.object_name, "%s", name.c_str());
    state->entry.object_type = MDB_TABLE;
    state->entry.table_pg = definitionPage;
    state->table = mdb_read_table(&state->entry);
    if (!state->table) throw DatabaseError("the definition of the table '" + name + "' cannot be read");
    return std::unique_ptr<MdbTable>(new MdbTable(*this, name, std::move(state)));
}

MdbTable::MdbTable(MdbFile& file, const std::string& name, std::unique_ptr<State> state)
    : file_(file), name_(name), state_(std::move(state)) {
    MdbTableDef* table = state_->table;
    GPtrArray* columns = mdb_read_columns(table);
    if (!columns || columns->len != table->num_cols || table->num_cols > MDB_MAX_COLS)
        damaged("its column definitions cannot be read");
    for (guint i = 0; i < columns->len; ++i) {
        auto* column = static_cast<MdbColumn*>(g_ptr_array_index(columns, i));
        if (!column) damaged("its column definitions cannot be read");
        MdbColumnInfo info;
        info.name.assign(column->name, strnlen(column->name, sizeof column->name));
        info.type = column->col_type;
        info.size = column->col_size;
        // The definition stores precision, then scale; libmdb reads them into fields named
        // the other way round.
        info.precision = column->col_scale;
        info.scale = column->col_prec;
        columns_.push_back(info);
    }
    state_->fields.resize(columns_.size());
    wanted_.assign(columns_.size(), true);
    checkPageMap();
    mdb_rewind_table(table);
}

// libmdb walks the page map without checking it, and takes a page it cannot read for the end
// of the table. So the map is checked first: long enough for its kind, and naming only pages
// inside the file; a file cut short then fails instead of losing its last rows unnoticed.
void MdbTable::checkPageMap() const {
    const MdbTableDef* table = state_->table;
    MdbHandle* mdb = state_->entry.mdb;
    const std::size_t pageSize = static_cast<std::size_t>(mdb->fmt->pg_size);
    if (!table->usage_map || table->map_sz < 1) damaged("it has no page map");
    const unsigned char* map = table->usage_map;
    const std::size_t size = table->map_sz;
    if (size > pageSize) damaged("its page map is longer than a page");
    auto checkBits = [&](const unsigned char* bits, std::size_t bytes, std::int64_t firstPage) {
        for (std::size_t i = 0; i < bytes * 8; ++i)
            if ((bits[i / 8] & (1 << (i % 8))) && firstPage + static_cast<std::int64_t>(i) >= file_.pageCount())
                damaged("its pages lie beyond the end of the file, which is cut short");
    };
    if (map[0] == 0) {
        if (size < 5) damaged("its page map is cut short");
        checkBits(map + 5, size - 5, le32(map + 1));
    } else if (map[0] == 1) {
        // Each entry names a page whose bits, after a 4-byte header, map the next run of pages.
        const std::size_t pagesPerMapPage = (pageSize - 4) * 8;
        for (std::size_t i = 0; 1 + 4 * i + 4 <= size; ++i) {
            std::uint32_t mapPage = le32(map + 1 + 4 * i);
            if (mapPage == 0) continue;
            if (static_cast<std::int64_t>(mapPage) >= file_.pageCount())
                damaged("its page map points outside the file");
            if (mdb_read_alt_pg(mdb, mapPage) != static_cast<ssize_t>(pageSize))
                damaged("its page map cannot be read");
            checkBits(mdb->alt_pg_buf + 4, pageSize - 4, static_cast<std::int64_t>(i * pagesPerMapPage));
        }
    }
}

MdbTable::~MdbTable() {
    if (state_ && state_->table) mdb_free_tabledef(state_->table);
}

void MdbTable::damaged(const std::string& what) const {
    throw DatabaseError("the table '" + name_ + "' is damaged: " + what);
}

bool MdbTable::advance() {
    State& s = *state_;
    MdbHandle* mdb = s.entry.mdb;
    const int pageSize = static_cast<int>(mdb->fmt->pg_size);
    const int rowCountOffset = mdb->fmt->row_count_offset;
    for (;;) {
        if (!s.pageLoaded || s.nextRow >= s.rowsOnPage) {
            int page = mdb_read_next_dpg(s.table);
            if (page <= 0) return false;
            // A damaged page map can lead back to a page already read: stop rather than loop.
            if (!s.visitedPages.insert(static_cast<std::uint32_t>(page)).second)
                damaged("its page map leads back to page " + std::to_string(page));
            s.rowsOnPage = static_cast<int>(le16(mdb->pg_buf + rowCountOffset));
            if (s.rowsOnPage > (pageSize - rowCountOffset - 2) / 2)
                damaged("page " + std::to_string(page) + " claims more rows than it can hold");
            s.nextRow = 0;
            s.pageLoaded = true;
        }
        int row = s.nextRow++;
        int start = 0;
        std::size_t size = 0;
        if (mdb_find_row(mdb, row, &start, &size) != 0 || size == 0) continue;
        if (start & kDeletedRow) continue;
        start &= kOffsetMask;
        if (start < 0 || size > static_cast<std::size_t>(pageSize - start)) continue;
        s.rowStart = start;
        s.rowSize = size;
        return true;
    }
}

std::int64_t MdbTable::countRows() {
    std::int64_t rows = 0;
    while (advance()) ++rows;
    return rows;
}

void MdbTable::readOnly(const std::vector<std::size_t>& columns) {
    wanted_.assign(columns_.size(), false);
    for (std::size_t c : columns)
        if (c < wanted_.size()) wanted_[c] = true;
}

bool MdbTable::next(std::vector<MdbValue>& row) {
    State& s = *state_;
    for (;;) {
        if (!advance()) return false;
        int fieldCount = mdb_crack_row(s.table, s.rowStart, s.rowSize, s.fields.data());
        if (fieldCount < 0) continue;  // as libmdb itself skips a row it cannot take apart
        // The values of the last row are overwritten in place, keeping the memory of their texts.
        row.resize(columns_.size());
        for (MdbValue& value : row) value.kind = MdbValue::Kind::Null;
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            const MdbField& field = s.fields[i];
            if (field.colnum < 0 || static_cast<std::size_t>(field.colnum) >= columns_.size())
                damaged("a row names a column it does not have");
            auto column = static_cast<std::size_t>(field.colnum);
            if (wanted_[column]) decode(row[column], column, field.is_null != 0, field.start, field.siz);
        }
        return true;
    }
}

void MdbTable::decode(MdbValue& value, std::size_t columnIndex, bool isNull, int start, int size) {
    const MdbColumnInfo& column = columns_[columnIndex];
    value.kind = MdbValue::Kind::Null;
    // A Yes/No value lives in the row's null mask: a set bit is Yes.
    if (column.type == static_cast<int>(MdbType::YesNo)) {
        value.kind = MdbValue::Kind::Integer;
        value.integer = isNull ? 0 : -1;
        return;
    }
    if (isNull) return;
    MdbHandle* mdb = state_->entry.mdb;
    const int pageSize = static_cast<int>(mdb->fmt->pg_size);
    if (start < 0 || size < 0 || start > pageSize || size > pageSize - start)
        damaged("a value of the column '" + column.name + "' lies outside its page");
    const unsigned char* p = mdb->pg_buf + start;
    auto need = [&](int bytes) {
        if (size < bytes) damaged("a value of the column '" + column.name + "' is shorter than its type");
    };
    auto integer = [&](std::int64_t v) {
        value.kind = MdbValue::Kind::Integer;
        value.integer = v;
    };
    auto real = [&](double v) {
        value.kind = MdbValue::Kind::Real;
        value.real = v;
    };
    switch (static_cast<MdbType>(column.type)) {
        case MdbType::Byte: need(1); return integer(p[0]);
        case MdbType::Integer: need(2); return integer(static_cast<std::int16_t>(le16(p)));
        case MdbType::Long:
        case MdbType::Complex: need(4); return integer(static_cast<std::int32_t>(le32(p)));
        case MdbType::Currency: {
            need(8);
            std::int64_t units = 0;
            std::memcpy(&units, p, 8);
            return real(static_cast<double>(units) / 10000.0);
        }
        case MdbType::Single: {
            need(4);
            float f = 0;
            std::memcpy(&f, p, 4);
            return real(singleValue(f));
        }
        case MdbType::Double:
        case MdbType::DateTime: {
            need(8);
            double d = 0;
            std::memcpy(&d, p, 8);  // the stored bits, a date as its day count
            return real(d);
        }
        case MdbType::Decimal: {
            need(17);
            // A sign byte, then a 128-bit magnitude as four 32-bit words, most significant first.
            std::uint32_t words[4];
            for (int word = 0; word < 4; ++word) words[word] = le32(p + 1 + 4 * word);
            bool negative = (p[0] & 0x80) != 0;
            int scale = column.scale;
            if (scale == 0 && words[0] == 0 && words[1] == 0 && (words[2] & 0x80000000u) == 0) {
                auto whole = static_cast<std::int64_t>(static_cast<std::uint64_t>(words[2]) << 32 | words[3]);
                return integer(negative ? -whole : whole);
            }
            std::string digits;
            do {  // long division by ten of the 128-bit magnitude
                std::uint64_t remainder = 0;
                for (std::uint32_t& w : words) {
                    std::uint64_t current = remainder << 32 | w;
                    w = static_cast<std::uint32_t>(current / 10);
                    remainder = current % 10;
                }
                digits.insert(digits.begin(), static_cast<char>('0' + remainder));
            } while (words[0] || words[1] || words[2] || words[3]);
            if (scale < 0 || scale > 38) damaged("the column '" + column.name + "' has an impossible scale");
            while (static_cast<int>(digits.size()) <= scale) digits.insert(digits.begin(), '0');
            digits.insert(digits.size() - static_cast<std::size_t>(scale), ".");
            // strtod rounds the decimal text to the nearest double.
            return real(std::strtod(((negative ? "-" : "") + digits).c_str(), nullptr));
        }
        case MdbType::ExtendedDateTime: {
            std::optional<double> date =
                extendedDateTime(std::string_view(reinterpret_cast<const char*>(p), static_cast<std::size_t>(size)));
            if (!date) damaged("a value of the column '" + column.name + "' is not an extended date and time");
            return real(*date);
        }
        case MdbType::Guid: {
            need(16);
            char buffer[48];
            std::snprintf(buffer, sizeof buffer,
                          "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", p[3],
                          p[2], p[1], p[0], p[5], p[4], p[7], p[6], p[8], p[9], p[10], p[11], p[12], p[13],
                          p[14], p[15]);
            value.kind = MdbValue::Kind::Text;
            value.bytes = buffer;
            return;
        }
        case MdbType::Text:
            value.kind = MdbValue::Kind::Text;
            text(p, static_cast<std::size_t>(size), value.bytes);
            return;
        case MdbType::Memo: {
            std::string raw = longValue(column, start, size);
            value.kind = MdbValue::Kind::Text;
            text(reinterpret_cast<const unsigned char*>(raw.data()), raw.size(), value.bytes);
            return;
        }
        case MdbType::Ole:
            value.kind = MdbValue::Kind::Blob;
            value.bytes = longValue(column, start, size);
            return;
        case MdbType::Binary:
        default:
            value.kind = MdbValue::Kind::Blob;
            value.bytes.assign(reinterpret_cast<const char*>(p), static_cast<std::size_t>(size));
            return;
    }
}

// A memo or OLE value: in the row itself, in one row of a long-value page, or in a chain of
// such rows. The declared length bounds what is read; the chain may not revisit a row.
std::string MdbTable::longValue(const MdbColumnInfo& column, int start, int size) {
    if (size == 0) return {};
    if (size < kLongValueHeader)
        damaged("a long value of the column '" + column.name + "' has no complete header");
    MdbHandle* mdb = state_->entry.mdb;
    const int pageSize = static_cast<int>(mdb->fmt->pg_size);
    const int rowCountOffset = mdb->fmt->row_count_offset;
    const unsigned char* header = mdb->pg_buf + start;
    const std::uint32_t word = le32(header);
    const std::uint32_t length = word & 0x3FFFFFFF;
    const std::uint32_t kind = word >> 30;
    const std::string where = "a long value of the column '" + column.name + "'";
    if (static_cast<std::int64_t>(length) > file_.pageCount() * pageSize)
        damaged(where + " is longer than the file");

    // Reads one row of a long-value page into `out`, after checking every offset on the way.
    auto lvalRow = [&](std::uint32_t pointer, std::string& out) {
        std::uint32_t page = pointer >> 8, row = pointer & 0xFF;
        if (page == 0 || static_cast<std::int64_t>(page) >= file_.pageCount())
            damaged(where + " points outside the file");
        if (mdb_read_alt_pg(mdb, page) != static_cast<ssize_t>(pageSize)) damaged(where + " cannot be read");
        const unsigned char* buf = mdb->alt_pg_buf;
        if (buf[0] != MDB_PAGE_DATA || std::memcmp(buf + 4, "LVAL", 4) != 0)
            damaged(where + " points at a page that holds no long values");
        std::uint32_t rows = le16(buf + rowCountOffset);
        if (row >= rows || rows > static_cast<std::uint32_t>((pageSize - rowCountOffset - 2) / 2))
            damaged(where + " points at a row its page does not have");
        std::uint32_t rowStart = le16(buf + rowCountOffset + 2 + row * 2) & kOffsetMask;
        std::uint32_t rowEnd = row == 0 ? static_cast<std::uint32_t>(pageSize)
                                        : le16(buf + rowCountOffset + row * 2) & kOffsetMask;
        if (rowStart >= rowEnd || rowEnd > static_cast<std::uint32_t>(pageSize))
            damaged(where + " points at a row with impossible bounds");
        out.assign(reinterpret_cast<const char*>(buf + rowStart), rowEnd - rowStart);
    };

    std::string data;
    if (kind == 2) {  // 0x80: in the row, after the header
        std::size_t available = static_cast<std::size_t>(size - kLongValueHeader);
        if (length > available) damaged(where + " is longer than its row");
        data.assign(reinterpret_cast<const char*>(header + kLongValueHeader), length);
    } else if (kind == 1) {  // 0x40: one row of a long-value page
        std::string row;
        lvalRow(le32(header + 4), row);
        if (length > row.size()) damaged(where + " is longer than the row holding it");
        data = row.substr(0, length);
    } else if (kind == 0) {  // a chain of rows, each starting with the pointer to the next
        std::uint32_t pointer = le32(header + 4);
        std::set<std::uint32_t> visited;
        while (data.size() < length) {
            if (pointer == 0) damaged(where + " ends before its declared length");
            if (!visited.insert(pointer).second) damaged(where + " is a chain that loops");
            std::string row;
            lvalRow(pointer, row);
            if (row.size() < 4) damaged(where + " has a link without data");
            pointer = le32(reinterpret_cast<const unsigned char*>(row.data()));
            std::size_t take = std::min<std::size_t>(row.size() - 4, length - data.size());
            data.append(row, 4, take);
        }
    } else {
        damaged(where + " has an unknown kind");
    }
    return data;
}

void MdbTable::text(const unsigned char* data, std::size_t size, std::string& out) {
    if (file_.jetVersion() == MDB_VER_JET3) {
        out = file_.jet3Text_->toUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
        return;
    }
    // UCS-2, or "compressed" when it starts with FF FE: then each 0x00 byte switches between
    // one byte per character (high byte zero) and two bytes per character.
    std::u16string& units = units_;
    units.clear();
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        bool compressed = true;
        for (std::size_t i = 2; i < size;) {
            if (data[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                units += static_cast<char16_t>(data[i++]);
            } else if (i + 1 < size) {
                units += static_cast<char16_t>(data[i] | data[i + 1] << 8);
                i += 2;
            } else {
                break;
            }
        }
    } else {
        for (std::size_t i = 0; i + 1 < size; i += 2) units += static_cast<char16_t>(data[i] | data[i + 1] << 8);
    }
    out.clear();
    appendUtf16(out, units);
}

}  // namespace pontrel::data
