#pragma once
// Dates and times as the user's regional settings write them (Qt's default locale, which is the
// system's): the short date with the year always in four digits, since Qt's short forms give
// two, which cannot be read back; the long time without its time-zone part. Used for the day
// list, the proposed shapefile name and the elapsed and remaining times.

#include <QLocale>
#include <QString>
#include <optional>
#include <string>

#include "common/DayCount.h"

namespace pontrel::forms {

// Date and time patterns in Qt's notation.
QString shortDatePattern(const QLocale& locale = QLocale());
QString longTimePattern(const QLocale& locale = QLocale());

// The short date, followed by a blank and the long time when the time of day is not midnight.
std::string dateText(data::Date date, const QLocale& locale = QLocale());

// A date value as a whole: under one day it is a time of day only (a span of seven seconds reads
// as the clock time seven seconds after midnight); otherwise as dateText.
std::string dateValueText(data::Date value, const QLocale& locale = QLocale());

// A typed date: the locale's short date with or without a time of day (long or short form), or
// YYYY-MM-DD with an optional time. Blanks around the text are ignored. The short date may give
// its year in two digits, as users type it: 30 to 99 are 1930 to 1999, 00 to 29 are 2000 to 2029.
std::optional<data::Date> readDate(const std::string& text, const QLocale& locale = QLocale());

// The system clock to the second.
data::Date currentDate();

}  // namespace pontrel::forms
