#pragma once
// The Jet SQL dialect: parses the statements the program sends, and the saved queries of Access
// files, and writes them in SQLite's SQL with Jet's meaning: Jet's operator precedence, & and +
// on texts, / and \ and Mod, True = -1, Like patterns, TOP with ties, DISTINCTROW, subqueries
// with ANY and ALL, texts compared without regard to case, and the common Jet functions
// (computed by the jet_* functions of JetFunctions, in functions/). The stages are JetTokens,
// JetSyntax, and the writer of JetTranslator.h (JetWriter.h), which binds names with JetBinder.
// A construct that cannot be given the same meaning is refused with a DatabaseError naming it,
// never run differently.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/DayCount.h"

namespace pontrel::data {

// What a value is known to be while translating; Unknown when no schema tells.
enum class JetType { Unknown, Null, Text, Number, Date, Bool, Binary };

// The tables and queries a statement reads, as far as the caller knows them.
class JetSchema {
public:
    struct Column {
        std::string name;
        JetType type = JetType::Unknown;
    };
    struct Relation {
        std::vector<Column> columns;
    };
    virtual ~JetSchema() = default;
    // The relation named (without regard to case); nullopt when it is not known.
    virtual std::optional<Relation> relation(const std::string& name) = 0;
};

struct JetTranslateOptions {
    std::string_view context;    // names the statement's origin (a saved query) in messages
    JetSchema* schema = nullptr;
    // A saved query becomes a view: unnamed expressions get Jet's names (Expr1000, ...), text
    // expressions keep Jet's case-blind comparison, and columns that a '*' brings twice are
    // named by their source ("Table1.col1"), as Jet names them.
    bool savedQuery = false;
};

struct JetTranslation {
    struct Column {
        std::string relation;  // a table or query, as written
        std::string column;
    };
    std::string sql;
    std::vector<std::string> relations;  // every table or query named, as written, once each
    // The columns that joins compare for equality: worth an index when their table is large.
    std::vector<Column> joinColumns;
    // The conditions "a.x = b.y" among them whose two sides are both such columns; `inner`
    // when an INNER JOIN's ON clause holds it (SQLite may then read either table first).
    struct Join {
        Column left, right;
        bool inner = true;
    };
    std::vector<Join> joins;
};

JetTranslation translateJet(std::string_view jet, const JetTranslateOptions& options);

// Translation of a statement with nothing known about the tables it reads.
std::string translateJetSql(std::string_view jet, std::string_view context = {});

// The type a column declared in SQLite with this type name holds (as the loaders declare them).
JetType jetTypeOfDeclared(std::string_view declared);

// The text between the hash signs of a Jet date literal: month first (m/d/yyyy, m-d-yyyy), or
// year first (yyyy-m-d), optionally with a time (h:mm[:ss] [AM|PM]), or a time alone.
std::optional<Date> parseJetDateLiteral(std::string_view inside);

// A text as an SQL string literal, apostrophes doubled.
std::string sqlQuote(std::string_view text);

// A name as an SQL identifier, quoted when it is not a plain word or is an SQL keyword.
std::string sqlName(std::string_view name);

// The name a table or query of the user's database has in SQLite. SQLite keeps names beginning
// with "sqlite_" for itself, while Access allows them: such a name gets the prefix kPrivatePrefix,
// whose '!' no Access name holds, so it meets no other name. Other names are kept as they are.
inline constexpr std::string_view kPrivatePrefix = "pontrel!";
std::string relationName(std::string_view name);
// A message of SQLite's with the names relationName() changed given back as the user wrote them.
std::string withUserNames(std::string message);

}  // namespace pontrel::data
