#include "shapefile/Record.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "shapefile/RecordBytes.h"
#include "shapefile/ShapeFileError.h"

namespace pontrel::shapefile {

void checkPoint(const std::string& shapefile, double x, double y, std::size_t row) {
    if (!std::isfinite(x) || !std::isfinite(y))
        throw ShapeFileError("The point of row " + std::to_string(row) + " (" + numberText(x) +
                             ", " + numberText(y) + ") cannot be written to the shapefile '" +
                             shapefile + "': its coordinates must be finite numbers");
}

Record::Record(const RecordLayout& layout) : layout_(layout) {
    // Texts and dates take few distinct values that often alternate (stations, tides, days), and
    // so do the numbers of a narrow table; the numbers of a wide table mostly repeat the one above.
    constexpr unsigned kManyBits = 6, kWideTable = 32;
    const auto& columns = layout.columns;
    std::size_t places = 0;
    for (const auto& format : columns) {
        const bool many = format.type != kNumericField || columns.size() <= kWideTable;
        const unsigned bits = many ? kManyBits : 0;
        firstPlace_.push_back(places);
        placeBits_.push_back(bits);
        places += std::size_t{1} << bits;
    }
    lastKey_.assign(places, 0);
    lastAt_.assign(places, nullptr);
}

std::size_t Record::place(std::size_t column, std::uint64_t key) const {
    const unsigned bits = placeBits_[column];
    if (bits == 0) return firstPlace_[column];
    const auto slot = static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> (64 - bits));
    return firstPlace_[column] + slot;
}

void Record::forget() {
    std::fill(lastAt_.begin(), lastAt_.end(), nullptr);
    numbersAt_ = nullptr;
}

void Record::start(std::size_t row, char* dbf) {
    row_ = row;
    dbf_ = dbf;
    pointSet_ = false;
}

void Record::setPoint(double x, double y) {
    checkPoint(layout_.shapefile, x, y, row_);
    x_ = x;
    y_ = y;
    pointSet_ = true;
}

bool Record::repeatCell(std::size_t column, std::uint64_t key) {
    const std::size_t at = place(column, key);
    if (!lastAt_[at] || lastKey_[at] != key) return false;
    const auto& format = layout_.columns[column];
    copyCell(dbf_ + format.offset, lastAt_[at], static_cast<std::size_t>(format.layout.width));
    return true;
}

void Record::keep(std::size_t column, std::uint64_t key) {
    const std::size_t at = place(column, key);
    lastKey_[at] = key;
    lastAt_[at] = dbf_ + layout_.columns[column].offset;
}

namespace {

// The first index from `from` on at which two rows of numbers differ bit for bit, or `count`.
std::size_t sameUntil(const double* a, const double* b, std::size_t from, std::size_t count) {
    std::size_t i = from;
    for (; i + 4 <= count; i += 4) {
        std::uint64_t x[4], y[4];
        std::memcpy(x, a + i, sizeof x);
        std::memcpy(y, b + i, sizeof y);
        if (((x[0] ^ y[0]) | (x[1] ^ y[1]) | (x[2] ^ y[2]) | (x[3] ^ y[3])) != 0) break;
    }
    while (i < count && std::bit_cast<std::uint64_t>(a[i]) == std::bit_cast<std::uint64_t>(b[i])) ++i;
    return i;
}

}  // namespace

void Record::setNumbers(std::size_t first, const double* values, const std::uint8_t* nulls,
                        std::size_t count) {
    const auto& columns = layout_.columns;
    if (first > columns.size() || count > columns.size() - first)
        throw std::logic_error("Record::setNumbers was given columns the shapefile does not have");
    std::uint8_t anyNull = 0;
    if (nulls)
        for (std::size_t i = 0; i < count; ++i) anyNull |= nulls[i];
    auto isNull = [&](std::size_t i) -> std::uint8_t { return anyNull && nulls[i] != 0 ? 1 : 0; };
    auto wasNull = [&](std::size_t i) -> std::uint8_t { return numbersHadNull_ ? numberNulls_[i] : 0; };
    // Most cells of a wide table hold what the cell above holds; the columns are side by side,
    // so each run of such cells is one copy from the record before.
    const bool above = numbersAt_ && numbersAt_ != dbf_ && numbersFirst_ == first &&
                       numbers_.size() == count;
    const bool plain = anyNull == 0 && !numbersHadNull_;
    for (std::size_t i = 0; i < count;) {
        std::size_t end = i;
        if (above && plain) {
            end = sameUntil(numbers_.data(), values, i, count);
        } else if (above) {
            while (end < count && wasNull(end) == isNull(end) &&
                   (isNull(end) || std::bit_cast<std::uint64_t>(numbers_[end]) ==
                                       std::bit_cast<std::uint64_t>(values[end])))
                ++end;
        }
        if (end > i) {
            const std::size_t from = columns[first + i].offset;
            const std::size_t to = columns[first + end - 1].offset +
                                   static_cast<std::size_t>(columns[first + end - 1].layout.width);
            std::memcpy(dbf_ + from, numbersAt_ + from, to - from);
            i = end;
            continue;
        }
        setNumber(first + i, values[i], isNull(i) != 0);
        ++i;
    }
    numbersAt_ = dbf_;
    numbersFirst_ = first;
    numbers_.assign(values, values + count);
    numbersHadNull_ = anyNull != 0;
    if (numbersHadNull_) {
        numberNulls_.resize(count);
        for (std::size_t i = 0; i < count; ++i) numberNulls_[i] = isNull(i);
    }
}

void Record::setNumber(std::size_t column, double value, bool null) {
    const auto& format = layout_.columns[column];
    if (format.type != kNumericField)
        failValue(layout_.shapefile, *format.field, "holds " + kindOf(format.type) + ", not numbers", row_);
    char* out = dbf_ + format.offset;
    if (null) {
        std::memset(out, ' ', static_cast<std::size_t>(format.layout.width));
        return;
    }
    const auto key = std::bit_cast<std::uint64_t>(value);
    if (repeatCell(column, key)) return;
    if (!formatNumeric(value, format.layout, out))
        failValue(layout_.shapefile, *format.field, numberRefusal(value, format.layout), row_);
    keep(column, key);
}

// The column, which must exist and hold values of `type`.
const ColumnFormat& Record::checkedColumn(std::size_t column, int type, const char* operation) const {
    if (column >= layout_.columns.size())
        throw std::logic_error(std::string("Record::") + operation +
                               " was given a column the shapefile does not have");
    const auto& format = layout_.columns[column];
    if (format.type != type)
        failValue(layout_.shapefile, *format.field,
                  "holds " + kindOf(format.type) + ", not " + kindOf(type), row_);
    return format;
}

void Record::setText(std::size_t column, std::string_view text, std::uint64_t key) {
    const auto& format = checkedColumn(column, kTextField, "setText");
    putText(dbf_ + format.offset, text, static_cast<std::size_t>(format.layout.width));
    keep(column, key);
}

bool Record::repeat(std::size_t column, std::uint64_t key) {
    return column < layout_.columns.size() && repeatCell(column, key);
}

void Record::setDate(std::size_t column, CalendarDate date, std::uint64_t key) {
    const auto& format = checkedColumn(column, kDateField, "setDate");
    if (!formatDate(date.year, date.month, date.day, dbf_ + format.offset))
        failValue(layout_.shapefile, *format.field, dateRefusal(date), row_);
    keep(column, key);
}

}  // namespace pontrel::shapefile
