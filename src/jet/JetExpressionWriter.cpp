#include "jet/JetWriter.h"

#include "common/TextBasics.h"
#include "jet/JetFunctions.h"
#include "sqlite/DatabaseError.h"

namespace pontrel::data::jet {

Emitted Writer::expr(const Expr& e, const Scope& scope) {
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
        case Expr::Subquery: return subqueryValue(e, scope);
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
        case Expr::IsNull: return isNull(e, scope);
        case Expr::In: return in(e, scope);
        case Expr::Between: return between(e, scope);
    }
    throw messages_.unreadable("an expression it does not know");
}

// A subquery used as a value must give one column and at most one row; SQLite would quietly take
// the first of several rows where Jet stops with an error.
Emitted Writer::subqueryValue(const Expr& e, const Scope& scope) {
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

Emitted Writer::isNull(const Expr& e, const Scope& scope) {
    Emitted left = wrap(value(*e.args[0], scope), PEquality + 1);
    Emitted out;
    out.text = left.text + t(e.token);
    for (std::size_t m : e.marks) out.text += t(m);
    out.condition = true;
    out.type = JetType::Bool;
    out.prec = PEquality;
    return out;
}

// T.name: T must be a source of this query or an outer one; '!' with no such source is a form
// reference (Forms!F!Control).
Emitted Writer::qualifiedColumn(const Expr& e, const Scope& scope, Emitted out) {
    std::string name = nameOf(e.token);
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
    out.type = columnType(name, source, scope);
    return out;
}

// A name is a column of the query's sources, or of an outer query's for a subquery; failing
// that, the name the query gives one of its own columns (SELECT a * 2 AS x, x + 1 ...), whose
// expression stands in for it, as Jet reads it. A name that is neither is, for Jet, a
// parameter to ask for when the query runs: refused when every source's columns are known.
Emitted Writer::column(const Expr& e, const Scope& scope) {
    Emitted out;
    out.text = (e.qualifier ? relationIdentifier(*e.qualifier) + tokens_[e.marks[0]].lead + "." : std::string()) +
               identifier(e.token);
    out.column = true;
    std::string name = nameOf(e.token);
    if (e.qualifier) return qualifiedColumn(e, scope, out);
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
            out.type = columnType(name, std::nullopt, scope);
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
    // [Table.Field] in one pair of brackets is one name, and no field's name holds a period: Jet
    // does not split it, and Access asks for it as a parameter.
    if (allKnown && options_.schema && name.find('.') != std::string::npos)
        throw messages_.names("the column '" + name + "', which none of its tables has (a name in one pair of "
                              "brackets is not split at its period; Access would ask for it as a parameter)");
    if (allKnown && options_.schema)
        throw messages_.names("the column '" + name + "', which none of its tables has (Access would ask for its value)");
    return out;
}

// x op ANY (SELECT ...) and x op ALL (SELECT ...), which SQLite lacks, with Jet's three-valued
// meaning: ANY is true when the comparison holds for some row, false when it fails for every
// row (or there is none), otherwise Null; ALL is false when it fails for some row, true when
// it holds for every row (or there is none), otherwise Null.
Emitted Writer::quantified(const Expr& e, const Scope& scope) {
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
void Writer::checkComparable(JetType a, JetType b) const {
    auto pair = [&](JetType x, JetType y) { return (a == x && b == y) || (a == y && b == x); };
    if (pair(JetType::Text, JetType::Number))
        throw messages_.refuse("a comparison of a text with a number (a data type mismatch in Jet)");
    if (pair(JetType::Text, JetType::Date))
        throw messages_.refuse("a comparison of a date with a text (Jet reads the text as a date by regional settings)");
}

Emitted Writer::literal(const Expr& e) const {
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

Emitted Writer::unary(const Expr& e, const Scope& scope) {
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

Emitted Writer::binaryOperator(const Expr& e, const Scope& scope) {
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
bool Writer::needsCollation(const Emitted& a, const Emitted& b) const {
    if (a.column || b.column) return false;
    return isTextual(a.type) && isTextual(b.type);
}

Emitted Writer::compare(const Expr& e, const Scope& scope) {
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

Emitted Writer::like(const Expr& e, const Scope& scope) {
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

Emitted Writer::in(const Expr& e, const Scope& scope) {
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

Emitted Writer::between(const Expr& e, const Scope& scope) {
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


}  // namespace pontrel::data::jet
