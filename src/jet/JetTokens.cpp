#include "jet/JetTokens.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "common/DayCount.h"
#include "jet/JetSql.h"
#include "common/TextBasics.h"

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

namespace jet {

namespace {

bool isWordStart(unsigned char ch) { return std::isalpha(ch) || ch == '_' || ch >= 0x80; }
bool isWordChar(unsigned char ch) { return std::isalnum(ch) || ch == '_' || ch >= 0x80; }

// The ']' that closes the '[' at `open`, counting brackets inside; npos when there is none.
std::size_t closingBracket(std::string_view jet, std::size_t open) {
    int depth = 0;
    for (std::size_t j = open; j < jet.size(); ++j) {
        if (jet[j] == '[') ++depth;
        else if (jet[j] == ']' && --depth == 0) return j;
    }
    return std::string_view::npos;
}

// "[SELECT ...]." : a subquery in Access's old bracketed form, followed by its dot.
bool isBracketedSubquery(std::string_view jet, std::size_t open) {
    std::size_t k = open + 1;
    while (k < jet.size() && std::isspace(static_cast<unsigned char>(jet[k]))) ++k;
    if (upperAscii(jet.substr(k, 6)) != "SELECT" || k + 6 >= jet.size() ||
        !std::isspace(static_cast<unsigned char>(jet[k + 6])))
        return false;
    std::size_t close = closingBracket(jet, open);
    return close != std::string_view::npos && close + 1 < jet.size() && jet[close + 1] == '.';
}

// Both quote characters delimit texts in Jet; a doubled quote stands for itself. The end of the
// text that opens at `i` (past its closing quote), its value in `value`; npos when it is not closed.
std::size_t quotedTextEnd(std::string_view jet, std::size_t i, std::string& value) {
    const char quote = jet[i];
    std::size_t j = i + 1;
    while (j < jet.size()) {
        if (jet[j] == quote) {
            if (j + 1 < jet.size() && jet[j + 1] == quote) {
                value += jet[j];
                j += 2;
                continue;
            }
            return j + 1;
        }
        value += jet[j++];
    }
    return std::string_view::npos;
}

// The end of the number that starts at `i`: digits, a decimal part, an exponent.
std::size_t numberEnd(std::string_view jet, std::size_t i) {
    const std::size_t n = jet.size();
    std::size_t j = i;
    while (j < n && std::isdigit(static_cast<unsigned char>(jet[j]))) ++j;
    if (j < n && jet[j] == '.') {
        ++j;
        while (j < n && std::isdigit(static_cast<unsigned char>(jet[j]))) ++j;
    }
    if (j < n && (jet[j] == 'e' || jet[j] == 'E')) {
        std::size_t k = j + 1;
        if (k < n && (jet[k] == '+' || jet[k] == '-')) ++k;
        if (k < n && std::isdigit(static_cast<unsigned char>(jet[k]))) {
            while (k < n && std::isdigit(static_cast<unsigned char>(jet[k]))) ++k;
            j = k;
        }
    }
    return j;
}

// &H1F and &O17: hexadecimal and octal whole numbers, 32-bit as in Jet (&HFFFFFFFF is -1);
// nullopt when the digits do not make one.
std::optional<std::string> radixLiteral(std::string_view literal) {
    bool hex = literal[1] == 'H' || literal[1] == 'h';
    std::string digits(literal.substr(2));
    bool valid = digits.size() <= (hex ? 8u : 11u);
    for (char d : digits)
        valid = valid && (hex ? std::isxdigit(static_cast<unsigned char>(d)) != 0 : (d >= '0' && d <= '7'));
    if (!valid) return std::nullopt;
    return std::to_string(static_cast<std::int32_t>(std::stoul(digits, nullptr, hex ? 16 : 8)));
}

std::vector<Token> tokenizeText(std::string_view jet, const Messages& messages, int depth) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    const std::size_t n = jet.size();
    std::string lead;
    auto push = [&](Token::Kind kind, std::size_t end, std::string value) {
        Token token;
        token.kind = kind;
        token.text = std::string(jet.substr(i, end - i));
        token.value = std::move(value);
        token.lead = std::move(lead);
        lead.clear();
        tokens.push_back(std::move(token));
        i = end;
    };
    while (i < n) {
        unsigned char ch = static_cast<unsigned char>(jet[i]);
        if (std::isspace(ch)) {
            lead += jet[i++];
        } else if (ch == '\'' || ch == '"') {
            std::string value;
            std::size_t j = quotedTextEnd(jet, i, value);
            if (j == std::string_view::npos) throw messages.refuse("a text without its closing quote");
            push(Token::String, j, value);
        } else if (ch == '[' && isBracketedSubquery(jet, i)) {
            // Access once saved a subquery in FROM as [SELECT ...]. AS x: read it as (SELECT ...).
            std::size_t open = i, close = closingBracket(jet, i);
            push(Token::Symbol, i + 1, "(");
            tokens.back().text = "(";
            if (depth >= 200) throw messages.refuse("more than 200 levels of nesting");
            std::vector<Token> inner = tokenizeText(jet.substr(open + 1, close - open - 1), messages, depth + 1);
            lead = inner.back().lead;
            inner.pop_back();
            for (Token& t : inner) tokens.push_back(std::move(t));
            push(Token::Symbol, close + 2, ")");
            tokens.back().text = ")";
        } else if (ch == '[' || ch == '`') {
            // Access accepts `Order Details` like [Order Details].
            char closing = ch == '[' ? ']' : '`';
            std::size_t j = jet.find(closing, i + 1);
            if (j == std::string_view::npos)
                throw messages.refuse(ch == '[' ? "a name without its closing bracket"
                                                : "a name without its closing '`'");
            push(Token::Name, j + 1, std::string(jet.substr(i + 1, j - i - 1)));
        } else if (ch == '#') {
            std::size_t j = jet.find('#', i + 1);
            if (j == std::string_view::npos) throw messages.refuse("a date without its closing '#'");
            std::string_view inside = jet.substr(i + 1, j - i - 1);
            std::optional<Date> date = parseJetDateLiteral(inside);
            if (!date) throw messages.refuse("the date literal #" + std::string(inside) + "#");
            push(Token::Date, j + 1, formatNumber(*date));
        } else if (std::isdigit(ch) ||
                   (ch == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(jet[i + 1])) &&
                    (tokens.empty() || (tokens.back().kind != Token::Word &&
                                        tokens.back().kind != Token::Name &&
                                        tokens.back().text != ")")))) {
            std::size_t j = numberEnd(jet, i);
            if (j < n && isWordChar(static_cast<unsigned char>(jet[j])))
                throw messages.unreadable("the number '" + std::string(jet.substr(i, j - i + 1)) +
                                          "' runs into a name");
            std::string text(jet.substr(i, j - i));
            push(Token::Number, j, text[0] == '.' ? "0" + text : text);
        } else if (ch == '&' && i + 2 < n && (jet[i + 1] == 'H' || jet[i + 1] == 'h' ||
                                              jet[i + 1] == 'O' || jet[i + 1] == 'o') &&
                   std::isxdigit(static_cast<unsigned char>(jet[i + 2]))) {
            std::size_t j = i + 2;
            while (j < n && isWordChar(static_cast<unsigned char>(jet[j]))) ++j;
            if (std::optional<std::string> value = radixLiteral(jet.substr(i, j - i)))
                push(Token::Number, j, *value);
            else
                push(Token::Symbol, i + 1, "&");
        } else if (isWordStart(ch)) {
            std::size_t j = i;
            while (j < n && isWordChar(static_cast<unsigned char>(jet[j]))) ++j;
            if (j < n && jet[j] == '$') ++j;  // Left$, Mid$, ...: the text-only forms
            push(Token::Word, j, upperAscii(jet.substr(i, j - i)));
        } else {
            std::string two(jet.substr(i, 2));
            if (two == "<=" || two == ">=" || two == "<>") {
                push(Token::Symbol, i + 2, two);
            } else if (std::string_view("(),.*+-/\\^&=<>;!?").find(static_cast<char>(ch)) !=
                       std::string_view::npos) {
                push(Token::Symbol, i + 1, std::string(1, static_cast<char>(ch)));
            } else {
                throw messages.unreadable("the character '" + std::string(1, static_cast<char>(ch)) +
                                          "'");
            }
        }
    }
    Token end;
    end.lead = lead;
    tokens.push_back(end);
    return tokens;
}

}  // namespace

std::vector<Token> tokenize(std::string_view jet, const Messages& messages) {
    return tokenizeText(jet, messages, 0);
}

const std::set<std::string>& reservedWords() {
    static const std::set<std::string> words = {
        "SELECT", "FROM", "WHERE", "GROUP", "BY", "HAVING", "ORDER", "AS", "ON", "JOIN",
        "INNER", "LEFT", "RIGHT", "OUTER", "AND", "OR", "NOT", "XOR", "EQV", "IMP", "MOD",
        "LIKE", "IS", "IN", "BETWEEN", "NULL", "TRUE", "FALSE", "DISTINCT", "DISTINCTROW",
        "TOP", "PERCENT", "UNION", "ALL", "ASC", "DESC", "WITH", "INTO", "EXISTS",
        "PARAMETERS", "TRANSFORM", "PIVOT", "YES", "NO", "OFF", "ANY", "SOME"};
    return words;
}

}  // namespace jet

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

}  // namespace pontrel::data
