// Fuzzes the Jet SQL translation and the date literal reader: any text either translates or is
// refused with a DatabaseError; a date literal that reads gives a valid calendar date.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "sqlite/DatabaseError.h"
#include "common/DayCount.h"
#include "jet/JetSql.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    try {
        std::string sql = pontrel::data::translateJetSql(text, "Fuzz");
        (void)sql;
    } catch (const pontrel::data::DatabaseError&) {
    }
    if (auto date = pontrel::data::parseJetDateLiteral(text)) {
        pontrel::data::CivilTime c = pontrel::data::civilFromDate(*date);
        if (!pontrel::data::isValidCivilDate(c.year, c.month, c.day)) std::abort();
    }
    return 0;
}
