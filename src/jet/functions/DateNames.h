#pragma once
// The names of months and weekdays as the user's regional settings write them, for MonthName,
// WeekdayName and Format's mmm, mmmm, ddd and dddd. Access takes them from the system's regional
// settings; here they are ICU's names for the locale of the environment (LC_ALL, then LC_TIME,
// then LANG, as the C library reads them; English when none is set or it is "C"/"POSIX").

#include <string>

namespace pontrel::data::jetfn {

// month 1 to 12; "January" or "Jan" in English.
std::string monthName(int month, bool abbreviated);

// weekday 1 (Sunday) to 7 (Saturday); "Sunday" or "Sun" in English.
std::string weekdayName(int weekday, bool abbreviated);

}  // namespace pontrel::data::jetfn
