#include "common/DayCount.h"

#include <cmath>
#include <cstdio>

namespace pontrel::data {

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date.
constexpr long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, int& year, int& month, int& day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

// Computed at compile time, so dates are right even in other files' static initialisers.
constexpr long long kEpochDays = daysFromCivil(1899, 12, 30);

}  // namespace

bool isValidCivilDate(int year, int month, int day) {
    static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= lengths[month - 1] + (month == 2 && leap ? 1 : 0);
}

Date dateFromCivil(const CivilTime& c) {
    double days = static_cast<double>(daysFromCivil(c.year, c.month, c.day) - kEpochDays);
    double fraction = (c.hour * 3600.0 + c.minute * 60.0 + c.second) / 86400.0;
    return days >= 0 ? days + fraction : days - fraction;
}

CivilTime civilFromDate(Date date) {
    double whole = std::trunc(date);
    long long seconds = std::llround(std::fabs(date - whole) * 86400.0);
    long long days = static_cast<long long>(whole);
    if (seconds >= 86400) {  // rounding carried into the next day
        seconds -= 86400;
        days += date < 0 ? -1 : 1;
    }
    CivilTime c;
    civilFromDays(days + kEpochDays, c.year, c.month, c.day);
    c.hour = static_cast<int>(seconds / 3600);
    c.minute = static_cast<int>(seconds / 60 % 60);
    c.second = static_cast<int>(seconds % 60);
    return c;
}

namespace {

bool readDigits(std::string_view text, std::size_t& pos, std::size_t count, int& value) {
    if (pos + count > text.size()) return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        char ch = text[pos + i];
        if (ch < '0' || ch > '9') return false;
        value = value * 10 + (ch - '0');
    }
    pos += count;
    return true;
}

bool expect(std::string_view text, std::size_t& pos, char ch) {
    if (pos < text.size() && text[pos] == ch) {
        ++pos;
        return true;
    }
    return false;
}

}  // namespace

std::optional<Date> parseIsoDate(std::string_view text) {
    CivilTime c;
    std::size_t pos = 0;
    if (!readDigits(text, pos, 4, c.year) || !expect(text, pos, '-') ||
        !readDigits(text, pos, 2, c.month) || !expect(text, pos, '-') ||
        !readDigits(text, pos, 2, c.day) || !isValidCivilDate(c.year, c.month, c.day))
        return std::nullopt;
    double fraction = 0;
    if (pos < text.size()) {
        if (text[pos] != ' ' && text[pos] != 'T') return std::nullopt;
        ++pos;
        if (!readDigits(text, pos, 2, c.hour) || !expect(text, pos, ':') ||
            !readDigits(text, pos, 2, c.minute))
            return std::nullopt;
        if (expect(text, pos, ':')) {
            if (!readDigits(text, pos, 2, c.second)) return std::nullopt;
            if (expect(text, pos, '.')) {
                double scale = 0.1;
                std::size_t start = pos;
                while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
                    fraction += (text[pos++] - '0') * scale;
                    scale /= 10;
                }
                if (pos == start) return std::nullopt;
            }
        }
        if (pos != text.size() || c.hour > 23 || c.minute > 59 || c.second > 59)
            return std::nullopt;
    }
    Date date = dateFromCivil(c);
    if (fraction >= 0.5) date = dateFromCivil(c) + (date >= 0 ? 1.0 : -1.0) / 86400.0;
    return date;
}

std::string isoDateText(Date date) {
    CivilTime c = civilFromDate(date);
    char buffer[32];
    if (c.hour == 0 && c.minute == 0 && c.second == 0)
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", c.year, c.month, c.day);
    else
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d", c.year, c.month,
                      c.day, c.hour, c.minute, c.second);
    return buffer;
}

}  // namespace pontrel::data
