// Jet's conversions of function arguments, UTF-8 code points, and Jet's writing of numbers as text.
#include "jet/JetFunctions.h"
#include "jet/functions/JetValues.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "common/DayCount.h"
#include "common/TextBasics.h"
#include "sqlite/DatabaseError.h"
#include "sqlite/TextCollation.h"

namespace pontrel::data::jetfn {

[[noreturn]] void fail(const std::string& function, const std::string& problem) {
    bool op = function == "&" || function == "+" || function == "/" || function == "\\" ||
              function == "Mod" || function == "^";
    throw DatabaseError((op ? "The operator " : "The function ") + function + " " + problem);
}
// ---- UTF-8 --------------------------------------------------------------------------------

// Decodes one code point at `pos`, advancing it; a malformed byte stands for itself.
char32_t nextCodePoint(std::string_view text, std::size_t& pos) {
    unsigned char lead = static_cast<unsigned char>(text[pos]);
    std::size_t extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    if (extra == 0 || pos + extra >= text.size()) {
        ++pos;
        return lead;
    }
    char32_t c = lead & (0x3F >> extra);
    for (std::size_t i = 1; i <= extra; ++i) {
        unsigned char next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return lead;
        }
        c = (c << 6) | (next & 0x3F);
    }
    pos += extra + 1;
    return c;
}

std::u32string codePoints(std::string_view text) {
    std::u32string out;
    for (std::size_t pos = 0; pos < text.size();) out += nextCodePoint(text, pos);
    return out;
}

// Byte offset of the code point with index `count` (or the end).
std::size_t byteOffset(std::string_view text, std::int64_t count) {
    std::size_t pos = 0;
    for (std::int64_t i = 0; i < count && pos < text.size(); ++i) nextCodePoint(text, pos);
    return pos;
}

std::int64_t codePointCount(std::string_view text) {
    std::int64_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) nextCodePoint(text, pos);
    return count;
}
// ---- conversions --------------------------------------------------------------------------

std::string trimSpaces(std::string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    return std::string(text.substr(begin, end - begin));
}

// A text that is wholly a number ("  -1.5E3 ", "&H1F"), as Jet's conversions accept it.
std::optional<SqlValue> numberFromText(std::string_view raw) {
    std::string text = trimSpaces(raw);
    if (text.empty()) return std::nullopt;
    if (text.size() > 2 && text[0] == '&' && (text[1] == 'H' || text[1] == 'h' || text[1] == 'O' ||
                                              text[1] == 'o')) {
        int base = (text[1] == 'H' || text[1] == 'h') ? 16 : 8;
        char* end = nullptr;
        unsigned long long value = std::strtoull(text.c_str() + 2, &end, base);
        if (*end != '\0') return std::nullopt;
        return SqlValue::ofInteger(static_cast<std::int64_t>(value));
    }
    std::size_t i = 0;
    if (text[i] == '+' || text[i] == '-') ++i;
    bool digits = false, point = false, exponent = false;
    for (; i < text.size(); ++i) {
        char ch = text[i];
        if (ch >= '0' && ch <= '9') {
            digits = true;
        } else if (ch == '.' && !point && !exponent) {
            point = true;
        } else if ((ch == 'e' || ch == 'E') && digits && !exponent) {
            exponent = true;
            if (i + 1 < text.size() && (text[i + 1] == '+' || text[i + 1] == '-')) ++i;
            if (i + 1 >= text.size()) return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    if (!point && !exponent) {
        errno = 0;
        long long whole = std::strtoll(text.c_str(), nullptr, 10);
        if (errno == 0) return SqlValue::ofInteger(whole);
    }
    return SqlValue::ofReal(std::strtod(text.c_str(), nullptr));
}

// The value as a number; Null stays Null. A text that is not a number is Jet's type mismatch.
SqlValue toNumber(const SqlValue& value, const std::string& function) {
    switch (value.type) {
        case SqlValue::Type::Null:
        case SqlValue::Type::Integer:
        case SqlValue::Type::Real: return value;
        case SqlValue::Type::Text: {
            std::optional<SqlValue> number = numberFromText(value.bytes);
            if (!number) fail(function, "cannot use the text '" + value.bytes + "' as a number");
            return *number;
        }
        case SqlValue::Type::Blob: break;
    }
    fail(function, "cannot use binary data as a number");
}

std::optional<std::string> toText(const SqlValue& value, const std::string& function) {
    switch (value.type) {
        case SqlValue::Type::Null: return std::nullopt;
        case SqlValue::Type::Integer: return std::to_string(value.integer);
        case SqlValue::Type::Real: return jetNumberText(value.real);
        case SqlValue::Type::Text: return value.bytes;
        case SqlValue::Type::Blob: break;
    }
    fail(function, "cannot use binary data as a text");
}

// A whole number argument such as a length; Null is Jet's "Invalid use of Null".
std::int64_t wholeArgument(const SqlValue& value, const std::string& function, const char* what) {
    SqlValue number = toNumber(value, function);
    if (number.isNull()) fail(function, std::string("was given Null as its ") + what);
    if (number.type == SqlValue::Type::Integer) return number.integer;
    double rounded = std::nearbyint(number.real);  // Jet rounds half to even here
    if (!(std::fabs(rounded) < 9.0e18)) fail(function, std::string("was given too large a ") + what);
    return static_cast<std::int64_t>(rounded);
}

// Round half to even, as Jet's CInt, CLng, \ and Mod do.
double roundHalfEven(double value) {
    int mode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    double rounded = std::nearbyint(value);
    std::fesetround(mode);
    return rounded;
}

std::optional<Date> toDate(const SqlValue& value, const std::string& function) {
    switch (value.type) {
        case SqlValue::Type::Null: return std::nullopt;
        case SqlValue::Type::Integer: return static_cast<double>(value.integer);
        case SqlValue::Type::Real: return value.real;
        case SqlValue::Type::Text: {
            // Only year-first texts are read: any other order depends on regional settings.
            std::optional<Date> date = parseIsoDate(trimSpaces(value.bytes));
            if (!date) fail(function, "cannot read the text '" + value.bytes + "' as a date");
            return date;
        }
        case SqlValue::Type::Blob: break;
    }
    fail(function, "cannot use binary data as a date");
}

SqlValue integerOrReal(double value) {
    if (value == std::trunc(value) && std::fabs(value) < 9.0e15)
        return SqlValue::ofInteger(static_cast<std::int64_t>(value));
    return SqlValue::ofReal(value);
}
std::string utf8Of(char32_t c) {
    std::string out;
    appendUtf8(out, c);
    return out;
}

bool sameLetter(char32_t a, char32_t b) { return a == b || foldCase(a) == foldCase(b); }
SqlValue textResult(const std::optional<std::string>& text) {
    return text ? SqlValue::ofText(*text) : SqlValue::null();
}
std::string utf8Text(const std::u32string& text) {
    std::string out;
    for (char32_t c : text) appendUtf8(out, c);
    return out;
}
}  // namespace pontrel::data::jetfn

namespace pontrel::data {

using namespace jetfn;

std::string jetNumberText(double value) {
    if (value == 0) return "0";
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.0f", value);
        return buffer;
    }
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    std::string text = buffer;
    std::size_t e = text.find('e');
    if (e != std::string::npos) {
        // 1e+16 -> 1E+16, 1.5e-05 -> 1.5E-05, as Jet writes them.
        std::string mantissa = text.substr(0, e);
        char sign = text[e + 1];
        std::string digits = text.substr(e + 2);
        while (digits.size() > 2 && digits[0] == '0') digits.erase(0, 1);
        text = mantissa + "E" + sign + digits;
    }
    return text;
}

}  // namespace pontrel::data
