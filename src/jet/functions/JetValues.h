#pragma once
// What the Jet functions share: Jet's conversions of an argument to a number, a text, a whole
// number or a date (failing the statement with the function's name where Jet raises an error, as
// SQLite's CAST would not), UTF-8 code points (Jet counts characters, not bytes), and the
// registration of each family of functions on an SQLite handle (gathered by registerJetFunctions).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/DayCount.h"
#include "sqlite/Sqlite.h"

namespace pontrel::data::jetfn {

using Args = std::vector<SqlValue>;

// Fails the statement: "The function Left was given ..." ("The operator & ..." for operators).
[[noreturn]] void fail(const std::string& function, const std::string& problem);

// ---- UTF-8
char32_t nextCodePoint(std::string_view text, std::size_t& pos);
std::u32string codePoints(std::string_view text);
// The byte offset of the first `count` code points (the whole text when it has fewer).
std::size_t byteOffset(std::string_view text, std::int64_t count);
std::int64_t codePointCount(std::string_view text);
std::string utf8Of(char32_t c);
std::string utf8Text(const std::u32string& text);
// Letters compare without regard to case, accents count.
bool sameLetter(char32_t a, char32_t b);

// ---- conversions of arguments
std::string trimSpaces(std::string_view text);
// A text that is wholly a number, as Jet reads it; nullopt when it is not one.
std::optional<SqlValue> numberFromText(std::string_view raw);
// The value as a number (Null stays Null); a text that is not a number is Jet's type mismatch.
SqlValue toNumber(const SqlValue& value, const std::string& function);
// The value as Jet writes it as text; nullopt for Null.
std::optional<std::string> toText(const SqlValue& value, const std::string& function);
// A whole-number argument (rounded half to even), named `what` in messages; Null fails.
std::int64_t wholeArgument(const SqlValue& value, const std::string& function, const char* what);
double roundHalfEven(double value);
// The value as a date (a day count); nullopt for Null.
std::optional<Date> toDate(const SqlValue& value, const std::string& function);
SqlValue integerOrReal(double value);
SqlValue textResult(const std::optional<std::string>& text);

// ---- the families, each putting its jet_* functions on the handle
void registerTextFunctions(SqliteDatabase& db);
void registerNumberFunctions(SqliteDatabase& db);
void registerConversionFunctions(SqliteDatabase& db);
void registerDateFunctions(SqliteDatabase& db);
void registerFormatFunction(SqliteDatabase& db);

}  // namespace pontrel::data::jetfn
