#include "engine/NumberReading.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "source/Connection.h"

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
    // Most hours and values have two decimals or fewer already. Below 1e9 a double is fine enough
    // that no other decimal text of at most three decimals reads back as it, so its shortest
    // form has two decimals or fewer exactly when the hundredths read back as the value.
    if (std::fabs(value) < 1e9) {
        const double hundredths = std::nearbyint(value * 100.0);
        if (hundredths / 100.0 == value) return value;
    }
    // Shortest decimal form, in scientific notation: d.ddddde±x
    char buffer[64];
    const char* end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific).ptr;
    const char* text = buffer;
    bool negative = *text == '-';
    if (negative) ++text;
    const char* e = std::find(text, end, 'e');
    const char* exponentText = e + 1;
    const bool negativeExponent = *exponentText == '-';
    if (*exponentText == '+' || *exponentText == '-') ++exponentText;
    int exponent = 0;
    std::from_chars(exponentText, end, exponent);
    if (negativeExponent) exponent = -exponent;
    char digits[32];
    std::size_t digitCount = 0;
    for (const char* p = text; p < e; ++p)
        if (*p != '.') digits[digitCount++] = *p;
    // value = 0.digits × 10^(exponent + 1); keep the digits down to the hundredths.
    long long keep = exponent + 1 + 2;
    if (keep >= static_cast<long long>(digitCount)) return value;  // two decimals or fewer
    if (keep < 0) return negative ? -0.0 : 0.0;
    const auto kept = static_cast<std::size_t>(keep);
    char first = digits[kept];
    bool restNonZero = false;
    for (std::size_t i = kept + 1; i < digitCount; ++i) restNonZero = restNonZero || digits[i] != '0';
    bool up = first > '5' ||
              (first == '5' && (restNonZero || (kept > 0 && (digits[kept - 1] - '0') % 2 == 1)));
    // Integer of the kept digits, then scale by 100.
    double whole = 0;
    for (std::size_t i = 0; i < kept; ++i) whole = whole * 10 + (digits[i] - '0');
    if (up) whole += 1;
    char digitsOut[40];
    const auto length = static_cast<std::size_t>(
        std::to_chars(digitsOut, digitsOut + sizeof digitsOut, static_cast<long long>(whole)).ptr - digitsOut);
    // At least three digits, the decimal point before the last two.
    char padded[48];
    std::size_t n = 0;
    for (std::size_t i = length; i < 3; ++i) padded[n++] = '0';
    for (std::size_t i = 0; i < length; ++i) padded[n++] = digitsOut[i];
    char number[48];
    std::memcpy(number, padded, n - 2);
    number[n - 2] = '.';
    std::memcpy(number + n - 1, padded + n - 2, 2);
    n += 1;
    double result = 0;
    std::from_chars(number, number + n, result);
    return negative ? -result : result;
}

double fieldNumber(const data::Recordset& rows, int index) { return fieldNumber(rows.value(index)); }

double fieldNumber(const data::Recordset::Value& value) {
    switch (value.kind()) {
        case data::Recordset::Kind::Integer: return static_cast<double>(value.integer());
        case data::Recordset::Kind::Real: return value.real();
        case data::Recordset::Kind::Text: return leadingNumber(value.textView());
        default: return 0;
    }
}

}  // namespace pontrel
