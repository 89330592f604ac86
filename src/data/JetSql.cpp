#include "data/JetSql.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "data/DatabaseError.h"

namespace pontrel::data {

namespace {

std::string trimmed(std::string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return std::string(text.substr(begin, end - begin));
}

// Splits "12/31/2001" style text into numbers and separators; false on anything unexpected.
bool splitDate(std::string_view text, int parts[3], int digits[3]) {
    int index = 0;
    std::size_t pos = 0;
    char separator = 0;
    while (index < 3) {
        std::size_t start = pos;
        long value = 0;
        while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
            value = value * 10 + (text[pos] - '0');
            if (value > 99999) return false;
            ++pos;
        }
        if (pos == start) return false;
        parts[index] = static_cast<int>(value);
        digits[index] = static_cast<int>(pos - start);
        ++index;
        if (index == 3) break;
        if (pos >= text.size() || (text[pos] != '/' && text[pos] != '-')) return false;
        if (separator && text[pos] != separator) return false;
        separator = text[pos++];
    }
    return pos == text.size();
}

bool parseTime(std::string_view text, CivilTime& c) {
    std::string t = trimmed(text);
    bool pm = false, am = false;
    if (t.size() >= 2) {
        std::string suffix = t.substr(t.size() - 2);
        for (char& ch : suffix) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        if (suffix == "AM" || suffix == "PM") {
            pm = suffix == "PM";
            am = !pm;
            t = trimmed(std::string_view(t).substr(0, t.size() - 2));
        }
    }
    int values[3] = {0, 0, 0};
    int count = 0;
    std::size_t pos = 0;
    while (count < 3) {
        std::size_t start = pos;
        int value = 0;
        while (pos < t.size() && std::isdigit(static_cast<unsigned char>(t[pos])) && pos - start < 2)
            value = value * 10 + (t[pos++] - '0');
        if (pos == start) return false;
        values[count++] = value;
        if (pos == t.size()) break;
        if (t[pos] != ':') return false;
        ++pos;
    }
    if (pos != t.size() || count < 2) return false;
    int hour = values[0];
    if (am || pm) {
        if (hour < 1 || hour > 12) return false;
        hour = hour % 12 + (pm ? 12 : 0);
    }
    if (hour > 23 || values[1] > 59 || values[2] > 59) return false;
    c.hour = hour;
    c.minute = values[1];
    c.second = values[2];
    return true;
}

int expandYear(int year, int digits) {
    if (digits > 2) return year;
    return year < 30 ? 2000 + year : 1900 + year;
}

std::string formatNumber(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

}  // namespace

std::optional<Date> parseJetDateLiteral(std::string_view inside) {
    std::string text = trimmed(inside);
    if (text.empty()) return std::nullopt;
    CivilTime c;
    std::string datePart = text, timePart;
    std::size_t space = text.find(' ');
    if (text.find(':') != std::string::npos && (space == std::string::npos || text.find(':') < space)) {
        // A time alone is a time on 30 December 1899.
        if (!parseTime(text, c)) return std::nullopt;
        return dateFromCivil(c);
    }
    if (space != std::string::npos) {
        datePart = text.substr(0, space);
        timePart = text.substr(space + 1);
    }
    int parts[3], digits[3];
    if (!splitDate(datePart, parts, digits)) return std::nullopt;
    if (digits[0] >= 3) {
        c.year = parts[0];
        c.month = parts[1];
        c.day = parts[2];
    } else {
        c.month = parts[0];
        c.day = parts[1];
        c.year = expandYear(parts[2], digits[2]);
    }
    if (!isValidCivilDate(c.year, c.month, c.day)) return std::nullopt;
    if (!timePart.empty() && !parseTime(timePart, c)) return std::nullopt;
    return dateFromCivil(c);
}

std::string sqlQuote(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '\'';
    for (char ch : text) {
        if (ch == '\'') out += '\'';
        out += ch;
    }
    out += '\'';
    return out;
}

std::string translateJetSql(std::string_view jet, std::string_view context) {
    auto refuse = [&](const std::string& what) -> DatabaseError {
        std::string where = context.empty() ? std::string("The statement")
                                            : "The query '" + std::string(context) + "'";
        return DatabaseError(where + " uses " + what + ", which cannot be translated");
    };
    std::string out;
    out.reserve(jet.size() + 16);
    std::size_t i = 0;
    const std::size_t n = jet.size();
    while (i < n) {
        char ch = jet[i];
        if (ch == '\'' || ch == '"') {
            // Both quote characters delimit texts in Jet; a doubled quote stands for itself.
            std::string value;
            std::size_t j = i + 1;
            bool closed = false;
            while (j < n) {
                if (jet[j] == ch) {
                    if (j + 1 < n && jet[j + 1] == ch) {
                        value += ch;
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                value += jet[j++];
            }
            if (!closed) throw refuse("a text without its closing quote");
            out += sqlQuote(value);
            i = j;
        } else if (ch == '[') {
            std::size_t j = jet.find(']', i + 1);
            if (j == std::string_view::npos) throw refuse("a name without its closing bracket");
            out += '"';
            for (char c : jet.substr(i + 1, j - i - 1)) {
                if (c == '"') out += '"';
                out += c;
            }
            out += '"';
            i = j + 1;
        } else if (ch == '#') {
            std::size_t j = jet.find('#', i + 1);
            if (j == std::string_view::npos) throw refuse("a date without its closing '#'");
            std::string_view inside = jet.substr(i + 1, j - i - 1);
            std::optional<Date> date = parseJetDateLiteral(inside);
            if (!date) throw refuse("the date literal #" + std::string(inside) + "#");
            out += formatNumber(*date);
            i = j + 1;
        } else if (ch == '&') {
            out += "||";
            ++i;
        } else if (std::isalpha(static_cast<unsigned char>(ch)) || ch == '_') {
            std::size_t j = i;
            while (j < n && (std::isalnum(static_cast<unsigned char>(jet[j])) || jet[j] == '_')) ++j;
            std::string word(jet.substr(i, j - i));
            std::string upper = word;
            for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (upper == "TRUE")
                out += "(-1)";
            else if (upper == "FALSE")
                out += "0";
            else
                out += word;
            i = j;
        } else {
            out += ch;
            ++i;
        }
    }
    return out;
}

}  // namespace pontrel::data
