#pragma once
// The first stage of reading Jet SQL: the text cut into words, [names], `names`, texts, numbers,
// #dates# and symbols, each keeping the blanks written before it so that the translation keeps
// the statement's layout. Also the messages with which every stage refuses a statement: they name
// the statement's origin (a saved query) and the construct.

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "sqlite/DatabaseError.h"

namespace pontrel::data::jet {

class Messages {
public:
    explicit Messages(std::string_view context) : context_(context) {}
    DatabaseError refuse(const std::string& what) const {
        return DatabaseError(where() + " uses " + what + ", which cannot be translated");
    }
    DatabaseError names(const std::string& what) const { return DatabaseError(where() + " names " + what); }
    DatabaseError unreadable(const std::string& what) const {
        return DatabaseError(where() + " cannot be read: " + what);
    }
    std::string where() const {
        return context_.empty() ? std::string("The statement") : "The query '" + std::string(context_) + "'";
    }

private:
    std::string_view context_;
};

struct Token {
    enum Kind { End, Word, Name, String, Number, Date, Symbol };
    Kind kind = End;
    std::string text;   // as written
    std::string value;  // Word: upper case; Name: between the brackets; String: the text;
                        // Number and Date: the SQLite literal
    std::string lead;   // the blanks before it
};

// The tokens of a statement, ending with an End token that holds the trailing blanks.
std::vector<Token> tokenize(std::string_view jet, const Messages& messages);

// Words that are never read as names of tables or columns.
const std::set<std::string>& reservedWords();

}  // namespace pontrel::data::jet
