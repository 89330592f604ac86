// Jet's Format function: number patterns (0 # , . %) and date patterns (y m d h n s AM/PM q),
// and the named formats that do not depend on regional settings.
#include "jet/JetFunctions.h"
#include "jet/functions/DateNames.h"
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

namespace {

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
    enum Kind { Literal, Year2, Year4, Month, Month2, MonthShort, MonthLong, Day, Day2, DayShort, DayLong,
                Hour, Hour2, Minute, Minute2, Second, Second2, AmPm, Quarter } kind = Literal;
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
                // mmm and mmmm: the month's name, abbreviated or in full, by regional settings.
                if (run == 3 || run == 4) parts.push_back({run == 3 ? DatePart::MonthShort : DatePart::MonthLong, {}});
                else if (run > 4) return unsupported("the placeholder mmmmm");
                else if (afterHour) parts.push_back({run == 2 ? DatePart::Minute2 : DatePart::Minute, {}});
                else parts.push_back({run == 2 ? DatePart::Month2 : DatePart::Month, {}});
                break;
            case 'd':
                if (run > 4) return unsupported("the regional date (ddddd)");
                if (run == 3 || run == 4) parts.push_back({run == 3 ? DatePart::DayShort : DatePart::DayLong, {}});
                else parts.push_back({run == 2 ? DatePart::Day2 : DatePart::Day, {}});
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

// 1 (Sunday) to 7 (Saturday); day 0 was a Saturday.
int weekdayOf(Date date) {
    auto day = static_cast<std::int64_t>(std::trunc(date));
    return static_cast<int>(((day % 7 + 7 + 6) % 7) + 1);
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
            case DatePart::MonthShort: out += monthName(c.month, true); break;
            case DatePart::MonthLong: out += monthName(c.month, false); break;
            case DatePart::DayShort: out += weekdayName(weekdayOf(date), true); break;
            case DatePart::DayLong: out += weekdayName(weekdayOf(date), false); break;
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

SqlValue format(const Args& a) {
    if (a.empty() || a.size() > 2) fail("Format", "takes one or two arguments");
    if (a[0].isNull()) return SqlValue::null();
    if (a.size() == 1 || a[1].isNull()) return textResult(toText(a[0], "Format"));
    std::optional<std::string> pattern = toText(a[1], "Format");
    return SqlValue::ofText(jetFormat(a[0], *pattern));
}

}  // namespace

void registerFormatFunction(SqliteDatabase& db) { db.createFunction("jet_format", -1, format); }

}  // namespace pontrel::data::jetfn

namespace pontrel::data {

using namespace jetfn;

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

}  // namespace pontrel::data
