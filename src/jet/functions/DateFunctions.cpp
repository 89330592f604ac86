// Jet's date functions: Year ... Second, Weekday, DatePart, DateAdd, DateDiff, DateSerial,
// TimeSerial, DateValue, TimeValue, Date, Now and Time.
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

// MonthName(month[, abbreviate]) and WeekdayName(weekday[, abbreviate[, first day of the week]]):
// the names of the regional settings; the weekday counts from the first day of the week.
SqlValue monthNameOf(const Args& a) {
    if (a.empty() || a.size() > 2) fail("MonthName", "takes one or two arguments");
    std::int64_t month = wholeArgument(a[0], "MonthName", "month");
    if (month < 1 || month > 12) fail("MonthName", "was given a month outside 1 to 12");
    bool abbreviated = a.size() == 2 && toNumber(a[1], "MonthName").number() != 0;
    return SqlValue::ofText(monthName(static_cast<int>(month), abbreviated));
}

SqlValue weekdayNameOf(const Args& a) {
    if (a.empty() || a.size() > 3) fail("WeekdayName", "takes one to three arguments");
    std::int64_t weekday = wholeArgument(a[0], "WeekdayName", "weekday");
    if (weekday < 1 || weekday > 7) fail("WeekdayName", "was given a weekday outside 1 to 7");
    bool abbreviated = a.size() >= 2 && toNumber(a[1], "WeekdayName").number() != 0;
    std::int64_t first = firstDayOfWeek(a, 2, "WeekdayName");
    return SqlValue::ofText(weekdayName(static_cast<int>((first - 1 + weekday - 1) % 7 + 1), abbreviated));
}

}  // namespace

void registerDateFunctions(SqliteDatabase& db) {
    db.createFunction("jet_year", 1, [](const Args& a) { return datePart(a, "Year", &CivilTime::year); });
    db.createFunction("jet_month", 1, [](const Args& a) { return datePart(a, "Month", &CivilTime::month); });
    db.createFunction("jet_day", 1, [](const Args& a) { return datePart(a, "Day", &CivilTime::day); });
    db.createFunction("jet_hour", 1, [](const Args& a) { return datePart(a, "Hour", &CivilTime::hour); });
    db.createFunction("jet_minute", 1, [](const Args& a) { return datePart(a, "Minute", &CivilTime::minute); });
    db.createFunction("jet_second", 1, [](const Args& a) { return datePart(a, "Second", &CivilTime::second); });
    db.createFunction("jet_weekday", 1, weekday);
    db.createFunction("jet_dateserial", 3, dateSerial);
    db.createFunction("jet_datepart", -1, datePartOf);
    db.createFunction("jet_timeserial", 3, timeSerial);
    db.createFunction("jet_datevalue", 1, [](const Args& a) { return dateOrTimeValue(a, true); });
    db.createFunction("jet_timevalue", 1, [](const Args& a) { return dateOrTimeValue(a, false); });
    db.createFunction("jet_dateadd", 3, dateAdd);
    db.createFunction("jet_datediff", -1, dateDiff);
    db.createFunction("jet_date", 0, [](const Args&) { return clock(true, false); });
    db.createFunction("jet_now", 0, [](const Args&) { return clock(true, true); });
    db.createFunction("jet_time", 0, [](const Args&) { return clock(false, true); });
    db.createFunction("jet_monthname", -1, monthNameOf);
    db.createFunction("jet_weekdayname", -1, weekdayNameOf);
}
}  // namespace pontrel::data::jetfn
