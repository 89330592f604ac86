#include "jet/JetTranslator.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>

#include "jet/JetFunctionTable.h"
#include "jet/JetFunctions.h"
#include "sqlite/Sqlite.h"
#include "common/TextBasics.h"
#include "jet/WorkingDatabase.h"

namespace pontrel::data::jet {

namespace {

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

std::pair<std::string, std::string> splitLead(const std::string& text) {
    std::size_t n = 0;
    while (n < text.size() && std::isspace(static_cast<unsigned char>(text[n]))) ++n;
    return {text.substr(0, n), text.substr(n)};
}

// Joins two pieces of SQL, keeping two minus signs apart: "--" would start a comment.
std::string glue(const std::string& left, const std::string& right) {
    if (!left.empty() && left.back() == '-' && !right.empty() && right.front() == '-') return left + " " + right;
    return left + right;
}

Emitted wrap(Emitted e, int minPrec) {
    if (e.prec >= minPrec) return e;
    auto [lead, body] = splitLead(e.text);
    e.text = lead + "(" + body + ")";
    e.prec = PAtom;
    return e;
}

// A truth value used as a value: Jet's True is -1.
Emitted asValue(Emitted e) {
    if (!e.condition) return e;
    auto [lead, body] = splitLead(e.text);
    e.text = lead + "-(" + body + ")";
    e.prec = PUnary;
    e.condition = false;
    e.type = JetType::Bool;
    return e;
}

bool isTextual(JetType t) { return t == JetType::Text || t == JetType::Unknown; }
bool isNumeric(JetType t) { return t == JetType::Number || t == JetType::Date || t == JetType::Bool; }

Emitted collated(Emitted e) {
    e = wrap(e, PCollate);
    e.text += " COLLATE " + std::string(kTextCollation);
    e.prec = PCollate;
    return e;
}

JetType unify(JetType a, JetType b) {
    if (a == JetType::Null) return b;
    if (b == JetType::Null || a == b) return a;
    return JetType::Unknown;
}

struct Binding {
    std::string key;       // alias, or the table or query name
    std::string relation;  // the table or query ("" for a subquery)
    bool known = false;
    std::vector<JetSchema::Column> columns;
};

struct Scope {
    std::vector<Binding> bindings;
    const Scope* outer = nullptr;
    // The names the query gives its columns (AS): Jet lets its expressions use them.
    std::vector<std::pair<std::string, const Expr*>> aliases;
};

const char* typeWords(JetType type) {
    switch (type) {
        case JetType::Date: return "a date";
        case JetType::Bool: return "a Yes/No value";
        case JetType::Binary: return "binary data";
        case JetType::Number: return "a number";
        default: return "a value";
    }
}

class Writer {
public:
    Writer(const std::vector<Token>& tokens, const Messages& messages, const JetTranslateOptions& options,
           std::vector<std::string>& relations, std::vector<JetTranslation::Column>& joinColumns,
           std::vector<JetTranslation::Join>& joins)
        : tokens_(tokens), messages_(messages), options_(options), relations_(relations),
          joinColumns_(joinColumns), joins_(joins) {}

    std::string statement(const Select& select) { return query(select, nullptr, true) + tokens_.back().lead; }

private:
    std::string t(std::size_t i) const { return tokens_[i].lead + tokens_[i].text; }

    std::string identifier(std::size_t i) const {
        const Token& token = tokens_[i];
        if (token.kind == Token::Name) return token.lead + quotedIdentifier(token.value);
        return token.lead + sqlName(token.text);
    }
    std::string nameOf(std::size_t i) const {
        return tokens_[i].kind == Token::Name ? tokens_[i].value : tokens_[i].text;
    }

    void noteRelation(const std::string& name) {
        for (const std::string& r : relations_)
            if (sameNameIgnoringCase(r, name)) return;
        relations_.push_back(name);
    }

    // ---- FROM ----

    std::string fromNode(const FromNode& node, Scope& scope) {
        switch (node.kind) {
            case FromNode::Table: {
                std::string name = nameOf(node.token);
                noteRelation(name);
                Binding b;
                b.relation = name;
                b.key = node.alias ? nameOf(*node.alias) : name;
                if (options_.schema) {
                    if (std::optional<JetSchema::Relation> r = options_.schema->relation(name)) {
                        b.known = true;
                        b.columns = r->columns;
                    }
                }
                scope.bindings.push_back(b);
                std::string out = identifier(node.token);
                if (node.asToken) out += t(*node.asToken);
                if (node.alias) out += identifier(*node.alias);
                return out;
            }
            case FromNode::Subquery: {
                std::vector<JetSchema::Column> columns;
                bool known = false;
                std::string inner = query(*node.query, scope.outer, false, &columns, &known);
                Binding b;
                b.key = nameOf(*node.alias);
                b.known = known;
                b.columns = columns;
                scope.bindings.push_back(b);
                std::string out = t(node.token) + inner + t(node.close);
                if (node.asToken) out += t(*node.asToken);
                else out += " AS";
                return out + identifier(*node.alias);
            }
            case FromNode::Group: return t(node.token) + fromNode(*node.left, scope) + t(node.close);
            case FromNode::Join: {
                std::string out = fromNode(*node.left, scope);
                for (std::size_t w : node.joinWords) out += t(w);
                out += fromNode(*node.right, scope);
                out += t(node.onToken);
                out += condition(*node.on, scope).text;
                bool inner = true;
                for (std::size_t w : node.joinWords)
                    if (tokens_[w].value == "LEFT" || tokens_[w].value == "RIGHT") inner = false;
                noteJoinColumns(*node.on, scope, inner);
                return out;
            }
        }
        return {};
    }

    // Records the columns of the conditions "a.x = b.y" that an ON clause joins by, through
    // parentheses and And; `inner` for an INNER JOIN's clause.
    void noteJoinColumns(const Expr& e, const Scope& scope, bool inner) {
        if (e.kind == Expr::Paren) return noteJoinColumns(*e.args[0], scope, inner);
        if (e.kind == Expr::Binary && tokens_[e.token].value == "AND") {
            noteJoinColumns(*e.args[0], scope, inner);
            noteJoinColumns(*e.args[1], scope, inner);
            return;
        }
        if (e.kind != Expr::Compare || tokens_[e.token].value != "=") return;
        std::vector<JetTranslation::Column> sides;
        for (const ExprPtr& side : e.args) {
            const Expr* column = side.get();
            while (column->kind == Expr::Paren) column = column->args[0].get();
            if (column->kind != Expr::Column || !column->qualifier) continue;
            const Binding* b = findBinding(nameOf(*column->qualifier), scope);
            if (b && !b->relation.empty()) sides.push_back({b->relation, nameOf(column->token)});
        }
        joinColumns_.insert(joinColumns_.end(), sides.begin(), sides.end());
        if (sides.size() == 2) joins_.push_back({sides[0], sides[1], inner});
    }

    // ---- expressions ----

    const Binding* findBinding(const std::string& key, const Scope& scope) const {
        for (const Scope* s = &scope; s; s = s->outer)
            for (const Binding& b : s->bindings)
                if (sameNameIgnoringCase(b.key, key)) return &b;
        return nullptr;
    }

    JetType columnType(const Expr& e, const Scope& scope) const {
        std::string name = nameOf(e.token);
        auto inBinding = [&](const Binding& b) -> std::optional<JetType> {
            for (const JetSchema::Column& c : b.columns)
                if (sameNameIgnoringCase(c.name, name)) return c.type;
            return std::nullopt;
        };
        if (e.qualifier) {
            const Binding* b = findBinding(nameOf(*e.qualifier), scope);
            if (b)
                if (std::optional<JetType> type = inBinding(*b)) return *type;
            return JetType::Unknown;
        }
        for (const Scope* s = &scope; s; s = s->outer)
            for (const Binding& b : s->bindings)
                if (std::optional<JetType> type = inBinding(b)) return *type;
        return JetType::Unknown;
    }

    Emitted condition(const Expr& e, const Scope& scope) { return expr(e, scope); }
    Emitted value(const Expr& e, const Scope& scope) { return asValue(expr(e, scope)); }

    Emitted call(const std::string& leadText, const std::string& name, const std::vector<Emitted>& args,
                 JetType type) {
        Emitted out;
        out.text = leadText + name + "(";
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (i) out.text += ", ";
            out.text += splitLead(args[i].text).second;
        }
        out.text += ")";
        out.type = type;
        return out;
    }

    Emitted expr(const Expr& e, const Scope& scope) {
        switch (e.kind) {
            case Expr::Literal: return literal(e);
            case Expr::Column: return column(e, scope);
            case Expr::Quantified: return quantified(e, scope);
            case Expr::Paren: {
                Emitted inner = expr(*e.args[0], scope);
                inner.text = t(e.marks[0]) + inner.text + t(e.marks[1]);
                inner.prec = PAtom;  // a column in parentheses keeps its collation
                return inner;
            }
            case Expr::Subquery: {
                // A subquery used as a value must give one column and at most one row; SQLite
                // would quietly take the first of several rows where Jet stops with an error.
                std::vector<JetSchema::Column> columns;
                bool known = false;
                std::string inner = splitLead(query(*e.query, &scope, false, &columns, &known)).second;
                if (known && columns.size() != 1)
                    throw messages_.refuse("a subquery with " + std::to_string(columns.size()) + " columns as a value");
                Emitted out;
                out.text = t(e.marks[0]) + "WITH \"jet_one\"(\"jet_value\") AS (" + inner +
                           ") SELECT coalesce(jet_at_most_one(count(*)), max(\"jet_value\")) FROM \"jet_one\"" +
                           t(e.marks[1]);
                out.type = known ? columns[0].type : JetType::Unknown;
                return out;
            }
            case Expr::Exists: {
                Emitted out;
                out.text = t(e.token) + t(e.marks[0]) + query(*e.query, &scope, false) + t(e.marks[1]);
                out.condition = true;
                out.type = JetType::Bool;
                out.prec = PAtom;
                return out;
            }
            case Expr::Star: throw messages_.refuse("'*' outside Count(*)");
            case Expr::Call: return function(e, scope);
            case Expr::Unary: return unary(e, scope);
            case Expr::Binary: return binaryOperator(e, scope);
            case Expr::Compare: return compare(e, scope);
            case Expr::Like: return like(e, scope);
            case Expr::IsNull: {
                Emitted left = wrap(value(*e.args[0], scope), PEquality + 1);
                Emitted out;
                out.text = left.text + t(e.token);
                for (std::size_t m : e.marks) out.text += t(m);
                out.condition = true;
                out.type = JetType::Bool;
                out.prec = PEquality;
                return out;
            }
            case Expr::In: return in(e, scope);
            case Expr::Between: return between(e, scope);
        }
        throw messages_.unreadable("an expression it does not know");
    }

    // A name is a column of the query's sources, or of an outer query's for a subquery; failing
    // that, the name the query gives one of its own columns (SELECT a * 2 AS x, x + 1 ...), whose
    // expression stands in for it, as Jet reads it. A name that is neither is, for Jet, a
    // parameter to ask for when the query runs: refused when every source's columns are known.
    Emitted column(const Expr& e, const Scope& scope) {
        Emitted out;
        out.text = (e.qualifier ? identifier(*e.qualifier) + tokens_[e.marks[0]].lead + "." : std::string()) +
                   identifier(e.token);
        out.column = true;
        std::string name = nameOf(e.token);
        if (e.qualifier) {
            std::string source = nameOf(*e.qualifier);
            const Binding* b = findBinding(source, scope);
            if (!b && tokens_[e.marks[0]].value == "!")
                throw messages_.refuse("the '!' operator (a form reference)");
            if (!b)
                throw messages_.names("'" + source + "." + name + "', but it reads nothing called '" + source +
                                      "' (Access would ask for its value)");
            if (b->known && !columnOf(*b, name))
                throw messages_.names("the column '" + source + "." + name + "', which '" + source +
                                      "' does not have (Access would ask for its value)");
            out.type = columnType(e, scope);
            return out;
        }
        bool allKnown = true;
        for (const Scope* s = &scope; s; s = s->outer) {
            int holders = 0;
            for (const Binding& b : s->bindings) {
                if (columnOf(b, name)) ++holders;
                allKnown = allKnown && b.known;
            }
            if (holders > 1)
                throw messages_.names("the column '" + name + "', which more than one of its tables has, without saying which");
            if (holders == 1) {
                out.type = columnType(e, scope);
                return out;
            }
        }
        for (const auto& [alias, aliased] : scope.aliases) {
            if (!sameNameIgnoringCase(alias, name)) continue;
            for (const std::string& open : expandingAliases_)
                if (sameNameIgnoringCase(open, alias))
                    throw messages_.refuse("the name '" + alias + "' in its own definition (a circular reference)");
            expandingAliases_.push_back(alias);
            Emitted inner = value(*aliased, scope);
            expandingAliases_.pop_back();
            auto [lead, body] = splitLead(inner.text);
            inner.text = tokens_[e.token].lead + "(" + body + ")";
            inner.prec = PAtom;
            return inner;
        }
        if (allKnown && options_.schema)
            throw messages_.names("the column '" + name + "', which none of its tables has (Access would ask for its value)");
        return out;
    }

    static const JetSchema::Column* columnOf(const Binding& b, const std::string& name) {
        for (const JetSchema::Column& c : b.columns)
            if (sameNameIgnoringCase(c.name, name)) return &c;
        return nullptr;
    }

    // x op ANY (SELECT ...) and x op ALL (SELECT ...), which SQLite lacks, with Jet's three-valued
    // meaning: ANY is true when the comparison holds for some row, false when it fails for every
    // row (or there is none), otherwise Null; ALL is false when it fails for some row, true when
    // it holds for every row (or there is none), otherwise Null.
    Emitted quantified(const Expr& e, const Scope& scope) {
        const std::string& op = tokens_[e.token].value;
        bool all = tokens_[e.marks[0]].value == "ALL";
        Emitted left = wrap(value(*e.args[0], scope), PRelational + 1);
        std::vector<JetSchema::Column> columns;
        bool known = false;
        std::string inner = splitLead(query(*e.query, &scope, false, &columns, &known)).second;
        if (known && columns.size() != 1)
            throw messages_.refuse(upperAscii(tokens_[e.marks[0]].text) + " of a subquery with " +
                                   std::to_string(columns.size()) + " columns");
        JetType setType = known ? columns[0].type : JetType::Unknown;
        checkComparable(left.type, setType);
        std::string test = splitLead(left.text).second + " " + op + " \"jet_value\"";
        if (isTextual(left.type) && isTextual(setType)) test += " COLLATE " + std::string(kTextCollation);
        std::string decided = all ? "min(\"jet_test\") = 0 THEN 0" : "max(\"jet_test\") = 1 THEN 1";
        Emitted out;
        out.text = splitLead(left.text).first + "(WITH \"jet_set\"(\"jet_value\") AS (" + inner +
                   ") SELECT CASE WHEN " + decided +
                   " WHEN count(*) > count(\"jet_test\") THEN NULL ELSE " + (all ? "1" : "0") +
                   " END FROM (SELECT " + test + " AS \"jet_test\" FROM \"jet_set\"))";
        out.prec = PAtom;
        out.condition = true;
        out.type = JetType::Bool;
        return out;
    }

    // Jet refuses to compare a text with a number ("Data type mismatch"), where SQLite would order
    // every number before every text.
    // A text compared with a date is read as a date by the regional settings (month or day first).
    void checkComparable(JetType a, JetType b) const {
        auto pair = [&](JetType x, JetType y) { return (a == x && b == y) || (a == y && b == x); };
        if (pair(JetType::Text, JetType::Number))
            throw messages_.refuse("a comparison of a text with a number (a data type mismatch in Jet)");
        if (pair(JetType::Text, JetType::Date))
            throw messages_.refuse("a comparison of a date with a text (Jet reads the text as a date by regional settings)");
    }

    Emitted literal(const Expr& e) {
        const Token& token = tokens_[e.token];
        Emitted out;
        switch (token.kind) {
            case Token::String:
                out.text = token.lead + sqlQuote(token.value);
                out.type = JetType::Text;
                break;
            case Token::Number:
                out.text = token.lead + token.value;
                out.type = JetType::Number;
                break;
            case Token::Date:
                out.text = token.lead + token.value;
                out.type = JetType::Date;
                break;
            default:
                if (token.value == "NULL") {
                    out.text = token.lead + token.text;
                    out.type = JetType::Null;
                } else {
                    bool truth = token.value == "TRUE" || token.value == "YES" || token.value == "ON";
                    out.text = token.lead + (truth ? "(-1)" : "0");
                    out.type = JetType::Bool;
                }
        }
        return out;
    }

    Emitted unary(const Expr& e, const Scope& scope) {
        const std::string& op = tokens_[e.token].value;
        if (op == "NOT") {
            Emitted operand = expr(*e.args[0], scope);
            if (!operand.condition && (operand.type == JetType::Number || operand.type == JetType::Text ||
                                       operand.type == JetType::Date))
                throw messages_.refuse("Not on " + std::string(typeWords(operand.type)) +
                                       " (Jet computes it bit by bit)");
            operand = wrap(operand, PNot);
            Emitted out;
            out.text = t(e.token) + operand.text;
            out.prec = PNot;
            out.condition = true;
            out.type = JetType::Bool;
            return out;
        }
        Emitted operand = wrap(value(*e.args[0], scope), PUnary);
        if (op == "+") {
            // A plus sign changes no value, not even a text's (+"a" is "a"), in Jet as in SQLite.
            operand.text = glue(t(e.token), operand.text);
            operand.prec = PUnary;
            operand.column = false;
            return operand;
        }
        if (operand.type == JetType::Text)
            throw messages_.refuse("the sign " + op + " before a text");
        Emitted out;
        out.text = glue(t(e.token), operand.text);
        out.prec = PUnary;
        out.type = operand.type == JetType::Null ? JetType::Null : JetType::Number;
        return out;
    }

    Emitted binaryOperator(const Expr& e, const Scope& scope) {
        const Token& opToken = tokens_[e.token];
        const std::string& op = opToken.value;
        if (op == "AND" || op == "OR") {
            Emitted left = expr(*e.args[0], scope), right = expr(*e.args[1], scope);
            for (const Emitted* side : {&left, &right})
                if (!side->condition && (side->type == JetType::Number || side->type == JetType::Text ||
                                         side->type == JetType::Date))
                    throw messages_.refuse(op + " on " + typeWords(side->type) +
                                           " (Jet computes it bit by bit)");
            int prec = op == "AND" ? PAnd : POr;
            Emitted out;
            out.text = wrap(left, prec).text + t(e.token) + wrap(right, prec + 1).text;
            out.prec = prec;
            out.condition = true;
            out.type = JetType::Bool;
            return out;
        }
        Emitted left = value(*e.args[0], scope), right = value(*e.args[1], scope);
        std::string leadText = splitLead(left.text).first;
        if (op == "&") {
            for (const Emitted* side : {&left, &right})
                if (side->type == JetType::Date || side->type == JetType::Bool)
                    throw messages_.refuse("& on " + std::string(typeWords(side->type)) +
                                           ", which Jet writes by regional settings");
            return call(leadText, "jet_concat", {left, right}, JetType::Text);
        }
        JetType numberType =
            (left.type == JetType::Date || right.type == JetType::Date) ? JetType::Date : JetType::Number;
        if (op == "+") {
            if (isNumeric(left.type) && isNumeric(right.type)) {
                Emitted out;
                out.text = glue(glue(wrap(left, PAdditive).text, t(e.token)), wrap(right, PAdditive + 1).text);
                out.prec = PAdditive;
                out.type = numberType;
                return out;
            }
            JetType type = left.type == JetType::Text && right.type == JetType::Text ? JetType::Text
                                                                                      : JetType::Unknown;
            return call(leadText, "jet_add", {left, right}, type);
        }
        if (op == "-" || op == "*") {
            for (const Emitted* side : {&left, &right})
                if (side->type == JetType::Text || side->type == JetType::Binary)
                    throw messages_.refuse("the operator " + op + " on a text");
            int prec = op == "-" ? PAdditive : PMultiplicative;
            Emitted out;
            out.text = glue(glue(wrap(left, prec).text, t(e.token)), wrap(right, prec + 1).text);
            out.prec = prec;
            out.type = op == "-" && left.type == JetType::Date && right.type != JetType::Date
                           ? JetType::Date
                           : JetType::Number;
            return out;
        }
        const char* function = op == "/" ? "jet_divide" : op == "\\" ? "jet_intdiv" : op == "MOD" ? "jet_mod"
                                                                                              : "jet_power";
        return call(leadText, function, {left, right}, JetType::Number);
    }

    // Texts compare without regard to case in Jet. A plain column carries that collation itself;
    // otherwise it is added, unless one side is known not to be a text.
    bool needsCollation(const Emitted& a, const Emitted& b) const {
        if (a.column || b.column) return false;
        return isTextual(a.type) && isTextual(b.type);
    }

    Emitted compare(const Expr& e, const Scope& scope) {
        Emitted left = value(*e.args[0], scope), right = value(*e.args[1], scope);
        checkComparable(left.type, right.type);
        const std::string& op = tokens_[e.token].value;
        int prec = (op == "=" || op == "<>") ? PEquality : PRelational;
        left = wrap(left, prec);
        right = wrap(right, prec + 1);
        if (needsCollation(left, right)) right = collated(right);
        Emitted out;
        out.text = glue(left.text + t(e.token), right.text);
        out.prec = prec;
        out.condition = true;
        out.type = JetType::Bool;
        return out;
    }

    Emitted like(const Expr& e, const Scope& scope) {
        Emitted left = wrap(value(*e.args[0], scope), PEquality + 1);
        const Expr& patternExpr = *e.args[1];
        if (patternExpr.kind == Expr::Literal && tokens_[patternExpr.token].kind == Token::String) {
            try {
                jetLike("", tokens_[patternExpr.token].value);
            } catch (const DatabaseError&) {
                throw messages_.refuse("the Like pattern '" + tokens_[patternExpr.token].value +
                                       "' (a '[' without its ']')");
            }
        }
        Emitted pattern = wrap(value(patternExpr, scope), PEquality + 1);
        Emitted out;
        out.text = left.text;
        for (std::size_t m : e.marks) out.text += t(m);
        out.text += t(e.token) + pattern.text;
        out.prec = PEquality;
        out.condition = true;
        out.type = JetType::Bool;
        return out;
    }

    Emitted in(const Expr& e, const Scope& scope) {
        Emitted left = wrap(value(*e.args[0], scope), PEquality + 1);
        std::size_t mark = 0;
        std::string notText;
        if (e.negated) notText = t(e.marks[mark++]);
        std::string open = t(e.marks[mark++]);
        std::string inside;
        bool collate = false;
        if (e.query) {
            std::vector<JetSchema::Column> columns;
            bool known = false;
            inside = query(*e.query, &scope, false, &columns, &known);
            if (known && columns.size() != 1)
                throw messages_.refuse("IN with a subquery of " + std::to_string(columns.size()) + " columns");
            collate = !left.column && isTextual(left.type) &&
                      (columns.size() != 1 || isTextual(columns[0].type));
        } else {
            bool textual = !left.column && isTextual(left.type);
            for (std::size_t i = 1; i < e.args.size(); ++i) {
                if (i > 1) inside += t(e.marks[mark++]);
                Emitted item = value(*e.args[i], scope);
                if (!isTextual(item.type) && item.type != JetType::Null) textual = false;
                inside += item.text;
            }
            collate = textual;
        }
        if (collate) left = collated(left);
        Emitted out;
        out.text = left.text + notText + t(e.token) + open + inside + t(e.marks[mark]);
        out.prec = PEquality;
        out.condition = true;
        out.type = JetType::Bool;
        return out;
    }

    Emitted between(const Expr& e, const Scope& scope) {
        Emitted left = wrap(value(*e.args[0], scope), PEquality + 1);
        Emitted low = wrap(value(*e.args[1], scope), PEquality + 1);
        Emitted high = wrap(value(*e.args[2], scope), PEquality + 1);
        checkComparable(left.type, low.type);
        checkComparable(left.type, high.type);
        if (!left.column && isTextual(left.type) && isTextual(low.type) && isTextual(high.type))
            left = collated(left);
        Emitted out;
        out.text = left.text + (e.negated ? t(e.marks[0]) : std::string()) + t(e.token) + low.text +
                   t(e.marks[e.negated ? 1 : 0]) + high.text;
        out.prec = PEquality;
        out.condition = true;
        out.type = JetType::Bool;
        return out;
    }

    Emitted function(const Expr& e, const Scope& scope) {
        const Token& nameToken = tokens_[e.token];
        std::string name = nameToken.value;
        if (!name.empty() && name.back() == '$') name.pop_back();
        std::string written = nameToken.text;
        std::size_t count = e.args.size();
        auto arity = [&](std::size_t low, std::size_t high) {
            if (count < low || count > high)
                throw messages_.refuse("the function " + written + " with " + std::to_string(count) +
                                       " argument" + (count == 1 ? "" : "s"));
        };
        if (count == 1 && e.args[0]->kind == Expr::Star && name != "COUNT")
            throw messages_.refuse("'*' in " + written);
        if (name == "IIF") {
            arity(3, 3);
            Emitted test = condition(*e.args[0], scope);
            Emitted yes = value(*e.args[1], scope), no = value(*e.args[2], scope);
            Emitted out;
            out.text = nameToken.lead + "CASE WHEN " + splitLead(test.text).second + " THEN " +
                       splitLead(yes.text).second + " ELSE " + splitLead(no.text).second + " END";
            out.type = unify(yes.type, no.type);
            return out;
        }
        if (name == "ISNULL") {
            arity(1, 1);
            Emitted operand = wrap(value(*e.args[0], scope), PEquality + 1);
            Emitted out;
            out.text = nameToken.lead + splitLead(operand.text).second + " IS NULL";
            out.prec = PEquality;
            out.condition = true;
            out.type = JetType::Bool;
            return out;
        }
        if (name == "SWITCH") {
            // Switch(test1, value1, test2, value2, ...): the value of the first test that holds,
            // Null when none does.
            if (count < 2 || count % 2 != 0)
                throw messages_.refuse("the function " + written + " with " + std::to_string(count) +
                                       " arguments (it takes pairs of a test and a value)");
            Emitted out;
            out.text = nameToken.lead + "CASE";
            JetType type = JetType::Null;
            for (std::size_t i = 0; i < count; i += 2) {
                Emitted test = condition(*e.args[i], scope), result = value(*e.args[i + 1], scope);
                out.text += " WHEN " + splitLead(test.text).second + " THEN " + splitLead(result.text).second;
                type = unify(type, result.type);
            }
            out.text += " END";
            out.type = type;
            return out;
        }
        if (name == "CHOOSE") {
            // Choose(index, value1, value2, ...): the index rounds to a whole number; Null when
            // it is outside the values.
            if (count < 2) throw messages_.refuse("the function " + written + " with 1 argument");
            Emitted index = value(*e.args[0], scope);
            Emitted out;
            out.text = nameToken.lead + "CASE jet_round(" + splitLead(index.text).second + ")";
            JetType type = JetType::Null;
            for (std::size_t i = 1; i < count; ++i) {
                Emitted result = value(*e.args[i], scope);
                out.text += " WHEN " + std::to_string(i) + " THEN " + splitLead(result.text).second;
                type = unify(type, result.type);
            }
            out.text += " END";
            out.type = type;
            return out;
        }
        if (name == "CVAR") {
            // A Variant holds any value as it is.
            arity(1, 1);
            Emitted v = value(*e.args[0], scope);
            v.text = nameToken.lead + "(" + splitLead(v.text).second + ")";
            v.prec = PAtom;
            return v;
        }
        if (name == "NZ") {
            arity(1, 2);
            Emitted v = value(*e.args[0], scope);
            // Outside a form, Nz of a Null without a second argument is a zero-length text.
            Emitted alternative;
            alternative.text = "''";
            alternative.type = JetType::Text;
            if (count == 2) alternative = value(*e.args[1], scope);
            return call(nameToken.lead, "coalesce", {v, alternative}, unify(v.type, alternative.type));
        }
        const FunctionInfo* info = findFunction(name);
        if (!info) throw messages_.refuse("the function " + written);
        arity(static_cast<std::size_t>(info->minArgs), static_cast<std::size_t>(info->maxArgs));
        std::vector<Emitted> args;
        if (name == "COUNT" && e.args[0]->kind == Expr::Star) {
            Emitted out;
            out.text = nameToken.lead + nameToken.text + "(*)";
            out.type = JetType::Number;
            return out;
        }
        for (const ExprPtr& arg : e.args) args.push_back(value(*arg, scope));
        JetType first = args.empty() ? JetType::Unknown : args[0].type;
        if (info->textArgument && (first == JetType::Date || first == JetType::Bool || first == JetType::Binary))
            throw messages_.refuse(written + " of " + typeWords(first) +
                                   ", which Jet turns into text by regional settings");
        if (name == "FORMAT") {
            if (count == 1 && (first == JetType::Date || first == JetType::Bool))
                throw messages_.refuse("Format of " + std::string(typeWords(first)) +
                                       " without a pattern, which depends on regional settings");
            const Expr& pattern = *e.args.back();
            if (count == 2 && pattern.kind == Expr::Literal && tokens_[pattern.token].kind == Token::String) {
                std::string problem = unsupportedFormat(tokens_[pattern.token].value);
                if (!problem.empty())
                    throw messages_.refuse("Format with " + problem + " ('" +
                                           tokens_[pattern.token].value + "')");
            }
        }
        JetType result = info->result;
        if (result == JetType::Unknown) result = first == JetType::Date ? JetType::Date :
                                                 (name == "MIN" || name == "MAX" || name == "FIRST" || name == "LAST") ? first : JetType::Number;
        // SQLite's own aggregates keep the name as written.
        bool native = std::string_view(info->sql).find("jet_") != 0;
        return call(nameToken.lead, native ? nameToken.text : std::string(info->sql), args, result);
    }

    // ---- SELECT ----

    struct Output {
        std::string text;        // the item as written, without its alias
        std::string name;        // the name the column gets
        std::string qualifier;   // the source of a plain column
        bool named = false;      // an alias was written
        bool generatedName = false;
        JetType type = JetType::Unknown;
    };

    // Expands '*' and T.* into the columns the schema knows; false when it knows too little.
    bool expandStar(const SelectItem& item, const Scope& scope, std::vector<Output>& outputs) const {
        std::vector<const Binding*> sources;
        if (item.kind == SelectItem::Star) {
            for (const Binding& b : scope.bindings) sources.push_back(&b);
        } else {
            const Binding* b = findBinding(nameOf(item.token), scope);
            if (!b) return false;
            sources.push_back(b);
        }
        for (const Binding* b : sources) {
            if (!b->known) return false;
            for (const JetSchema::Column& c : b->columns) {
                Output o;
                o.text = " " + quotedIdentifier(b->key) + "." + quotedIdentifier(c.name);
                o.name = c.name;
                o.qualifier = b->key;
                o.type = c.type;
                outputs.push_back(o);
            }
        }
        return true;
    }

    std::string query(const Select& s, const Scope* outer, bool top,
                      std::vector<JetSchema::Column>* columnsOut = nullptr, bool* columnsKnown = nullptr) {
        Scope scope;
        scope.outer = outer;
        for (const SelectItem& item : s.items)
            if (item.alias) scope.aliases.emplace_back(nameOf(*item.alias), item.expr.get());
        std::string from = s.fromToken ? t(*s.fromToken) : std::string();
        for (std::size_t i = 0; i < s.from.size(); ++i) {
            if (i) from += t(s.fromCommas[i - 1]);
            from += fromNode(*s.from[i], scope);
        }

        bool saved = top && options_.savedQuery;
        bool needNames = saved || columnsOut || (s.topToken && !s.orderBy.empty()) ||
                         s.quantifier == Select::DistinctRow;
        std::vector<Output> outputs;
        std::vector<std::string> itemTexts;  // as written when no expansion happens
        bool expanded = true;
        int expressionNumber = 1000;
        for (std::size_t i = 0; i < s.items.size(); ++i) {
            const SelectItem& item = s.items[i];
            std::string comma = i ? t(s.itemCommas[i - 1]) : std::string();
            if (item.kind != SelectItem::Value) {
                std::string written = item.kind == SelectItem::Star
                                          ? t(item.token)
                                          : identifier(item.token) + t(item.marks[0]) + t(item.marks[1]);
                itemTexts.push_back(comma + written);
                if (!needNames || !expandStar(item, scope, outputs)) expanded = false;
                continue;
            }
            Emitted e = value(*item.expr, scope);
            Output o;
            o.type = e.type;
            if (item.alias) {
                o.name = nameOf(*item.alias);
                o.named = true;
            } else if (item.expr->kind == Expr::Column) {
                o.name = nameOf(item.expr->token);
                o.qualifier = item.expr->qualifier ? nameOf(*item.expr->qualifier) : std::string();
            } else {
                o.name = "Expr" + std::to_string(expressionNumber++);
                o.generatedName = true;
            }
            if (saved && !e.column && isTextual(e.type) && e.type != JetType::Null) e = collated(e);
            o.text = e.text;
            std::string written = e.text;
            if (item.alias) written += t(*item.asToken) + identifier(*item.alias);
            else if ((saved || columnsOut) && o.generatedName) written += " AS " + quotedIdentifier(o.name);
            itemTexts.push_back(comma + written);
            outputs.push_back(o);
        }

        // Columns that '*' brings more than once are named by their source, as Jet names them.
        bool renamed = false;
        if (saved && expanded) {
            std::vector<bool> twice(outputs.size(), false);
            for (std::size_t i = 0; i < outputs.size(); ++i)
                for (std::size_t j = 0; j < outputs.size(); ++j)
                    if (i != j && sameNameIgnoringCase(outputs[i].name, outputs[j].name)) twice[i] = true;
            for (std::size_t i = 0; i < outputs.size(); ++i) {
                Output& o = outputs[i];
                if (!twice[i] || o.named || o.generatedName || o.qualifier.empty()) continue;
                o.name = o.qualifier + "." + o.name;
                o.named = true;
                renamed = true;
            }
        }
        bool anyStar = false;
        for (const SelectItem& item : s.items) anyStar = anyStar || item.kind != SelectItem::Value;
        std::string items;
        if (expanded && (renamed || (anyStar && s.topToken && !s.orderBy.empty()))) {
            for (std::size_t i = 0; i < outputs.size(); ++i) {
                const Output& o = outputs[i];
                items += (i ? "," : "") + o.text;
                if (o.named || o.generatedName) items += " AS " + quotedIdentifier(o.name);
            }
        } else {
            for (const std::string& text : itemTexts) items += text;
        }
        if (columnsKnown) *columnsKnown = expanded;
        if (columnsOut) {
            columnsOut->clear();
            if (expanded)
                for (const Output& o : outputs) columnsOut->push_back({o.name, o.type});
        }

        std::string head = t(s.selectToken);
        std::string quantifier;
        if (s.quantifier == Select::Distinct || s.quantifier == Select::All) {
            quantifier = t(*s.quantifierToken);
        }
        std::vector<bool> shown = s.quantifier == Select::DistinctRow ? shownSources(s, scope) : std::vector<bool>();

        std::string rest = from;
        if (s.where) rest += t(*s.whereToken) + condition(*s.where, scope).text;
        if (!s.groupBy.empty()) {
            rest += t(s.groupTokens[0]) + t(s.groupTokens[1]);
            for (std::size_t i = 0; i < s.groupBy.size(); ++i) {
                if (i) rest += t(s.groupCommas[i - 1]);
                rest += sortKey(*s.groupBy[i], scope);
            }
        }
        if (s.having) rest += t(*s.havingToken) + condition(*s.having, scope).text;
        std::string order;
        std::string windowOrder;
        std::vector<std::string> keys;  // the ORDER BY terms, for TOP with DISTINCT
        if (!s.orderBy.empty()) {
            order = t(s.orderTokens[0]) + t(s.orderTokens[1]);
            for (std::size_t i = 0; i < s.orderBy.size(); ++i) {
                const OrderItem& item = s.orderBy[i];
                if (item.expr->kind == Expr::Literal && tokens_[item.expr->token].kind == Token::Number)
                    throw messages_.refuse("ORDER BY a number");
                std::string key = sortKey(*item.expr, scope);
                std::string direction = item.direction ? t(*item.direction) : std::string();
                if (i) order += t(s.orderCommas[i - 1]);
                order += key + direction;
                windowOrder += (i ? ", " : "") + splitLead(key).second +
                               (item.descending ? " DESC" : "");
                keys.push_back(splitLead(key).second);
            }
        }

        if (!shown.empty() && std::find(shown.begin(), shown.end(), false) != shown.end())
            return distinctRows(s, scope, shown, outputs, expanded, head + " ", rest);
        if (!s.topToken) return head + quantifier + items + rest + order;

        const std::string& count = tokens_[s.topValue].value;
        auto [limit, counted] = topLimit(s);
        if (s.orderBy.empty()) {
            // Without an order, Jet's TOP n is any n rows, as LIMIT n is.
            if (!s.percentToken) return head + quantifier + items + rest + " LIMIT " + count;
            if (!expanded) throw messages_.refuse("TOP ... PERCENT over '*' of tables it does not know");
        }
        // Jet's TOP n keeps the rows tied with the n-th in the order: those ranked n or better.
        if (!expanded) throw messages_.refuse("TOP with ORDER BY over '*' of tables it does not know");
        std::string outerList;
        for (std::size_t i = 0; i < outputs.size(); ++i) {
            for (std::size_t j = 0; j < i; ++j)
                if (sameNameIgnoringCase(outputs[j].name, outputs[i].name))
                    throw messages_.refuse("TOP with ORDER BY and two columns named " + outputs[i].name);
            outerList += (i ? ", " : "") + quotedIdentifier(outputs[i].name);
        }
        std::string innerItems;
        for (std::size_t i = 0; i < outputs.size(); ++i) {
            innerItems += (i ? ", " : "") + splitLead(outputs[i].text).second;
            if (outputs[i].named || outputs[i].generatedName) innerItems += " AS " + quotedIdentifier(outputs[i].name);
        }
        std::string ranked;
        if (s.quantifier == Select::Distinct) {
            // DISTINCT comes first, then the ranking, over the order terms kept as columns (Jet
            // orders a DISTINCT query only by what it selects, so they add no rows).
            std::string rankOrder;
            for (std::size_t i = 0; i < keys.size(); ++i) {
                std::string column = "\"jet_k" + std::to_string(i + 1) + "\"";
                innerItems += ", " + keys[i] + " AS " + column;
                rankOrder += (i ? ", " : "") + column + " COLLATE " + kTextCollation +
                             (s.orderBy[i].descending ? " DESC" : "");
            }
            if (keys.empty()) rankOrder = "NULL";
            ranked = "SELECT *, RANK() OVER (ORDER BY " + rankOrder + ") AS \"jet_rank\", ROW_NUMBER() OVER (ORDER BY " +
                     rankOrder + ") AS \"jet_row\"" + counted + " FROM (SELECT DISTINCT " + innerItems + " " +
                     splitLead(rest).second + ")";
        } else {
            std::string window = keys.empty() ? std::string("NULL") : windowOrder;
            ranked = "SELECT " + innerItems + ", RANK() OVER (ORDER BY " + window + ") AS \"jet_rank\", ROW_NUMBER() OVER (ORDER BY " +
                     window + ") AS \"jet_row\"" + counted + " " + splitLead(rest).second;
        }
        std::string kept = keys.empty() ? "\"jet_row\"" : "\"jet_rank\"";
        return head + " " + outerList + " FROM (" + ranked + ") WHERE " + kept + " <= " + limit + " ORDER BY \"jet_row\"";
    }

    // The number of rows TOP keeps, as SQL over the ranked rows, and the window column it needs
    // ("" or the count of rows). TOP n PERCENT keeps n percent of the rows, rounded up to a row.
    std::pair<std::string, std::string> topLimit(const Select& s) const {
        const std::string& count = tokens_[s.topValue].value;
        if (count.find_first_not_of("0123456789") != std::string::npos || count == "0" ||
            count.find_first_not_of('0') == std::string::npos || count.size() > 9 ||
            (s.percentToken && std::stol(count) > 100))
            throw messages_.refuse("TOP " + count + (s.percentToken ? " PERCENT" : ""));
        if (!s.percentToken) return {count, ""};
        return {"(" + count + " * \"jet_count\" + 99) / 100", ", COUNT(*) OVER () AS \"jet_count\""};
    }

    // An ORDER BY or GROUP BY term: texts that are not plain columns get Jet's collation.
    std::string sortKey(const Expr& e, const Scope& scope) {
        Emitted key = value(e, scope);
        if (!key.column && isTextual(key.type) && key.type != JetType::Null) key = collated(key);
        return key.text;
    }

    // DISTINCTROW keeps one row per distinct combination of the whole records of the sources the
    // query shows fields of: SELECT DISTINCTROW c.Name FROM c INNER JOIN o ON ... lists each
    // customer with orders once, however many orders, and two customers of the same name twice.
    // A query that shows fields of every source (or has one source, or '*') cannot repeat such a
    // combination, so there DISTINCTROW changes nothing. Otherwise the rows are made distinct over
    // the shown fields plus every field of the shown sources' records, then projected.

    // For each source of the query, whether the output shows a field of it; empty when every
    // source is shown, so that DISTINCTROW changes nothing.
    std::vector<bool> shownSources(const Select& s, const Scope& scope) {
        if (scope.bindings.size() <= 1) return {};
        // The rows of a totals query are groups, not records: DISTINCTROW leaves them as they are.
        if (!s.groupBy.empty() || s.having) return {};
        for (const SelectItem& item : s.items)
            if (item.expr && hasAggregate(*item.expr)) return {};
        std::vector<bool> shown(scope.bindings.size(), false);
        for (const SelectItem& item : s.items) {
            if (item.kind == SelectItem::Star) return {};
            if (item.kind == SelectItem::TableStar) {
                for (std::size_t i = 0; i < scope.bindings.size(); ++i)
                    if (sameNameIgnoringCase(scope.bindings[i].key, nameOf(item.token))) shown[i] = true;
            } else if (!markSources(*item.expr, scope, shown, 0)) {
                throw messages_.refuse("DISTINCTROW over several tables whose columns it does not know");
            }
        }
        if (std::find(shown.begin(), shown.end(), false) == shown.end()) return {};
        return shown;
    }

    // Marks the sources whose fields the expression uses (not looking into its subqueries); false
    // when a name cannot be placed because a source's columns are not known.
    bool markSources(const Expr& e, const Scope& scope, std::vector<bool>& shown, int depth) {
        if (e.kind == Expr::Column) {
            std::string name = nameOf(e.token);
            for (std::size_t i = 0; i < scope.bindings.size(); ++i) {
                const Binding& b = scope.bindings[i];
                if (e.qualifier ? sameNameIgnoringCase(b.key, nameOf(*e.qualifier)) : columnOf(b, name) != nullptr) {
                    shown[i] = true;
                    return true;
                }
            }
            if (e.qualifier) return true;  // a field of an outer query
            for (const auto& [alias, aliased] : scope.aliases)
                if (sameNameIgnoringCase(alias, name)) return depth < 20 && markSources(*aliased, scope, shown, depth + 1);
            for (const Binding& b : scope.bindings)
                if (!b.known) return false;
            return true;
        }
        for (const ExprPtr& arg : e.args)
            if (!markSources(*arg, scope, shown, depth)) return false;
        return true;
    }

    // Whether the expression totals rows (Sum, Count, ...), not looking into its subqueries.
    bool hasAggregate(const Expr& e) const {
        static const std::set<std::string> aggregates = {"COUNT", "SUM",  "AVG",   "MIN",    "MAX", "FIRST",
                                                         "LAST",  "STDEV", "STDEVP", "VAR", "VARP"};
        if (e.kind == Expr::Call && aggregates.count(tokens_[e.token].value)) return true;
        for (const ExprPtr& arg : e.args)
            if (hasAggregate(*arg)) return true;
        return false;
    }

    std::string distinctRows(const Select& s, const Scope& scope, const std::vector<bool>& shown,
                             const std::vector<Output>& outputs, bool expanded, const std::string& head,
                             const std::string& rest) {
        if (!expanded) throw messages_.refuse("DISTINCTROW over several tables whose columns it does not know");
        std::string inner, outerList;
        for (std::size_t i = 0; i < outputs.size(); ++i) {
            std::string column = "\"jet_c" + std::to_string(i + 1) + "\"";
            inner += (i ? ", " : "") + splitLead(outputs[i].text).second + " AS " + column;
            outerList += (i ? ", " : "") + column + " AS " + quotedIdentifier(outputs[i].name);
        }
        int fields = 0;
        for (std::size_t i = 0; i < scope.bindings.size(); ++i) {
            if (!shown[i]) continue;
            const Binding& b = scope.bindings[i];
            if (!b.known || b.columns.empty())
                throw messages_.refuse("DISTINCTROW over several tables whose columns it does not know");
            for (const JetSchema::Column& c : b.columns)
                inner += ", " + quotedIdentifier(b.key) + "." + quotedIdentifier(c.name) + " AS \"jet_r" +
                         std::to_string(++fields) + "\"";
        }
        std::string order;  // the ORDER BY terms, over the kept columns
        for (std::size_t i = 0; i < s.orderBy.size(); ++i) {
            const OrderItem& item = s.orderBy[i];
            std::vector<bool> used(scope.bindings.size(), false);
            markSources(*item.expr, scope, used, 0);
            for (std::size_t j = 0; j < used.size(); ++j)
                if (used[j] && !shown[j])
                    throw messages_.refuse("DISTINCTROW with ORDER BY on a table whose fields it does not show");
            Emitted key = value(*item.expr, scope);
            std::string column = "\"jet_k" + std::to_string(i + 1) + "\"";
            inner += ", " + splitLead(key.text).second + " AS " + column;
            order += (i ? ", " : "") + column;
            if (isTextual(key.type) && key.type != JetType::Null) order += " COLLATE " + std::string(kTextCollation);
            if (item.descending) order += " DESC";
        }
        std::string rows = "SELECT DISTINCT " + inner + " " + splitLead(rest).second;
        if (!s.topToken) return head + outerList + " FROM (" + rows + ")" + (order.empty() ? "" : " ORDER BY " + order);
        // TOP ranks the distinct rows, keeping ties as it does without DISTINCTROW.
        auto [limit, counted] = topLimit(s);
        std::string window = order.empty() ? std::string("NULL") : order;
        return head + outerList + " FROM (SELECT *, RANK() OVER (ORDER BY " + window +
               ") AS \"jet_rank\", ROW_NUMBER() OVER (ORDER BY " + window + ") AS \"jet_row\"" + counted +
               " FROM (" + rows + ")) WHERE " + (order.empty() ? "\"jet_row\"" : "\"jet_rank\"") + " <= " + limit +
               " ORDER BY \"jet_row\"";
    }

    const std::vector<Token>& tokens_;
    const Messages& messages_;
    const JetTranslateOptions& options_;
    std::vector<std::string>& relations_;
    std::vector<JetTranslation::Column>& joinColumns_;
    std::vector<JetTranslation::Join>& joins_;
    std::vector<std::string> expandingAliases_;
};

}  // namespace

void writeSqlite(const std::vector<Token>& tokens, const Select& select, const Messages& messages,
                 const JetTranslateOptions& options, JetTranslation& translation) {
    Writer writer(tokens, messages, options, translation.relations, translation.joinColumns, translation.joins);
    translation.sql = writer.statement(select);
}

}  // namespace pontrel::data::jet
