// Jet's conversion functions CBool ... CDate, Str, Hex and Oct, with the errors Jet raises.
#include "jet/JetFunctions.h"
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

// ---- conversions: CBool ... CVar, Str, Hex, Oct -------------------------------------------
//
// Jet's conversion functions raise errors where SQLite's CAST would quietly give a value; each of
// those errors fails the statement here, with the function's name:
// - Null given to CBool, CByte, CInt, CLng, CCur, CSng, CDbl, CDec, CStr or CDate is Jet's
//   "Invalid use of Null" (Access shows #Error in that cell); CVar, Str, Hex, Oct, Int and Fix
//   pass Null through.
// - A text that is not wholly a number ("12abc") is Jet's "Type mismatch"; Val instead reads the
//   number the text starts with.
// - A result outside the target type is Jet's "Overflow": CByte 0 to 255, CInt -32768 to 32767,
//   CLng and Hex/Oct 32-bit, CCur +-922,337,203,685,477.5807.
// Rounding to a whole number (CByte, CInt, CLng, Hex, Oct) is half to even, CInt(2.5) = 2 and
// CInt(3.5) = 4; CCur rounds the same way to four decimals.

SqlValue requiredNumber(const Args& a, const char* name) {
    if (a[0].isNull()) fail(name, "was given Null");
    return toNumber(a[0], name);
}

SqlValue convertToNumber(const Args& a, const char* name) {
    return SqlValue::ofReal(requiredNumber(a, name).number());
}

SqlValue convertToWhole(const Args& a, const char* name, std::int64_t low, std::int64_t high) {
    SqlValue x = requiredNumber(a, name);
    double r = x.type == SqlValue::Type::Integer ? static_cast<double>(x.integer) : roundHalfEven(x.real);
    if (!(r >= static_cast<double>(low) && r <= static_cast<double>(high)))
        fail(name, "was given a number outside its range");
    return SqlValue::ofInteger(static_cast<std::int64_t>(r));
}

SqlValue convertToCurrency(const Args& a) {
    SqlValue x = requiredNumber(a, "CCur");
    if (x.type == SqlValue::Type::Integer && std::llabs(x.integer) < 900'000'000'000'000LL)
        return SqlValue::ofReal(static_cast<double>(x.integer));
    double scaled = roundHalfEven(x.number() * 10000.0);
    if (!(std::fabs(scaled) <= 9.223372036854775807e18)) fail("CCur", "was given a number outside its range");
    return SqlValue::ofReal(scaled / 10000.0);
}

// A Single keeps about 7 significant digits; the result is the Double Jet shows for it (1.1, not
// 1.10000002384186), so that texts made from it read as in Access.
SqlValue convertToSingle(const Args& a) {
    double x = requiredNumber(a, "CSng").number();
    if (std::fabs(x) > static_cast<double>(std::numeric_limits<float>::max()))
        fail("CSng", "was given a number outside its range");
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.7g", static_cast<double>(static_cast<float>(x)));
    return SqlValue::ofReal(std::strtod(buffer, nullptr));
}

SqlValue convertToBool(const Args& a) {
    if (a[0].isNull()) fail("CBool", "was given Null");
    if (a[0].type == SqlValue::Type::Text) {
        std::string word = upperAscii(trimSpaces(a[0].bytes));
        if (word == "TRUE") return SqlValue::ofInteger(-1);
        if (word == "FALSE") return SqlValue::ofInteger(0);
    }
    return SqlValue::ofInteger(toNumber(a[0], "CBool").number() != 0 ? -1 : 0);
}

SqlValue convertToText(const Args& a) {
    if (a[0].isNull()) fail("CStr", "was given Null");
    return SqlValue::ofText(*toText(a[0], "CStr"));
}

// Str writes a number with a leading blank where the sign of a negative number would be.
SqlValue numberToText(const Args& a) {
    if (a[0].isNull()) return SqlValue::null();
    SqlValue x = toNumber(a[0], "Str");
    std::string text = *toText(x, "Str");
    return SqlValue::ofText(x.number() < 0 ? text : " " + text);
}

// Hex and Oct of a whole number; a negative one is written as its 32-bit two's complement. A
// negative Integer (16-bit) would be written in four hexadecimal digits instead, and which size
// a stored negative whole number had is not known here, so those are refused.
SqlValue digitsInBase(const Args& a, int base, const char* name) {
    if (a[0].isNull()) return SqlValue::null();
    SqlValue x = toNumber(a[0], name);
    if (x.type == SqlValue::Type::Integer && x.integer < 0 && x.integer >= -32768)
        fail(name, "cannot tell how many digits a negative whole number takes");
    double r = x.type == SqlValue::Type::Integer ? static_cast<double>(x.integer) : roundHalfEven(x.real);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) fail(name, "was given a number outside its range");
    auto bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(r));
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, base == 16 ? "%X" : "%o", bits);
    return SqlValue::ofText(buffer);
}

SqlValue convertToDate(const Args& a) {
    if (a[0].isNull()) fail("CDate", "was given Null");
    return SqlValue::ofReal(*toDate(a[0], "CDate"));
}

}  // namespace

void registerConversionFunctions(SqliteDatabase& db) {
    db.createFunction("jet_cdbl", 1, [](const Args& a) { return convertToNumber(a, "CDbl"); });
    db.createFunction("jet_clng", 1,
                      [](const Args& a) { return convertToWhole(a, "CLng", -2147483648LL, 2147483647LL); });
    db.createFunction("jet_cint", 1, [](const Args& a) { return convertToWhole(a, "CInt", -32768, 32767); });
    db.createFunction("jet_cstr", 1, convertToText);
    db.createFunction("jet_cbyte", 1, [](const Args& a) { return convertToWhole(a, "CByte", 0, 255); });
    db.createFunction("jet_ccur", 1, convertToCurrency);
    db.createFunction("jet_csng", 1, convertToSingle);
    db.createFunction("jet_cdec", 1, [](const Args& a) { return convertToNumber(a, "CDec"); });
    db.createFunction("jet_cbool", 1, convertToBool);
    db.createFunction("jet_str", 1, numberToText);
    db.createFunction("jet_hex", 1, [](const Args& a) { return digitsInBase(a, 16, "Hex"); });
    db.createFunction("jet_oct", 1, [](const Args& a) { return digitsInBase(a, 8, "Oct"); });
    db.createFunction("jet_cdate", 1, convertToDate);
}
}  // namespace pontrel::data::jetfn
