#pragma once
// The Jet functions and operators whose SQLite namesakes compute something else (Left, Mid,
// Format, Int, the & and / operators, Like patterns, ...). registerJetFunctions puts them on an
// SQLite handle under jet_* names, and `like` under its own name, so that translated Jet SQL gives
// the results Jet gives. Where Jet raises an error, these fail the statement with a message.

#include <string>
#include <string_view>

#include "sqlite/Sqlite.h"

namespace pontrel::data {

void registerJetFunctions(SqliteDatabase& db);

// Jet's Like: * any run, ? one character, # one digit, [abc], [a-z], [!abc]; letters compare
// without regard to case. Throws DatabaseError for a pattern Jet rejects (an unclosed '[').
bool jetLike(std::string_view text, std::string_view pattern);

// Formats as Jet's Format function does with a pattern; throws DatabaseError naming the part of
// the pattern that is not supported (the named date formats depend on the user's regional
// settings and are refused; month and day names are those of the locale, see DateNames.h).
std::string jetFormat(const SqlValue& value, std::string_view pattern);
// An empty text when the pattern is supported, otherwise what is not (for translation time).
std::string unsupportedFormat(std::string_view pattern);

// A number as Jet turns it into text (CStr, &): up to 15 significant digits, "1E+16" style.
std::string jetNumberText(double value);

}  // namespace pontrel::data
