#pragma once
// The writer of a parsed Jet statement as SQLite SQL, one object per statement. Its parts live in
// files of their own: JetExpressionWriter.cpp (operators, literals, columns, subqueries used as
// values), JetSpecialForms.cpp (the functions written inline: IIf, IsNull, Switch, Choose, CVar,
// Nz, and the calls of the function table), and JetSelectWriter.cpp (FROM, the select list with
// Jet's column names, WHERE ... ORDER BY, TOP with ties, DISTINCTROW). Names are bound by
// JetBinder. The writer refers to the caller's tokens and translation, which outlive it.

#include <string>
#include <utility>
#include <vector>

#include "jet/JetBinder.h"
#include "jet/JetEmitted.h"
#include "jet/JetSql.h"
#include "jet/JetSyntax.h"

namespace pontrel::data::jet {

class Writer {
public:
    Writer(const std::vector<Token>& tokens, const Messages& messages, const JetTranslateOptions& options,
           JetTranslation& translation)
        : tokens_(tokens), messages_(messages), options_(options), translation_(translation) {}

    std::string statement(const Select& select) { return query(select, nullptr, true) + tokens_.back().lead; }

    // ---- for the special forms (JetSpecialForms.cpp)
    const Token& token(std::size_t i) const { return tokens_[i]; }
    const Messages& messages() const { return messages_; }
    Emitted condition(const Expr& e, const Scope& scope) { return expr(e, scope); }
    Emitted value(const Expr& e, const Scope& scope) { return asValue(expr(e, scope)); }
    // A statement of its own (a domain function's), translated with this one's schema and used as
    // a value; the tables it reads count among the statement's.
    Emitted independentSubquery(const std::string& lead, const std::string& jet, JetType type);
    // name(args...) with the first piece's blanks before it.
    static Emitted call(const std::string& leadText, const std::string& name, const std::vector<Emitted>& args,
                        JetType type);

private:
    std::string t(std::size_t i) const { return tokens_[i].lead + tokens_[i].text; }
    std::string identifier(std::size_t i) const;
    // A table, query or alias name as SQLite knows it (see relationName()).
    std::string relationIdentifier(std::size_t i) const;
    std::string nameOf(std::size_t i) const {
        return tokens_[i].kind == Token::Name ? tokens_[i].value : tokens_[i].text;
    }
    std::optional<std::string> qualifierOf(const Expr& e) const {
        return e.qualifier ? std::optional<std::string>(nameOf(*e.qualifier)) : std::nullopt;
    }

    // ---- expressions (JetExpressionWriter.cpp)
    Emitted expr(const Expr& e, const Scope& scope);
    Emitted subqueryValue(const Expr& e, const Scope& scope);
    Emitted column(const Expr& e, const Scope& scope);
    Emitted qualifiedColumn(const Expr& e, const Scope& scope, Emitted out);
    Emitted quantified(const Expr& e, const Scope& scope);
    void checkComparable(JetType a, JetType b) const;
    Emitted literal(const Expr& e) const;
    Emitted unary(const Expr& e, const Scope& scope);
    Emitted binaryOperator(const Expr& e, const Scope& scope);
    bool needsCollation(const Emitted& a, const Emitted& b) const;
    Emitted compare(const Expr& e, const Scope& scope);
    Emitted like(const Expr& e, const Scope& scope);
    Emitted in(const Expr& e, const Scope& scope);
    Emitted between(const Expr& e, const Scope& scope);
    Emitted isNull(const Expr& e, const Scope& scope);

    // ---- function calls (JetSpecialForms.cpp)
    Emitted function(const Expr& e, const Scope& scope);
    Emitted tableFunction(const Expr& e, const Scope& scope, const std::string& name);
    void checkFormat(const Expr& e, JetType first) const;

    // ---- SELECT (JetSelectWriter.cpp)
    std::string query(const Select& s, const Scope* outer, bool top,
                      std::vector<JetSchema::Column>* columnsOut = nullptr, bool* columnsKnown = nullptr);
    std::string fromClause(const Select& s, Scope& scope);
    std::string fromNode(const FromNode& node, Scope& scope);
    void noteRelation(const std::string& name);
    void noteJoinColumns(const Expr& e, const Scope& scope, bool inner);
    bool selectList(const Select& s, const Scope& scope, bool saved, bool namesWanted, bool nameExpressions,
                    std::vector<Output>& outputs, std::vector<std::string>& itemTexts);
    bool nameTwiceBrought(std::vector<Output>& outputs) const;
    std::string clauses(const Select& s, const Scope& scope, const std::string& from);
    std::string orderClause(const Select& s, const Scope& scope, std::string& windowOrder,
                            std::vector<std::string>& keys);
    std::string rankedTop(const Select& s, const std::vector<Output>& outputs, const std::string& head,
                          const std::string& rest, const std::string& windowOrder,
                          const std::vector<std::string>& keys) const;
    std::pair<std::string, std::string> topLimit(const Select& s) const;
    std::string sortKey(const Expr& e, const Scope& scope);

    // ---- DISTINCTROW (JetDistinctRow.cpp)
    std::vector<bool> shownSources(const Select& s, const Scope& scope);
    bool markSources(const Expr& e, const Scope& scope, std::vector<bool>& shown, int depth);
    bool hasAggregate(const Expr& e) const;
    std::string distinctRows(const Select& s, const Scope& scope, const std::vector<bool>& shown,
                             const std::vector<Output>& outputs, bool expanded, const std::string& head,
                             const std::string& rest);

    const std::vector<Token>& tokens_;
    const Messages& messages_;
    const JetTranslateOptions& options_;
    JetTranslation& translation_;
    std::vector<std::string> expandingAliases_;
};

}  // namespace pontrel::data::jet
