#include "jet/functions/DateNames.h"

#include <unicode/dtfmtsym.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <cstdlib>
#include <memory>
#include <mutex>

#include "sqlite/DatabaseError.h"

namespace pontrel::data::jetfn {

namespace {

// The locale of the environment's dates, as ICU names it ("de_DE.UTF-8" is "de_DE").
icu::Locale environmentLocale() {
    std::string name;
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) {
            name = value;
            break;
        }
    }
    name = name.substr(0, name.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX") name = "en_US";
    return icu::Locale(name.c_str());
}

// The locale's names, read once for the process.
const icu::DateFormatSymbols& symbols() {
    static std::once_flag once;
    static std::unique_ptr<icu::DateFormatSymbols> read;
    std::call_once(once, [] {
        UErrorCode status = U_ZERO_ERROR;
        read = std::make_unique<icu::DateFormatSymbols>(environmentLocale(), status);
        if (U_FAILURE(status)) {
            status = U_ZERO_ERROR;
            read = std::make_unique<icu::DateFormatSymbols>(icu::Locale::getUS(), status);
        }
    });
    if (!read) throw DatabaseError("The names of months and weekdays of the regional settings cannot be read");
    return *read;
}

std::string utf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

icu::DateFormatSymbols::DtWidthType widthOf(bool abbreviated) {
    return abbreviated ? icu::DateFormatSymbols::ABBREVIATED : icu::DateFormatSymbols::WIDE;
}

}  // namespace

std::string monthName(int month, bool abbreviated) {
    int32_t count = 0;
    const icu::UnicodeString* names =
        symbols().getMonths(count, icu::DateFormatSymbols::FORMAT, widthOf(abbreviated));
    if (month < 1 || month > count) return {};
    return utf8(names[month - 1]);
}

std::string weekdayName(int weekday, bool abbreviated) {
    int32_t count = 0;  // ICU's weekdays are 1 (Sunday) to 7, after an empty first entry
    const icu::UnicodeString* names =
        symbols().getWeekdays(count, icu::DateFormatSymbols::FORMAT, widthOf(abbreviated));
    if (weekday < 1 || weekday >= count) return {};
    return utf8(names[weekday]);
}

}  // namespace pontrel::data::jetfn
