#pragma once
// A piece of translated SQL as the writer passes it up the tree: its text (with the blanks the
// Jet text had before it), what it is known to be, and how tightly it binds, so that the writer
// adds parentheses only where SQLite's precedence differs from Jet's, and turns SQLite's 1/0
// truth values into Jet's -1/0 where a condition is used as a value. Plain values, owned by
// whoever holds them.

#include <cctype>
#include <string>
#include <utility>

#include "jet/JetSql.h"
#include "jet/WorkingDatabase.h"

namespace pontrel::data::jet {

// SQLite's precedence levels, loosest first.
enum Prec { POr = 1, PAnd, PNot, PEquality, PRelational, PBitwise, PAdditive, PMultiplicative,
            PConcat, PCollate, PUnary, PAtom };

struct Emitted {
    std::string text;  // starts with the blanks written before it in the Jet text
    JetType type = JetType::Unknown;
    int prec = PAtom;
    bool condition = false;  // SQLite's 1/0 truth value rather than Jet's -1/0
    bool column = false;     // a plain column, which carries its own collation
};

// The leading blanks of a piece and the rest.
inline std::pair<std::string, std::string> splitLead(const std::string& text) {
    std::size_t n = 0;
    while (n < text.size() && std::isspace(static_cast<unsigned char>(text[n]))) ++n;
    return {text.substr(0, n), text.substr(n)};
}

// Joins two pieces of SQL, keeping two minus signs apart: "--" would start a comment.
inline std::string glue(const std::string& left, const std::string& right) {
    if (!left.empty() && left.back() == '-' && !right.empty() && right.front() == '-') return left + " " + right;
    return left + right;
}

// The piece in parentheses when it binds more loosely than minPrec.
inline Emitted wrap(Emitted e, int minPrec) {
    if (e.prec >= minPrec) return e;
    auto [lead, body] = splitLead(e.text);
    e.text = lead + "(" + body + ")";
    e.prec = PAtom;
    return e;
}

// A truth value used as a value: Jet's True is -1.
inline Emitted asValue(Emitted e) {
    if (!e.condition) return e;
    auto [lead, body] = splitLead(e.text);
    e.text = lead + "-(" + body + ")";
    e.prec = PUnary;
    e.condition = false;
    e.type = JetType::Bool;
    return e;
}

inline bool isTextual(JetType t) { return t == JetType::Text || t == JetType::Unknown; }
inline bool isNumeric(JetType t) { return t == JetType::Number || t == JetType::Date || t == JetType::Bool; }

// The piece compared as Jet compares texts, without regard to case.
inline Emitted collated(Emitted e) {
    e = wrap(e, PCollate);
    e.text += " COLLATE " + std::string(kTextCollation);
    e.prec = PCollate;
    return e;
}

// The type of a value that is one of two: Null takes the other's type.
inline JetType unify(JetType a, JetType b) {
    if (a == JetType::Null) return b;
    if (b == JetType::Null || a == b) return a;
    return JetType::Unknown;
}

// The type in messages ("Not on a date").
inline const char* typeWords(JetType type) {
    switch (type) {
        case JetType::Date: return "a date";
        case JetType::Bool: return "a Yes/No value";
        case JetType::Binary: return "binary data";
        case JetType::Number: return "a number";
        default: return "a value";
    }
}

}  // namespace pontrel::data::jet
