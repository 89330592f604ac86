#pragma once
// Dates as the program holds them: a day count in a double, days since 30 December 1899, with the
// time of day as the fraction. Before that day the whole part counts back while the fraction
// still runs forward (-1.25 is 29 December 1899, 06:00), as Access stores them.

#include <optional>
#include <string>
#include <string_view>

namespace pontrel::data {

using Date = double;

struct CivilTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

Date dateFromCivil(const CivilTime& civil);
// To the nearest second.
CivilTime civilFromDate(Date date);
bool isValidCivilDate(int year, int month, int day);

// YYYY-MM-DD, optionally followed by a blank or T and HH:MM or HH:MM:SS (fractions of a second
// accepted and rounded). Nothing else.
std::optional<Date> parseIsoDate(std::string_view text);
// YYYY-MM-DD, with THH:MM:SS appended when the time of day is not midnight.
std::string isoDateText(Date date);

}  // namespace pontrel::data
