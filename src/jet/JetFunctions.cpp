#include "jet/JetFunctions.h"
#include "common/TextBasics.h"

#include <cerrno>
#include <cfenv>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "sqlite/DatabaseError.h"
#include "common/DayCount.h"
#include "sqlite/TextCollation.h"

namespace pontrel::data {

namespace {

using Args = std::vector<SqlValue>;

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

// ---- Like ---------------------------------------------------------------------------------
//
// Jet's Like: * any run of characters, ? one character, # one digit, [a-c] one of a set, [!a-c]
// one outside it, [*] a literal *; letters compare without regard to case, accents count. '%'
// and '_', SQLite's wildcards, are ordinary characters here, and SQLite's own like() (ASCII-only
// case folding) is replaced by this one under its name.

struct LikeToken {
    enum Kind { Literal, AnyOne, AnyRun, Digit, Set } kind = Literal;
    char32_t c = 0;
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;  // Set
};

std::vector<LikeToken> parseLike(const std::u32string& pattern) {
    std::vector<LikeToken> tokens;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        LikeToken token;
        char32_t c = pattern[i];
        if (c == '*') {
            token.kind = LikeToken::AnyRun;
        } else if (c == '?') {
            token.kind = LikeToken::AnyOne;
        } else if (c == '#') {
            token.kind = LikeToken::Digit;
        } else if (c == '[') {
            std::size_t close = pattern.find(U']', i + 1);
            if (close == std::u32string::npos)
                throw DatabaseError("The Like pattern has a '[' without its closing ']'");
            std::u32string set = pattern.substr(i + 1, close - i - 1);
            token.kind = LikeToken::Set;
            std::size_t j = 0;
            if (!set.empty() && set[0] == '!') {
                token.negated = true;
                j = 1;
            }
            for (; j < set.size(); ++j) {
                if (j + 2 < set.size() && set[j + 1] == '-')
                    token.ranges.emplace_back(set[j], set[j + 2]), j += 2;
                else
                    token.ranges.emplace_back(set[j], set[j]);
            }
            // "[]" stands for nothing and matches the empty text, as in Jet.
            if (token.ranges.empty() && !token.negated) {
                i = close;
                continue;
            }
            i = close;
        } else {
            token.c = c;
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

std::string utf8Of(char32_t c) {
    std::string out;
    appendUtf8(out, c);
    return out;
}

bool sameLetter(char32_t a, char32_t b) { return a == b || foldCase(a) == foldCase(b); }

bool matchesOne(const LikeToken& token, char32_t c) {
    switch (token.kind) {
        case LikeToken::AnyOne: return true;
        case LikeToken::Digit: return c >= '0' && c <= '9';
        case LikeToken::Literal: return sameLetter(token.c, c);
        case LikeToken::Set: {
            bool inside = false;
            for (const auto& [low, high] : token.ranges) {
                if (low == high ? sameLetter(low, c)
                                : compareText(utf8Of(low), utf8Of(c)) <= 0 &&
                                      compareText(utf8Of(c), utf8Of(high)) <= 0) {
                    inside = true;
                    break;
                }
            }
            return inside != token.negated;
        }
        case LikeToken::AnyRun: break;
    }
    return false;
}

bool likeMatch(const std::u32string& text, const std::vector<LikeToken>& tokens) {
    // Classic wildcard matching, backtracking only to the last '*'.
    std::size_t t = 0, p = 0, starP = std::string::npos, starT = 0;
    while (t < text.size()) {
        if (p < tokens.size() && tokens[p].kind == LikeToken::AnyRun) {
            starP = p++;
            starT = t;
        } else if (p < tokens.size() && matchesOne(tokens[p], text[t])) {
            ++p;
            ++t;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < tokens.size() && tokens[p].kind == LikeToken::AnyRun) ++p;
    return p == tokens.size();
}

// ---- Format -------------------------------------------------------------------------------

// A number pattern: literal text around one run of 0 # , . placeholders.
struct NumberPattern {
    std::string prefix, suffix;
    int minIntegerDigits = 0;
    int decimals = 0;
    int requiredDecimals = 0;
    bool grouping = false;
    bool percent = false;
};

struct DatePart {
    enum Kind { Literal, Year2, Year4, Month, Month2, Day, Day2, Hour, Hour2, Minute, Minute2,
                Second, Second2, AmPm, Quarter } kind = Literal;
    std::string text;  // Literal, or the AM/PM marker as written
};

// Splits a pattern into literal pieces and placeholder characters, honouring "..." and \x.
struct PatternPiece {
    bool literal = false;
    std::string text;
};

std::vector<PatternPiece> splitPattern(std::string_view pattern) {
    std::vector<PatternPiece> pieces;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        char ch = pattern[i];
        if (ch == '"') {
            std::size_t close = pattern.find('"', i + 1);
            if (close == std::string_view::npos) close = pattern.size();
            pieces.push_back({true, std::string(pattern.substr(i + 1, close - i - 1))});
            i = close;
        } else if (ch == '\\' && i + 1 < pattern.size()) {
            std::size_t start = i + 1;
            std::size_t end = start;
            nextCodePoint(pattern, end);
            pieces.push_back({true, std::string(pattern.substr(start, end - start))});
            i = end - 1;
        } else {
            pieces.push_back({false, std::string(1, ch)});
        }
    }
    return pieces;
}

bool isDateLetter(char ch) {
    switch (ch) {
        case 'd': case 'D': case 'm': case 'M': case 'y': case 'Y': case 'h': case 'H':
        case 'n': case 'N': case 's': case 'S': case 'q': case 'Q': case 'w': case 'W':
        case 'c': case 'C': case 't': case 'T': case 'a': case 'A':
            return true;
        default: return false;
    }
}

enum class PatternKind { Number, Date, Unsupported };

struct ParsedPattern {
    PatternKind kind = PatternKind::Unsupported;
    NumberPattern number;
    std::vector<DatePart> date;
    std::string problem;
};

ParsedPattern parseNumberPattern(const std::vector<PatternPiece>& pieces) {
    ParsedPattern parsed;
    parsed.kind = PatternKind::Number;
    NumberPattern& n = parsed.number;
    int state = 0;  // 0 before the placeholders, 1 inside, 2 after
    bool point = false;
    bool pendingGroup = false;
    for (const PatternPiece& piece : pieces) {
        char ch = piece.literal ? 0 : piece.text[0];
        bool placeholder = ch == '0' || ch == '#' || ch == '.' || ch == ',';
        if (placeholder && state == 2) {
            parsed.kind = PatternKind::Unsupported;
            parsed.problem = "digit placeholders separated by other text";
            return parsed;
        }
        if (placeholder && (state == 1 || ch == '0' || ch == '#' || ch == '.')) {
            state = 1;
            if (ch == '.') {
                if (point) {
                    parsed.kind = PatternKind::Unsupported;
                    parsed.problem = "two decimal points";
                    return parsed;
                }
                point = true;
                if (pendingGroup) {
                    parsed.kind = PatternKind::Unsupported;
                    parsed.problem = "a comma that scales by thousands";
                    return parsed;
                }
            } else if (ch == ',') {
                if (point) {
                    parsed.kind = PatternKind::Unsupported;
                    parsed.problem = "a comma after the decimal point";
                    return parsed;
                }
                pendingGroup = true;
            } else {
                if (pendingGroup) n.grouping = true;
                pendingGroup = false;
                if (point) {
                    ++n.decimals;
                    if (ch == '0') n.requiredDecimals = n.decimals;
                } else if (ch == '0') {
                    ++n.minIntegerDigits;
                } else if (n.minIntegerDigits > 0) {
                    parsed.kind = PatternKind::Unsupported;
                    parsed.problem = "a '#' after a '0' before the decimal point";
                    return parsed;
                }
            }
            continue;
        }
        if (state == 1) {
            if (pendingGroup) {
                parsed.kind = PatternKind::Unsupported;
                parsed.problem = "a comma that scales by thousands";
                return parsed;
            }
            state = 2;
        }
        if (!piece.literal && (ch == 'e' || ch == 'E')) {
            parsed.kind = PatternKind::Unsupported;
            parsed.problem = "scientific notation";
            return parsed;
        }
        if (!piece.literal && ch == '%') n.percent = true;
        (state == 0 ? n.prefix : n.suffix) += piece.text;
    }
    if (pendingGroup) {
        parsed.kind = PatternKind::Unsupported;
        parsed.problem = "a comma that scales by thousands";
    }
    return parsed;
}

ParsedPattern parseDatePattern(const std::vector<PatternPiece>& pieces) {
    ParsedPattern parsed;
    parsed.kind = PatternKind::Date;
    auto& parts = parsed.date;
    auto unsupported = [&](const std::string& what) {
        parsed.kind = PatternKind::Unsupported;
        parsed.problem = what;
        return parsed;
    };
    bool afterHour = false;
    std::size_t i = 0;
    auto runOf = [&](char lower) {
        std::size_t n = 0;
        while (i + n < pieces.size() && !pieces[i + n].literal &&
               (pieces[i + n].text[0] | 0x20) == lower)
            ++n;
        return n;
    };
    auto remainingText = [&](std::size_t count) {
        std::string text;
        for (std::size_t k = i; k < pieces.size() && text.size() < count; ++k) {
            if (pieces[k].literal) break;
            text += pieces[k].text;
        }
        return text;
    };
    while (i < pieces.size()) {
        const PatternPiece& piece = pieces[i];
        if (piece.literal) {
            parts.push_back({DatePart::Literal, piece.text});
            ++i;
            continue;
        }
        char lower = static_cast<char>(piece.text[0] | 0x20);
        if (!isDateLetter(piece.text[0])) {
            parts.push_back({DatePart::Literal, piece.text});
            ++i;
            continue;
        }
        std::string ahead5 = upperAscii(remainingText(5));
        if (ahead5 == "AM/PM") {
            parts.push_back({DatePart::AmPm, remainingText(5)});
            i += 5;
            continue;
        }
        if (upperAscii(remainingText(3)) == "A/P") {
            parts.push_back({DatePart::AmPm, remainingText(3)});
            i += 3;
            continue;
        }
        std::size_t run = runOf(lower);
        switch (lower) {
            case 'y':
                if (run == 2) parts.push_back({DatePart::Year2, {}});
                else if (run == 4) parts.push_back({DatePart::Year4, {}});
                else return unsupported("the day of the year (y)");
                break;
            case 'm':
                if (run > 2) return unsupported("month names (mmm)");
                if (afterHour) parts.push_back({run == 2 ? DatePart::Minute2 : DatePart::Minute, {}});
                else parts.push_back({run == 2 ? DatePart::Month2 : DatePart::Month, {}});
                break;
            case 'd':
                if (run > 2) return unsupported("day names or the regional date (ddd)");
                parts.push_back({run == 2 ? DatePart::Day2 : DatePart::Day, {}});
                break;
            case 'h':
                if (run > 2) return unsupported("the placeholder hhh");
                parts.push_back({run == 2 ? DatePart::Hour2 : DatePart::Hour, {}});
                break;
            case 'n':
                if (run > 2) return unsupported("the placeholder nnn");
                parts.push_back({run == 2 ? DatePart::Minute2 : DatePart::Minute, {}});
                break;
            case 's':
                if (run > 2) return unsupported("the placeholder sss");
                parts.push_back({run == 2 ? DatePart::Second2 : DatePart::Second, {}});
                break;
            case 'q':
                if (run > 1) return unsupported("the placeholder qq");
                parts.push_back({DatePart::Quarter, {}});
                break;
            case 'w': return unsupported("week days and weeks (w)");
            case 'c':
            case 't': return unsupported("the regional date and time (c, ttttt)");
            default: return unsupported(std::string("the placeholder ") + piece.text);
        }
        afterHour = lower == 'h';
        i += run;
    }
    return parsed;
}

const char* namedFormatPattern(std::string_view name) {
    std::string upper = upperAscii(name);
    if (upper == "FIXED") return "0.00";
    if (upper == "STANDARD") return "#,##0.00";
    if (upper == "PERCENT") return "0.00%";
    return nullptr;
}

bool isLocaleNamedFormat(std::string_view name) {
    static const char* names[] = {"GENERAL DATE", "LONG DATE", "MEDIUM DATE", "SHORT DATE",
                                  "LONG TIME",    "MEDIUM TIME", "SHORT TIME", "CURRENCY",
                                  "SCIENTIFIC",   "EURO"};
    std::string upper = upperAscii(name);
    for (const char* n : names)
        if (upper == n) return true;
    return false;
}

ParsedPattern parsePattern(std::string_view pattern) {
    if (const char* named = namedFormatPattern(pattern)) return parsePattern(named);
    if (isLocaleNamedFormat(pattern)) {
        ParsedPattern parsed;
        parsed.problem = "the named format '" + std::string(pattern) +
                         "', which depends on regional settings";
        return parsed;
    }
    if (pattern.find(';') != std::string_view::npos) {
        ParsedPattern parsed;
        parsed.problem = "a format with sections separated by ';'";
        return parsed;
    }
    std::vector<PatternPiece> pieces = splitPattern(pattern);
    bool digits = false, dateLetters = false, textPlaceholders = false;
    for (const PatternPiece& piece : pieces) {
        if (piece.literal) continue;
        char ch = piece.text[0];
        if (ch == '0' || ch == '#') digits = true;
        if (ch == '@' || ch == '&' || ch == '<' || ch == '>' || ch == '!') textPlaceholders = true;
        if (isDateLetter(ch) && ch != 'a' && ch != 'A' && ch != 't' && ch != 'T') dateLetters = true;
    }
    ParsedPattern parsed;
    if (textPlaceholders) {
        parsed.problem = "text placeholders (@ & < > !)";
        return parsed;
    }
    if (digits) return parseNumberPattern(pieces);
    if (dateLetters) return parseDatePattern(pieces);
    parsed.problem = "a format without placeholders";
    return parsed;
}

// Digits of |value| rounded half away from zero to `decimals` places, from its 15 significant
// digits (as Jet rounds the decimal form it shows, not the binary value).
std::string roundedDigits(double value, int decimals, int& integerDigits) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(value));
    std::string mantissa;
    for (const char* p = buffer; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') mantissa += *p;
    int exponent = std::atoi(std::strchr(buffer, 'e') + 1);
    // value = 0.mantissa * 10^(exponent + 1)
    int pointAt = exponent + 1;
    if (value == 0) {
        mantissa = "0";
        pointAt = 1;
    }
    // Keep pointAt + decimals digits, rounding on the next one.
    int keep = pointAt + decimals;
    std::string digits;
    if (keep < 0) {
        digits = "";
    } else {
        digits = mantissa.substr(0, std::min<std::size_t>(mantissa.size(), static_cast<std::size_t>(keep)));
        while (static_cast<int>(digits.size()) < keep) digits += '0';
        if (static_cast<std::size_t>(keep) < mantissa.size() && mantissa[static_cast<std::size_t>(keep)] >= '5') {
            int k = static_cast<int>(digits.size()) - 1;
            while (k >= 0 && digits[static_cast<std::size_t>(k)] == '9') digits[static_cast<std::size_t>(k--)] = '0';
            if (k >= 0) {
                ++digits[static_cast<std::size_t>(k)];
            } else {
                digits.insert(digits.begin(), '1');
                ++pointAt;
            }
        }
    }
    // Normalise to integer digits followed by exactly `decimals` digits.
    integerDigits = static_cast<int>(digits.size()) - decimals;
    if (integerDigits < 0) {
        digits.insert(0, static_cast<std::size_t>(-integerDigits), '0');
        integerDigits = 0;
    }
    return digits;
}

std::string formatNumber(double value, const NumberPattern& n) {
    if (n.percent) value *= 100;
    int integerDigits = 0;
    std::string digits = roundedDigits(value, n.decimals, integerDigits);
    std::string whole = digits.substr(0, static_cast<std::size_t>(integerDigits));
    std::string fraction = digits.substr(static_cast<std::size_t>(integerDigits));
    std::size_t firstNonZero = whole.find_first_not_of('0');
    whole = firstNonZero == std::string::npos ? "" : whole.substr(firstNonZero);
    while (static_cast<int>(whole.size()) < n.minIntegerDigits) whole.insert(whole.begin(), '0');
    while (static_cast<int>(fraction.size()) > n.requiredDecimals && !fraction.empty() &&
           fraction.back() == '0')
        fraction.pop_back();
    if (n.grouping) {
        std::string grouped;
        for (std::size_t i = 0; i < whole.size(); ++i) {
            if (i && (whole.size() - i) % 3 == 0) grouped += ',';
            grouped += whole[i];
        }
        whole = grouped;
    }
    std::string number = whole;
    if (n.decimals > 0) number += "." + fraction;  // "0.##" shows 5 as "5.", as Jet does
    bool zero = digits.find_first_not_of('0') == std::string::npos;
    return (value < 0 && !zero ? "-" : "") + n.prefix + number + n.suffix;
}

std::string twoDigits(int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", value);
    return buffer;
}

std::string formatDate(Date date, const std::vector<DatePart>& parts) {
    CivilTime c = civilFromDate(date);
    bool twelveHour = false;
    for (const DatePart& part : parts)
        if (part.kind == DatePart::AmPm) twelveHour = true;
    int hour = c.hour;
    if (twelveHour) hour = c.hour % 12 == 0 ? 12 : c.hour % 12;
    std::string out;
    for (const DatePart& part : parts) {
        switch (part.kind) {
            case DatePart::Literal: out += part.text; break;
            case DatePart::Year2: out += twoDigits(c.year % 100); break;
            case DatePart::Year4: {
                char buffer[16];
                std::snprintf(buffer, sizeof buffer, "%04d", c.year);
                out += buffer;
                break;
            }
            case DatePart::Month: out += std::to_string(c.month); break;
            case DatePart::Month2: out += twoDigits(c.month); break;
            case DatePart::Day: out += std::to_string(c.day); break;
            case DatePart::Day2: out += twoDigits(c.day); break;
            case DatePart::Hour: out += std::to_string(hour); break;
            case DatePart::Hour2: out += twoDigits(hour); break;
            case DatePart::Minute: out += std::to_string(c.minute); break;
            case DatePart::Minute2: out += twoDigits(c.minute); break;
            case DatePart::Second: out += std::to_string(c.second); break;
            case DatePart::Second2: out += twoDigits(c.second); break;
            case DatePart::Quarter: out += std::to_string((c.month - 1) / 3 + 1); break;
            case DatePart::AmPm: {
                // "AM/PM" and "A/P" keep the case of the letter written for each half.
                std::size_t slash = part.text.find('/');
                out += c.hour < 12 ? part.text.substr(0, slash) : part.text.substr(slash + 1);
                break;
            }
        }
    }
    return out;
}

// ---- the functions --------------------------------------------------------------------------

SqlValue textResult(const std::optional<std::string>& text) {
    return text ? SqlValue::ofText(*text) : SqlValue::null();
}

SqlValue left(const Args& a) {
    std::optional<std::string> s = toText(a[0], "Left");
    std::int64_t n = wholeArgument(a[1], "Left", "length");
    if (n < 0) fail("Left", "was given a negative length");
    if (!s) return SqlValue::null();
    return SqlValue::ofText(s->substr(0, byteOffset(*s, n)));
}

SqlValue right(const Args& a) {
    std::optional<std::string> s = toText(a[0], "Right");
    std::int64_t n = wholeArgument(a[1], "Right", "length");
    if (n < 0) fail("Right", "was given a negative length");
    if (!s) return SqlValue::null();
    std::int64_t count = codePointCount(*s);
    return SqlValue::ofText(n >= count ? *s : s->substr(byteOffset(*s, count - n)));
}

SqlValue mid(const Args& a) {
    if (a.size() < 2 || a.size() > 3) fail("Mid", "takes two or three arguments");
    std::optional<std::string> s = toText(a[0], "Mid");
    std::int64_t start = wholeArgument(a[1], "Mid", "start");
    if (start < 1) fail("Mid", "was given a start before the first character");
    std::optional<std::int64_t> length;
    if (a.size() == 3) {
        length = wholeArgument(a[2], "Mid", "length");
        if (*length < 0) fail("Mid", "was given a negative length");
    }
    if (!s) return SqlValue::null();
    std::size_t begin = byteOffset(*s, start - 1);
    std::string rest = s->substr(begin);
    return SqlValue::ofText(length ? rest.substr(0, byteOffset(rest, *length)) : rest);
}

SqlValue trim(const Args& a, bool leading, bool trailing, const char* name) {
    std::optional<std::string> s = toText(a[0], name);
    if (!s) return SqlValue::null();
    std::size_t begin = 0, end = s->size();
    if (leading)
        while (begin < end && (*s)[begin] == ' ') ++begin;
    if (trailing)
        while (end > begin && (*s)[end - 1] == ' ') --end;
    return SqlValue::ofText(s->substr(begin, end - begin));
}

// & reads Null as a zero-length text and is Null only when both sides are, where SQLite's || is
// Null when either is; numbers are written as Jet writes them (CStr).
SqlValue concat(const Args& a) {
    if (a[0].isNull() && a[1].isNull()) return SqlValue::null();
    return SqlValue::ofText(toText(a[0], "&").value_or("") + toText(a[1], "&").value_or(""));
}

// + joins two texts, adds two numbers, and reads a text that is wholly a number as that number
// when the other side is one ('1' + 2 = 3; 'a' + 1 is Jet's type mismatch). Unlike &, it is Null
// when either side is. SQLite's + would read 'a' as 0 and never join texts.
SqlValue add(const Args& a) {
    if (a[0].isNull() || a[1].isNull()) return SqlValue::null();
    if (a[0].type == SqlValue::Type::Text && a[1].type == SqlValue::Type::Text)
        return SqlValue::ofText(a[0].bytes + a[1].bytes);
    SqlValue x = toNumber(a[0], "+"), y = toNumber(a[1], "+");
    if (x.type == SqlValue::Type::Integer && y.type == SqlValue::Type::Integer) {
        std::int64_t sum = 0;
        if (!__builtin_add_overflow(x.integer, y.integer, &sum)) return SqlValue::ofInteger(sum);
    }
    return SqlValue::ofReal(x.number() + y.number());
}

// / always divides as real numbers (7 / 2 = 3.5), where SQLite divides two integers as integers;
// dividing by zero is Jet's error, not SQLite's Null.
SqlValue divide(const Args& a) {
    SqlValue x = toNumber(a[0], "/"), y = toNumber(a[1], "/");
    if (x.isNull() || y.isNull()) return SqlValue::null();
    if (y.number() == 0) fail("/", "was asked to divide by zero");
    return SqlValue::ofReal(x.number() / y.number());
}

// \ and Mod first round both sides to whole numbers, half to even (2.5 \ 1 = 2, 7 Mod 2.5 = 1),
// then truncate toward zero; Mod takes the sign of the dividend (-7 Mod 3 = -1). SQLite's % would
// truncate the operands instead of rounding them.
std::optional<std::int64_t> roundedOperand(const SqlValue& value, const char* op) {
    SqlValue x = toNumber(value, op);
    if (x.isNull()) return std::nullopt;
    if (x.type == SqlValue::Type::Integer) return x.integer;
    double r = roundHalfEven(x.real);
    if (!(std::fabs(r) < 9.0e18)) fail(op, "was given a number too large for it");
    return static_cast<std::int64_t>(r);
}

SqlValue integerDivide(const Args& a, bool modulo) {
    const char* op = modulo ? "Mod" : "\\";
    std::optional<std::int64_t> x = roundedOperand(a[0], op), y = roundedOperand(a[1], op);
    if (!x || !y) return SqlValue::null();
    if (*y == 0) fail(op, "was asked to divide by zero");
    return SqlValue::ofInteger(modulo ? *x % *y : *x / *y);
}

SqlValue power(const Args& a) {
    SqlValue x = toNumber(a[0], "^"), y = toNumber(a[1], "^");
    if (x.isNull() || y.isNull()) return SqlValue::null();
    double base = x.number(), exponent = y.number();
    if (base == 0 && exponent < 0) fail("^", "was asked to divide by zero");
    if (base < 0 && exponent != std::trunc(exponent))
        fail("^", "cannot raise a negative number to a fractional power");
    return SqlValue::ofReal(std::pow(base, exponent));
}

SqlValue wholePart(const Args& a, bool towardZero, const char* name) {
    SqlValue x = toNumber(a[0], name);
    if (x.type != SqlValue::Type::Real) return x;
    return SqlValue::ofReal(towardZero ? std::trunc(x.real) : std::floor(x.real));
}

SqlValue val(const Args& a) {
    std::optional<std::string> s = toText(a[0], "Val");
    if (!s) fail("Val", "was given Null");
    // Val reads the longest leading number, skipping blanks, tabs and line feeds anywhere.
    std::string compact;
    for (char ch : *s)
        if (ch != ' ' && ch != '\t' && ch != '\n') compact += ch;
    if (compact.size() > 2 && compact[0] == '&' &&
        (compact[1] == 'H' || compact[1] == 'h' || compact[1] == 'O' || compact[1] == 'o')) {
        int base = (compact[1] == 'H' || compact[1] == 'h') ? 16 : 8;
        return SqlValue::ofInteger(std::strtoll(compact.c_str() + 2, nullptr, base));
    }
    std::size_t i = 0;
    if (i < compact.size() && (compact[i] == '+' || compact[i] == '-')) ++i;
    std::size_t digitsStart = i;
    while (i < compact.size() && std::isdigit(static_cast<unsigned char>(compact[i]))) ++i;
    if (i < compact.size() && compact[i] == '.') {
        ++i;
        while (i < compact.size() && std::isdigit(static_cast<unsigned char>(compact[i]))) ++i;
    }
    if (i == digitsStart || (i == digitsStart + 1 && compact[digitsStart] == '.'))
        return SqlValue::ofInteger(0);
    if (i < compact.size() && (compact[i] == 'e' || compact[i] == 'E' || compact[i] == 'd' ||
                               compact[i] == 'D')) {
        std::size_t j = i + 1;
        if (j < compact.size() && (compact[j] == '+' || compact[j] == '-')) ++j;
        if (j < compact.size() && std::isdigit(static_cast<unsigned char>(compact[j]))) {
            compact[i] = 'e';
            i = j;
            while (i < compact.size() && std::isdigit(static_cast<unsigned char>(compact[i]))) ++i;
        }
    }
    return integerOrReal(std::strtod(compact.substr(0, i).c_str(), nullptr));
}

// ---- conversions: CBool ... CVar, Str, Hex, Oct -------------------------------------------
//
// Jet's conversion functions raise errors where SQLite's CAST would quietly give a value; each of
// those errors fails the statement here, with the function's name:
// - Null given to CBool, CByte, CInt, CLng, CCur, CSng, CDbl, CDec, CStr or CDate is Jet's
//   "Invalid use of Null" (Access shows #Error in that cell); CVar, Str, Hex, Oct, Int and Fix
//   pass Null through.
// - A text that is not wholly a number ("12abc") is Jet's "Type mismatch"; Val instead reads the
//   number the text starts with.
// - A result outside the target type is Jet's "Overflow": CByte 0 to 255, CInt -32768 to 32767,
//   CLng and Hex/Oct 32-bit, CCur +-922,337,203,685,477.5807.
// Rounding to a whole number (CByte, CInt, CLng, Hex, Oct) is half to even, CInt(2.5) = 2 and
// CInt(3.5) = 4; CCur rounds the same way to four decimals.

SqlValue requiredNumber(const Args& a, const char* name) {
    if (a[0].isNull()) fail(name, "was given Null");
    return toNumber(a[0], name);
}

SqlValue convertToNumber(const Args& a, const char* name) {
    return SqlValue::ofReal(requiredNumber(a, name).number());
}

SqlValue convertToWhole(const Args& a, const char* name, std::int64_t low, std::int64_t high) {
    SqlValue x = requiredNumber(a, name);
    double r = x.type == SqlValue::Type::Integer ? static_cast<double>(x.integer) : roundHalfEven(x.real);
    if (!(r >= static_cast<double>(low) && r <= static_cast<double>(high)))
        fail(name, "was given a number outside its range");
    return SqlValue::ofInteger(static_cast<std::int64_t>(r));
}

SqlValue convertToCurrency(const Args& a) {
    SqlValue x = requiredNumber(a, "CCur");
    if (x.type == SqlValue::Type::Integer && std::llabs(x.integer) < 900'000'000'000'000LL)
        return SqlValue::ofReal(static_cast<double>(x.integer));
    double scaled = roundHalfEven(x.number() * 10000.0);
    if (!(std::fabs(scaled) <= 9.223372036854775807e18)) fail("CCur", "was given a number outside its range");
    return SqlValue::ofReal(scaled / 10000.0);
}

// A Single keeps about 7 significant digits; the result is the Double Jet shows for it (1.1, not
// 1.10000002384186), so that texts made from it read as in Access.
SqlValue convertToSingle(const Args& a) {
    double x = requiredNumber(a, "CSng").number();
    if (std::fabs(x) > static_cast<double>(std::numeric_limits<float>::max()))
        fail("CSng", "was given a number outside its range");
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.7g", static_cast<double>(static_cast<float>(x)));
    return SqlValue::ofReal(std::strtod(buffer, nullptr));
}

SqlValue convertToBool(const Args& a) {
    if (a[0].isNull()) fail("CBool", "was given Null");
    if (a[0].type == SqlValue::Type::Text) {
        std::string word = upperAscii(trimSpaces(a[0].bytes));
        if (word == "TRUE") return SqlValue::ofInteger(-1);
        if (word == "FALSE") return SqlValue::ofInteger(0);
    }
    return SqlValue::ofInteger(toNumber(a[0], "CBool").number() != 0 ? -1 : 0);
}

SqlValue convertToText(const Args& a) {
    if (a[0].isNull()) fail("CStr", "was given Null");
    return SqlValue::ofText(*toText(a[0], "CStr"));
}

// Str writes a number with a leading blank where the sign of a negative number would be.
SqlValue numberToText(const Args& a) {
    if (a[0].isNull()) return SqlValue::null();
    SqlValue x = toNumber(a[0], "Str");
    std::string text = *toText(x, "Str");
    return SqlValue::ofText(x.number() < 0 ? text : " " + text);
}

// Hex and Oct of a whole number; a negative one is written as its 32-bit two's complement. A
// negative Integer (16-bit) would be written in four hexadecimal digits instead, and which size
// a stored negative whole number had is not known here, so those are refused.
SqlValue digitsInBase(const Args& a, int base, const char* name) {
    if (a[0].isNull()) return SqlValue::null();
    SqlValue x = toNumber(a[0], name);
    if (x.type == SqlValue::Type::Integer && x.integer < 0 && x.integer >= -32768)
        fail(name, "cannot tell how many digits a negative whole number takes");
    double r = x.type == SqlValue::Type::Integer ? static_cast<double>(x.integer) : roundHalfEven(x.real);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) fail(name, "was given a number outside its range");
    auto bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(r));
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, base == 16 ? "%X" : "%o", bits);
    return SqlValue::ofText(buffer);
}

SqlValue round(const Args& a) {
    if (a.empty() || a.size() > 2) fail("Round", "takes one or two arguments");
    SqlValue x = toNumber(a[0], "Round");
    std::int64_t places = a.size() == 2 ? wholeArgument(a[1], "Round", "number of decimals") : 0;
    if (places < 0) fail("Round", "was given a negative number of decimals");
    if (x.isNull()) return x;
    if (x.type == SqlValue::Type::Integer) return x;
    double scale = std::pow(10.0, static_cast<double>(places));
    double rounded = roundHalfEven(x.real * scale) / scale;
    return places == 0 ? integerOrReal(rounded) : SqlValue::ofReal(rounded);
}

SqlValue datePart(const Args& a, const char* name, int CivilTime::*field) {
    std::optional<Date> date = toDate(a[0], name);
    if (!date) return SqlValue::null();
    CivilTime c = civilFromDate(*date);
    return SqlValue::ofInteger(c.*field);
}

SqlValue weekday(const Args& a) {
    std::optional<Date> date = toDate(a[0], "Weekday");
    if (!date) return SqlValue::null();
    auto day = static_cast<std::int64_t>(std::trunc(*date));  // day 0 was a Saturday
    return SqlValue::ofInteger(((day % 7 + 7 + 6) % 7) + 1);
}

// ---- DatePart, DateAdd, DateDiff ---------------------------------------------------------
//
// Intervals: yyyy years, q quarters, m months, y day of year, d days, w weekdays, ww weeks, h
// hours, n minutes, s seconds. Weeks start on Sunday unless the optional argument names another
// day (1 Sunday ... 7 Saturday; 0, the system's setting, depends on regional settings and is
// refused), and week 1 is the week of 1 January, as Jet's defaults are. A Null date gives Null.

std::string intervalOf(const SqlValue& value, const char* name) {
    std::optional<std::string> interval = toText(value, name);
    if (!interval) fail(name, "was given Null as its interval");
    std::string unit = upperAscii(trimSpaces(*interval));
    for (const char* known : {"YYYY", "Q", "M", "Y", "D", "W", "WW", "H", "N", "S"})
        if (unit == known) return unit;
    fail(name, "does not know the interval '" + *interval + "'");
}

std::int64_t firstDayOfWeek(const Args& a, std::size_t index, const char* name) {
    if (a.size() <= index) return 1;
    std::int64_t first = wholeArgument(a[index], name, "first day of the week");
    if (first == 0) fail(name, "was asked for the system's first day of the week, which depends on regional settings");
    if (first < 1 || first > 7) fail(name, "was given a first day of the week outside 1 to 7");
    return first;
}

// Days since that of the date, and the day's place in a week that starts on `first` (0 for it).
std::int64_t dayOf(Date date) { return static_cast<std::int64_t>(std::trunc(date)); }
std::int64_t placeInWeek(std::int64_t day, std::int64_t first) {
    std::int64_t fromSunday = (day % 7 + 7 + 6) % 7;  // day 0 was a Saturday
    return (fromSunday + 7 - (first - 1)) % 7;
}
std::int64_t secondOfDay(const CivilTime& c) { return c.hour * 3600 + c.minute * 60 + c.second; }

SqlValue datePartOf(const Args& a) {
    if (a.size() < 2 || a.size() > 3) fail("DatePart", "takes two or three arguments");
    std::string unit = intervalOf(a[0], "DatePart");
    std::optional<Date> date = toDate(a[1], "DatePart");
    std::int64_t first = firstDayOfWeek(a, 2, "DatePart");
    if (!date) return SqlValue::null();
    CivilTime c = civilFromDate(*date);
    std::int64_t day = dayOf(*date);
    auto january1 = static_cast<std::int64_t>(dateFromCivil({c.year, 1, 1, 0, 0, 0}));
    std::int64_t dayOfYear = day - january1 + 1;
    std::int64_t result = 0;
    if (unit == "YYYY") result = c.year;
    else if (unit == "Q") result = (c.month - 1) / 3 + 1;
    else if (unit == "M") result = c.month;
    else if (unit == "Y") result = dayOfYear;
    else if (unit == "D") result = c.day;
    else if (unit == "W") result = placeInWeek(day, first) + 1;
    else if (unit == "WW") result = (dayOfYear - 1 + placeInWeek(january1, first)) / 7 + 1;
    else if (unit == "H") result = c.hour;
    else if (unit == "N") result = c.minute;
    else result = c.second;
    return SqlValue::ofInteger(result);
}

// DateAdd moves by whole months (a day past the end of the new month becomes its last day:
// 31 January + 1 month is 28 or 29 February), whole days (y, d and w all count days), or time.
SqlValue dateAdd(const Args& a) {
    std::string unit = intervalOf(a[0], "DateAdd");
    if (a[1].isNull()) fail("DateAdd", "was given Null as its number");
    std::int64_t count = wholeArgument(a[1], "DateAdd", "number");
    std::optional<Date> date = toDate(a[2], "DateAdd");
    if (!date) return SqlValue::null();
    if (count > 4'000'000'000LL || count < -4'000'000'000LL) fail("DateAdd", "gives a date outside the years 100 to 9999");
    CivilTime c = civilFromDate(*date);
    std::int64_t months = unit == "YYYY" ? 12 * count : unit == "Q" ? 3 * count : unit == "M" ? count : 0;
    std::int64_t days = (unit == "Y" || unit == "D" || unit == "W") ? count : unit == "WW" ? 7 * count : 0;
    std::int64_t seconds = unit == "H" ? 3600 * count : unit == "N" ? 60 * count : unit == "S" ? count : 0;
    std::int64_t year = c.year, month = c.month;
    if (months != 0) {
        std::int64_t total = year * 12 + (month - 1) + months;
        year = total >= 0 ? total / 12 : (total - 11) / 12;
        month = total - year * 12 + 1;
        if (year < 100 || year > 9999) fail("DateAdd", "gives a date outside the years 100 to 9999");
        while (!isValidCivilDate(static_cast<int>(year), static_cast<int>(month), c.day)) --c.day;
    }
    auto day = static_cast<std::int64_t>(dateFromCivil({static_cast<int>(year), static_cast<int>(month), c.day, 0, 0, 0}));
    std::int64_t second = secondOfDay(c) + seconds;
    std::int64_t carry = second >= 0 ? second / 86400 : (second - 86399) / 86400;
    day += days + carry;
    second -= carry * 86400;
    CivilTime r = civilFromDate(static_cast<Date>(day));
    if (r.year < 100 || r.year > 9999) fail("DateAdd", "gives a date outside the years 100 to 9999");
    r.hour = static_cast<int>(second / 3600);
    r.minute = static_cast<int>(second / 60 % 60);
    r.second = static_cast<int>(second % 60);
    return integerOrReal(dateFromCivil(r));
}

// DateDiff counts the boundaries crossed from the first date to the second: from 31 December to
// 1 January is one year, from 1:59 to 2:01 one hour. w counts whole weeks of days, ww the first
// days of weeks passed.
SqlValue dateDiff(const Args& a) {
    if (a.size() < 3 || a.size() > 4) fail("DateDiff", "takes three or four arguments");
    std::string unit = intervalOf(a[0], "DateDiff");
    std::optional<Date> from = toDate(a[1], "DateDiff"), to = toDate(a[2], "DateDiff");
    std::int64_t first = firstDayOfWeek(a, 3, "DateDiff");
    if (!from || !to) return SqlValue::null();
    CivilTime c1 = civilFromDate(*from), c2 = civilFromDate(*to);
    std::int64_t day1 = dayOf(*from), day2 = dayOf(*to);
    std::int64_t result = 0;
    if (unit == "YYYY") result = c2.year - c1.year;
    else if (unit == "Q") result = (c2.year * 4 + (c2.month - 1) / 3) - (c1.year * 4 + (c1.month - 1) / 3);
    else if (unit == "M") result = (c2.year * 12 + c2.month) - (c1.year * 12 + c1.month);
    else if (unit == "Y" || unit == "D") result = day2 - day1;
    else if (unit == "W") result = (day2 - day1) / 7;
    else if (unit == "WW") result = ((day2 - placeInWeek(day2, first)) - (day1 - placeInWeek(day1, first))) / 7;
    else if (unit == "H") result = (day2 * 24 + c2.hour) - (day1 * 24 + c1.hour);
    else if (unit == "N") result = (day2 * 1440 + c2.hour * 60 + c2.minute) - (day1 * 1440 + c1.hour * 60 + c1.minute);
    else result = (day2 * 86400 + secondOfDay(c2)) - (day1 * 86400 + secondOfDay(c1));
    return SqlValue::ofInteger(result);
}

// TimeSerial(hours, minutes, seconds): a time, carried into days beyond 24 hours (or before 0).
SqlValue timeSerial(const Args& a) {
    std::int64_t hours = wholeArgument(a[0], "TimeSerial", "hour");
    std::int64_t minutes = wholeArgument(a[1], "TimeSerial", "minute");
    std::int64_t seconds = wholeArgument(a[2], "TimeSerial", "second");
    if (std::llabs(hours) > 10'000'000 || std::llabs(minutes) > 600'000'000 || std::llabs(seconds) > 3'600'000'000LL)
        fail("TimeSerial", "gives a date outside the years 100 to 9999");
    std::int64_t total = hours * 3600 + minutes * 60 + seconds;
    std::int64_t day = total >= 0 ? total / 86400 : (total - 86399) / 86400;
    std::int64_t second = total - day * 86400;
    CivilTime c = civilFromDate(static_cast<Date>(day));
    if (c.year < 100) fail("TimeSerial", "gives a date outside the years 100 to 9999");
    c.hour = static_cast<int>(second / 3600);
    c.minute = static_cast<int>(second / 60 % 60);
    c.second = static_cast<int>(second % 60);
    return integerOrReal(dateFromCivil(c));
}

// DateValue and TimeValue: the day of a date-and-time, and its time of day (on 30 December 1899).
SqlValue dateOrTimeValue(const Args& a, bool day) {
    const char* name = day ? "DateValue" : "TimeValue";
    if (a[0].isNull()) fail(name, "was given Null");
    CivilTime c = civilFromDate(*toDate(a[0], name));
    CivilTime out;
    if (day) {
        out.year = c.year;
        out.month = c.month;
        out.day = c.day;
    } else {
        out.hour = c.hour;
        out.minute = c.minute;
        out.second = c.second;
    }
    return integerOrReal(dateFromCivil(out));
}

// Date(), Now() and Time(): the computer's local date and time, as Access reads its clock.
SqlValue clock(bool withDay, bool withTime) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    CivilTime c{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, 0, 0, 0};
    if (!withDay) c = CivilTime{};
    if (withTime) {
        c.hour = local.tm_hour;
        c.minute = local.tm_min;
        c.second = local.tm_sec;
    }
    return integerOrReal(dateFromCivil(c));
}

SqlValue dateSerial(const Args& a) {
    std::int64_t year = wholeArgument(a[0], "DateSerial", "year");
    std::int64_t month = wholeArgument(a[1], "DateSerial", "month");
    std::int64_t day = wholeArgument(a[2], "DateSerial", "day");
    if (year >= 0 && year < 30) year += 2000;
    else if (year >= 30 && year < 100) year += 1900;
    // Months and days outside their ranges carry into the years and months, as in Jet.
    std::int64_t months = year * 12 + (month - 1);
    year = months >= 0 ? months / 12 : (months - 11) / 12;
    month = months - year * 12 + 1;
    if (year < 100 || year > 9999) fail("DateSerial", "was given a date outside the years 100 to 9999");
    Date first = dateFromCivil({static_cast<int>(year), static_cast<int>(month), 1, 0, 0, 0});
    // Whole day counts add linearly on both sides of 30 December 1899.
    Date result = first + static_cast<double>(day - 1);
    CivilTime check = civilFromDate(result);
    if (check.year < 100 || check.year > 9999)
        fail("DateSerial", "was given a date outside the years 100 to 9999");
    return integerOrReal(result);
}

SqlValue convertToDate(const Args& a) {
    if (a[0].isNull()) fail("CDate", "was given Null");
    return SqlValue::ofReal(*toDate(a[0], "CDate"));
}

SqlValue format(const Args& a) {
    if (a.empty() || a.size() > 2) fail("Format", "takes one or two arguments");
    if (a[0].isNull()) return SqlValue::null();
    if (a.size() == 1 || a[1].isNull()) return textResult(toText(a[0], "Format"));
    std::optional<std::string> pattern = toText(a[1], "Format");
    return SqlValue::ofText(jetFormat(a[0], *pattern));
}

SqlValue sign(const Args& a) {
    SqlValue x = toNumber(a[0], "Sgn");
    if (x.isNull()) return x;
    double v = x.number();
    return SqlValue::ofInteger(v > 0 ? 1 : v < 0 ? -1 : 0);
}

SqlValue absolute(const Args& a) {
    SqlValue x = toNumber(a[0], "Abs");
    if (x.type == SqlValue::Type::Integer && x.integer != std::numeric_limits<std::int64_t>::min())
        return SqlValue::ofInteger(x.integer < 0 ? -x.integer : x.integer);
    if (x.isNull()) return x;
    return SqlValue::ofReal(std::fabs(x.number()));
}

SqlValue squareRoot(const Args& a) {
    SqlValue x = toNumber(a[0], "Sqr");
    if (x.isNull()) return x;
    if (x.number() < 0) fail("Sqr", "was given a negative number");
    return SqlValue::ofReal(std::sqrt(x.number()));
}

SqlValue length(const Args& a) {
    std::optional<std::string> s = toText(a[0], "Len");
    if (!s) return SqlValue::null();
    return SqlValue::ofInteger(codePointCount(*s));
}

// ---- InStr, Replace, Space, Chr, Asc ----------------------------------------------------
//
// In a query, InStr and Replace compare as the database does, without regard to case, unless
// their compare argument is 0 (binary); 1 asks for the same text comparison.

bool textCompare(const Args& a, std::size_t index, const char* name) {
    if (a.size() <= index) return true;
    std::int64_t compare = wholeArgument(a[index], name, "comparison");
    if (compare != 0 && compare != 1) fail(name, "was given a comparison other than 0 or 1");
    return compare == 1;
}

// The index of `needle` in `text` from `from` (0-based), or npos.
std::size_t findText(const std::u32string& text, const std::u32string& needle, std::size_t from, bool folded) {
    if (needle.size() > text.size()) return std::u32string::npos;
    for (std::size_t i = from; i + needle.size() <= text.size(); ++i) {
        bool match = true;
        for (std::size_t k = 0; k < needle.size() && match; ++k)
            match = folded ? sameLetter(text[i + k], needle[k]) : text[i + k] == needle[k];
        if (match) return i;
    }
    return std::u32string::npos;
}

std::string utf8Text(const std::u32string& text) {
    std::string out;
    for (char32_t c : text) appendUtf8(out, c);
    return out;
}

// InStr([start,] text, sought[, compare]): the character position of sought, 0 when absent.
SqlValue inString(const Args& a) {
    if (a.size() < 2 || a.size() > 4) fail("InStr", "takes two to four arguments");
    bool withStart = a.size() >= 3;  // a comparison can be given only after a start
    std::int64_t start = 1;
    std::size_t at = 0;
    if (withStart) {
        if (a[0].isNull()) fail("InStr", "was given Null as its start");
        start = wholeArgument(a[0], "InStr", "start");
        if (start < 1) fail("InStr", "was given a start before the first character");
        at = 1;
    }
    std::optional<std::string> text = toText(a[at], "InStr"), sought = toText(a[at + 1], "InStr");
    bool folded = textCompare(a, at + 2, "InStr");
    if (!text || !sought) return SqlValue::null();
    std::u32string haystack = codePoints(*text);
    if (static_cast<std::size_t>(start) > haystack.size()) return SqlValue::ofInteger(0);
    std::size_t found = findText(haystack, codePoints(*sought), static_cast<std::size_t>(start - 1), folded);
    return SqlValue::ofInteger(found == std::u32string::npos ? 0 : static_cast<std::int64_t>(found) + 1);
}

// Replace(text, find, with): every occurrence, left to right, without overlaps.
SqlValue replaceText(const Args& a) {
    if (a.size() != 3) fail("Replace", "is read with three arguments only");
    std::optional<std::string> text = toText(a[0], "Replace");
    std::optional<std::string> find = toText(a[1], "Replace"), with = toText(a[2], "Replace");
    if (!text) return SqlValue::null();
    if (!find || !with) fail("Replace", "was given Null");
    std::u32string source = codePoints(*text), pattern = codePoints(*find), replacement = codePoints(*with);
    if (pattern.empty()) return SqlValue::ofText(*text);
    std::u32string out;
    std::size_t pos = 0;
    for (;;) {
        std::size_t found = findText(source, pattern, pos, true);
        if (found == std::u32string::npos) break;
        out += source.substr(pos, found - pos) + replacement;
        pos = found + pattern.size();
    }
    return SqlValue::ofText(utf8Text(out + source.substr(pos)));
}

SqlValue spaces(const Args& a) {
    if (a[0].isNull()) return SqlValue::null();
    std::int64_t n = wholeArgument(a[0], "Space", "length");
    if (n < 0 || n > 65535) fail("Space", "was given a length outside 0 to 65535");
    return SqlValue::ofText(std::string(static_cast<std::size_t>(n), ' '));
}

// Chr and Asc above 127 depend on the code page of the computer; ChrW and AscW use Unicode.
SqlValue character(const Args& a, bool wide) {
    const char* name = wide ? "ChrW" : "Chr";
    if (a[0].isNull()) fail(name, "was given Null");
    std::int64_t code = wholeArgument(a[0], name, "character code");
    if (code < 0 || code > (wide ? 0xFFFF : 127) || (code >= 0xD800 && code <= 0xDFFF))
        fail(name, wide ? "was given a character code outside 0 to 65535"
                        : "was given a character code above 127, which depends on the code page");
    return SqlValue::ofText(utf8Of(static_cast<char32_t>(code)));
}

SqlValue characterCode(const Args& a, bool wide) {
    const char* name = wide ? "AscW" : "Asc";
    std::optional<std::string> s = toText(a[0], name);
    if (!s) fail(name, "was given Null");
    if (s->empty()) fail(name, "was given a zero-length text");
    std::size_t pos = 0;
    char32_t c = nextCodePoint(*s, pos);
    if (!wide && c > 127) fail(name, "was given a character above 127, which depends on the code page");
    return SqlValue::ofInteger(static_cast<std::int64_t>(c));
}

SqlValue caseOf(const Args& a, bool upper, const char* name) {
    std::optional<std::string> s = toText(a[0], name);
    if (!s) return SqlValue::null();
    return SqlValue::ofText(upper ? upperText(*s) : lowerText(*s));
}

}  // namespace

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

bool jetLike(std::string_view text, std::string_view pattern) {
    return likeMatch(codePoints(text), parseLike(codePoints(pattern)));
}

std::string unsupportedFormat(std::string_view pattern) {
    std::string upper = upperAscii(pattern);
    if (upper == "GENERAL NUMBER" || upper == "YES/NO" || upper == "TRUE/FALSE" || upper == "ON/OFF")
        return {};
    ParsedPattern parsed = parsePattern(pattern);
    return parsed.kind == PatternKind::Unsupported ? parsed.problem : std::string();
}

std::string jetFormat(const SqlValue& value, std::string_view pattern) {
    std::string upper = upperAscii(pattern);
    auto truth = [&](const char* yes, const char* no) {
        SqlValue x = toNumber(value, "Format");
        return std::string(x.number() != 0 ? yes : no);
    };
    if (upper == "GENERAL NUMBER") return *toText(toNumber(value, "Format"), "Format");
    if (upper == "YES/NO") return truth("Yes", "No");
    if (upper == "TRUE/FALSE") return truth("True", "False");
    if (upper == "ON/OFF") return truth("On", "Off");
    ParsedPattern parsed = parsePattern(pattern);
    switch (parsed.kind) {
        case PatternKind::Number: {
            SqlValue x = toNumber(value, "Format");
            return formatNumber(x.number(), parsed.number);
        }
        case PatternKind::Date: return formatDate(*toDate(value, "Format"), parsed.date);
        case PatternKind::Unsupported: break;
    }
    throw DatabaseError("The function Format cannot use " + parsed.problem);
}

namespace {

// First and Last: the value of the group's first or last row in the order the rows are read,
// Null included (unlike Min and Max, they do not skip Nulls).
class RowValue : public SqlAggregate {
public:
    explicit RowValue(bool last) : last_(last) {}
    void add(const Args& a) override {
        if (!seen_ || last_) value_ = a[0];
        seen_ = true;
    }
    SqlValue result() override { return value_; }

private:
    bool last_;
    bool seen_ = false;
    SqlValue value_;
};

// StDev, StDevP, Var and VarP over the group's non-Null values, by Welford's running mean and sum
// of squared deviations, which stays exact where the naive sum of squares cancels. The sample
// forms (divisor n - 1) are Null below two values, the population forms (divisor n) below one.
class Spread : public SqlAggregate {
public:
    Spread(const char* name, bool sample, bool root) : name_(name), sample_(sample), root_(root) {}
    void add(const Args& a) override {
        SqlValue x = toNumber(a[0], name_);
        if (x.isNull()) return;
        ++count_;
        double delta = x.number() - mean_;
        mean_ += delta / static_cast<double>(count_);
        squares_ += delta * (x.number() - mean_);
    }
    SqlValue result() override {
        std::size_t divisor = sample_ ? count_ - 1 : count_;
        if (count_ == 0 || divisor == 0) return SqlValue::null();
        double variance = std::max(0.0, squares_ / static_cast<double>(divisor));
        return SqlValue::ofReal(root_ ? std::sqrt(variance) : variance);
    }

private:
    const char* name_;
    bool sample_, root_;
    std::size_t count_ = 0;
    double mean_ = 0, squares_ = 0;
};

}  // namespace

void registerJetFunctions(SqliteDatabase& db) {
    using Fn = SqlFunction;
    struct Entry {
        const char* name;
        int arguments;
        Fn function;
    };
    const Entry entries[] = {
        {"like", 2,
         [](const Args& a) {
             // SQLite passes the pattern first: "x LIKE p" calls like(p, x).
             if (a[0].isNull() || a[1].isNull()) return SqlValue::null();
             std::optional<std::string> text = toText(a[1], "Like");
             std::optional<std::string> pattern = toText(a[0], "Like");
             return SqlValue::ofInteger(jetLike(*text, *pattern) ? 1 : 0);
         }},
        {"jet_concat", 2, concat},
        {"jet_add", 2, add},
        {"jet_divide", 2, divide},
        {"jet_intdiv", 2, [](const Args& a) { return integerDivide(a, false); }},
        {"jet_mod", 2, [](const Args& a) { return integerDivide(a, true); }},
        {"jet_power", 2, power},
        {"jet_left", 2, left},
        {"jet_right", 2, right},
        {"jet_mid", -1, mid},
        {"jet_len", 1, length},
        {"jet_trim", 1, [](const Args& a) { return trim(a, true, true, "Trim"); }},
        {"jet_ltrim", 1, [](const Args& a) { return trim(a, true, false, "LTrim"); }},
        {"jet_rtrim", 1, [](const Args& a) { return trim(a, false, true, "RTrim"); }},
        {"jet_ucase", 1, [](const Args& a) { return caseOf(a, true, "UCase"); }},
        {"jet_lcase", 1, [](const Args& a) { return caseOf(a, false, "LCase"); }},
        {"jet_int", 1, [](const Args& a) { return wholePart(a, false, "Int"); }},
        {"jet_fix", 1, [](const Args& a) { return wholePart(a, true, "Fix"); }},
        {"jet_val", 1, val},
        {"jet_cdbl", 1, [](const Args& a) { return convertToNumber(a, "CDbl"); }},
        {"jet_clng", 1,
         [](const Args& a) { return convertToWhole(a, "CLng", -2147483648LL, 2147483647LL); }},
        {"jet_cint", 1, [](const Args& a) { return convertToWhole(a, "CInt", -32768, 32767); }},
        {"jet_cstr", 1, convertToText},
        {"jet_cbyte", 1, [](const Args& a) { return convertToWhole(a, "CByte", 0, 255); }},
        {"jet_ccur", 1, convertToCurrency},
        {"jet_csng", 1, convertToSingle},
        {"jet_cdec", 1, [](const Args& a) { return convertToNumber(a, "CDec"); }},
        {"jet_cbool", 1, convertToBool},
        {"jet_str", 1, numberToText},
        {"jet_hex", 1, [](const Args& a) { return digitsInBase(a, 16, "Hex"); }},
        {"jet_oct", 1, [](const Args& a) { return digitsInBase(a, 8, "Oct"); }},
        {"jet_cdate", 1, convertToDate},
        {"jet_abs", 1, absolute},
        {"jet_sgn", 1, sign},
        {"jet_sqr", 1, squareRoot},
        {"jet_round", -1, round},
        {"jet_year", 1, [](const Args& a) { return datePart(a, "Year", &CivilTime::year); }},
        {"jet_month", 1, [](const Args& a) { return datePart(a, "Month", &CivilTime::month); }},
        {"jet_day", 1, [](const Args& a) { return datePart(a, "Day", &CivilTime::day); }},
        {"jet_hour", 1, [](const Args& a) { return datePart(a, "Hour", &CivilTime::hour); }},
        {"jet_minute", 1, [](const Args& a) { return datePart(a, "Minute", &CivilTime::minute); }},
        {"jet_second", 1, [](const Args& a) { return datePart(a, "Second", &CivilTime::second); }},
        {"jet_weekday", 1, weekday},
        {"jet_dateserial", 3, dateSerial},
        {"jet_datepart", -1, datePartOf},
        {"jet_timeserial", 3, timeSerial},
        {"jet_datevalue", 1, [](const Args& a) { return dateOrTimeValue(a, true); }},
        {"jet_timevalue", 1, [](const Args& a) { return dateOrTimeValue(a, false); }},
        {"jet_at_most_one", 1,
         [](const Args& a) {
             if (a[0].number() > 1) throw DatabaseError("A subquery used as a value gave more than one row");
             return SqlValue::null();
         }},
        {"jet_instr", -1, inString},
        {"jet_replace", -1, replaceText},
        {"jet_space", 1, spaces},
        {"jet_chr", 1, [](const Args& a) { return character(a, false); }},
        {"jet_chrw", 1, [](const Args& a) { return character(a, true); }},
        {"jet_asc", 1, [](const Args& a) { return characterCode(a, false); }},
        {"jet_ascw", 1, [](const Args& a) { return characterCode(a, true); }},
        {"jet_dateadd", 3, dateAdd},
        {"jet_datediff", -1, dateDiff},
        {"jet_date", 0, [](const Args&) { return clock(true, false); }},
        {"jet_now", 0, [](const Args&) { return clock(true, true); }},
        {"jet_time", 0, [](const Args&) { return clock(false, true); }},
        {"jet_format", -1, format},
    };
    for (const Entry& entry : entries) db.createFunction(entry.name, entry.arguments, entry.function);
    db.createAggregate("jet_first", 1, [] { return std::make_unique<RowValue>(false); });
    db.createAggregate("jet_last", 1, [] { return std::make_unique<RowValue>(true); });
    db.createAggregate("jet_stdev", 1, [] { return std::make_unique<Spread>("StDev", true, true); });
    db.createAggregate("jet_stdevp", 1, [] { return std::make_unique<Spread>("StDevP", false, true); });
    db.createAggregate("jet_var", 1, [] { return std::make_unique<Spread>("Var", true, false); });
    db.createAggregate("jet_varp", 1, [] { return std::make_unique<Spread>("VarP", false, false); });
}

}  // namespace pontrel::data
