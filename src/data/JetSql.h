#pragma once
// The Jet SQL dialect: translates the statements the program sends, and the saved queries of
// Access files, into SQLite's SQL so that they run unchanged on the working database. A construct
// that cannot be given the same meaning is refused with a DatabaseError, never run differently.

#include <optional>
#include <string>
#include <string_view>

#include "data/DayCount.h"

namespace pontrel::data {

// `context` names the statement's origin (a saved query's name) in error messages.
std::string translateJetSql(std::string_view jet, std::string_view context = {});

// The text between the hash signs of a Jet date literal: month first (m/d/yyyy, m-d-yyyy), or
// year first (yyyy-m-d), optionally with a time (h:mm[:ss] [AM|PM]), or a time alone.
std::optional<Date> parseJetDateLiteral(std::string_view inside);

// A text as an SQL string literal, apostrophes doubled.
std::string sqlQuote(std::string_view text);

}  // namespace pontrel::data
