#include "engine/NumberReading.h"

#include <charconv>
#include <cmath>
#include <string>

#include "data/Connection.h"

namespace pontrel {

namespace {

bool isBlank(char ch) { return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r'; }

}  // namespace

double leadingNumber(std::string_view input) {
    std::string text;
    text.reserve(input.size());
    for (char ch : input)
        if (!isBlank(ch)) text += ch;

    if (text.size() >= 2 && text[0] == '&') {
        char prefix = static_cast<char>(text[1] | 0x20);
        int base = prefix == 'h' ? 16 : (prefix == 'o' ? 8 : 0);
        if (base != 0) {
            double value = 0;
            for (std::size_t i = 2; i < text.size(); ++i) {
                int digit;
                char ch = text[i];
                if (ch >= '0' && ch <= '9') digit = ch - '0';
                else if (base == 16 && (ch | 0x20) >= 'a' && (ch | 0x20) <= 'f') digit = (ch | 0x20) - 'a' + 10;
                else break;
                if (digit >= base) break;
                value = value * base + digit;
            }
            return value;
        }
        return 0;
    }

    // Collect the longest prefix of the form [sign] digits [. digits] [(E|D) [sign] digits].
    std::string number;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
    bool digits = false, period = false;
    while (i < text.size()) {
        char ch = text[i];
        if (ch >= '0' && ch <= '9') {
            digits = true;
        } else if (ch == '.' && !period) {
            period = true;
        } else {
            break;
        }
        number += ch;
        ++i;
    }
    if (!digits) return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
        std::size_t start = j;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') exponent += text[j++];
        if (j > start) number += exponent;
    }
    double value = 0;
    const char* begin = number.data();
    if (*begin == '+') ++begin;
    auto result = std::from_chars(begin, number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        return std::strtod(number.c_str(), nullptr);  // saturates to infinity or zero
    return value;
}

double roundTo2Decimals(double value) {
    if (!std::isfinite(value)) return value;
    // Shortest decimal form, in scientific notation: d.ddddde±x
    char buffer[64];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific).ptr;
    std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
    bool negative = text.front() == '-';
    if (negative) text.remove_prefix(1);
    std::size_t e = text.find('e');
    int exponent = std::stoi(std::string(text.substr(e + 1)));
    std::string digits;
    for (char ch : text.substr(0, e))
        if (ch != '.') digits += ch;
    // value = 0.digits × 10^(exponent + 1); keep the digits down to the hundredths.
    long long keep = exponent + 1 + 2;
    if (keep >= static_cast<long long>(digits.size())) return value;  // two decimals or fewer
    if (keep < 0) return negative ? -0.0 : 0.0;
    std::string kept = digits.substr(0, static_cast<std::size_t>(keep));
    char first = digits[static_cast<std::size_t>(keep)];
    bool restNonZero = digits.find_first_not_of('0', static_cast<std::size_t>(keep) + 1) != std::string::npos;
    bool up = first > '5' || (first == '5' && (restNonZero || (!kept.empty() && (kept.back() - '0') % 2 == 1)));
    // Integer of the kept digits, then scale by 100.
    double whole = 0;
    for (char ch : kept) whole = whole * 10 + (ch - '0');
    if (up) whole += 1;
    std::string out = std::to_string(static_cast<long long>(whole));
    // Place the decimal point two digits from the right.
    while (out.size() < 3) out.insert(out.begin(), '0');
    out.insert(out.end() - 2, '.');
    double result = 0;
    std::from_chars(out.data(), out.data() + out.size(), result);
    return negative ? -result : result;
}

double fieldNumber(const data::Recordset& rows, int index) {
    switch (rows.kind(index)) {
        case data::Recordset::Kind::Integer: return static_cast<double>(rows.integer(index));
        case data::Recordset::Kind::Real: return rows.real(index);
        case data::Recordset::Kind::Text: return leadingNumber(rows.textView(index));
        default: return 0;
    }
}

}  // namespace pontrel
