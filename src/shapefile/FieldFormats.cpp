#include "shapefile/FieldFormats.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "shapefile/ShapeFileError.h"

namespace pontrel::shapefile {

namespace {

// Below this magnitude a value times 100 is an integer well inside a double's exact range, so the
// fast paths can work on that integer.
constexpr double kFastLimit = 1e13;
constexpr double kScales[] = {1.0, 10.0, 100.0};

// Room for any double in fixed notation with up to kMaxFieldWidth decimals.
constexpr std::size_t kTextRoom = 640;

int digitCount(unsigned long long n) {
    int digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}

// The characters before the decimal point and the decimals of the shortest fixed-point text that
// reads back as `value` (finite, not -0).
void shortestShape(double value, int& integerChars, int& decimals) {
    if (std::fabs(value) < kFastLimit) {
        long long n = std::llround(value * 100.0);
        if (static_cast<double>(n) / 100.0 == value) {
            unsigned long long magnitude = n < 0 ? 0ULL - static_cast<unsigned long long>(n)
                                                 : static_cast<unsigned long long>(n);
            integerChars = digitCount(magnitude / 100) + (n < 0 ? 1 : 0);
            decimals = magnitude % 100 == 0 ? 0 : magnitude % 10 == 0 ? 1 : 2;
            return;
        }
    }
    char text[kTextRoom];
    auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    auto length = static_cast<int>(result.ptr - text);
    const char* dot = std::find(text, result.ptr, '.');
    integerChars = static_cast<int>(dot - text);
    decimals = dot == result.ptr ? 0 : length - integerChars - 1;
}

}  // namespace

void NumericColumnSizer::addNonZero(double value, std::size_t row) {
    if (!std::isfinite(value))
        throw ShapeFileError("The value " + numberText(value) + " in row " + std::to_string(row) +
                             " of the column '" + column_ +
                             "' cannot be written to a shapefile: it is not a finite number");
    int integerChars = 0, decimals = 0;
    shortestShape(value, integerChars, decimals);
    int wider = std::max(integerChars_, integerChars);
    int finer = std::max(decimals_, decimals);
    if (wider + 1 + finer > kMaxFieldWidth)
        throw ShapeFileError("The value " + numberText(value) + " in row " + std::to_string(row) +
                             " of the column '" + column_ + "' needs " +
                             std::to_string(wider + 1 + finer) +
                             " characters to be written exactly, more than the " +
                             std::to_string(kMaxFieldWidth) +
                             " a numeric column of a shapefile holds");
    integerChars_ = wider;
    decimals_ = finer;
}

bool NumericColumnSizer::merge(const NumericColumnSizer& other) {
    const int wider = std::max(integerChars_, other.integerChars_);
    const int finer = std::max(decimals_, other.decimals_);
    if (wider + 1 + finer > kMaxFieldWidth) return false;
    integerChars_ = wider;
    decimals_ = finer;
    return true;
}

NumericLayout NumericColumnSizer::layout() const {
    return {integerChars_ + (decimals_ > 0 ? 1 + decimals_ : 0), decimals_};
}

bool formatNumeric(double value, NumericLayout layout, char* out) {
    if (!std::isfinite(value) || layout.width <= 0 || layout.decimals < 0) return false;
    const int decimals = layout.decimals;
    if (value == 0) {  // most cells of a Day-mode table: "0", or "0." and the decimals' zeros
        const int length = 1 + (decimals > 0 ? 1 + decimals : 0);
        if (length > layout.width) return false;
        char* at = out + (layout.width - length);
        std::memset(out, ' ', static_cast<std::size_t>(layout.width - length));
        at[0] = '0';
        if (decimals > 0) {
            at[1] = '.';
            std::memset(at + 2, '0', static_cast<std::size_t>(decimals));
        }
        return true;
    }
    if (decimals <= 2 && std::fabs(value) < kFastLimit) {
        long long n = std::llround(value * kScales[decimals]);
        if (static_cast<double>(n) / kScales[decimals] != value) return false;
        unsigned long long magnitude = n < 0 ? 0ULL - static_cast<unsigned long long>(n)
                                             : static_cast<unsigned long long>(n);
        // Digits from the right end of the field, the decimal point after `decimals` of them.
        char* at = out + layout.width;
        for (int i = 0; magnitude > 0 || i <= decimals; ++i) {
            if (decimals > 0 && i == decimals) {
                if (at == out) return false;
                *--at = '.';
            }
            if (at == out) return false;
            *--at = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        }
        if (n < 0) {
            if (at == out) return false;
            *--at = '-';
        }
        while (at != out) *--at = ' ';
        return true;
    }
    int integerChars = 0, needed = 0;
    shortestShape(value, integerChars, needed);
    if (needed > decimals) return false;
    char text[kTextRoom];
    auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc()) return false;
    const auto length = static_cast<int>(result.ptr - text);
    if (length > layout.width) return false;
    std::memset(out, ' ', static_cast<std::size_t>(layout.width - length));
    std::memcpy(out + (layout.width - length), text, static_cast<std::size_t>(length));
    return true;
}

std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    auto isContinuation = [&](std::size_t at) {
        return (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
    };
    std::size_t cut = maxBytes;
    // A sequence has at most 3 continuation bytes; past that the text is not UTF-8 and is cut
    // where the width ends.
    for (int steps = 0; steps < 3 && cut > 0 && isContinuation(cut); ++steps) --cut;
    if (isContinuation(cut)) cut = maxBytes;
    return text.substr(0, cut);
}

bool formatDate(int year, int month, int day, char* out) {
    static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > lengths[month - 1] + (month == 2 && leap ? 1 : 0)) return false;
    int parts[] = {year / 1000, year / 100 % 10, year / 10 % 10, year % 10,
                   month / 10,  month % 10,      day / 10,       day % 10};
    for (int i = 0; i < 8; ++i) out[i] = static_cast<char>('0' + parts[i]);
    return true;
}

std::string numberText(double value) {
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

}  // namespace pontrel::shapefile
