#include "jet/JetWriter.h"

#include "common/TextBasics.h"
#include "jet/JetFunctionTable.h"
#include "jet/JetFunctions.h"
#include "sqlite/DatabaseError.h"

namespace pontrel::data::jet {

Emitted Writer::call(const std::string& leadText, const std::string& name, const std::vector<Emitted>& args,
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

namespace {

// One call of a special form, as written.
struct Call {
    Writer& writer;
    const Expr& e;
    const Scope& scope;
    const Token& name;
    std::size_t count() const { return e.args.size(); }
    // Refuses a call with fewer than `low` or more than `high` arguments.
    void arity(std::size_t low, std::size_t high) const {
        if (count() < low || count() > high) throw wrongCount();
    }
    DatabaseError wrongCount() const {
        return writer.messages().refuse("the function " + name.text + " with " + std::to_string(count()) +
                                        " argument" + (count() == 1 ? "" : "s"));
    }
    Emitted value(std::size_t i) const { return writer.value(*e.args[i], scope); }
    Emitted condition(std::size_t i) const { return writer.condition(*e.args[i], scope); }
};

std::string body(const Emitted& e) { return splitLead(e.text).second; }

// IIf(test, yes, no): both values are computed, as in Jet, but only one is given.
Emitted immediateIf(const Call& c) {
    c.arity(3, 3);
    Emitted test = c.condition(0);
    Emitted yes = c.value(1), no = c.value(2);
    Emitted out;
    out.text = c.name.lead + "CASE WHEN " + body(test) + " THEN " + body(yes) + " ELSE " + body(no) + " END";
    out.type = unify(yes.type, no.type);
    return out;
}

Emitted isNullCall(const Call& c) {
    c.arity(1, 1);
    Emitted operand = wrap(c.value(0), PEquality + 1);
    Emitted out;
    out.text = c.name.lead + body(operand) + " IS NULL";
    out.prec = PEquality;
    out.condition = true;
    out.type = JetType::Bool;
    return out;
}

// Switch(test1, value1, test2, value2, ...): the value of the first test that holds, Null when
// none does.
Emitted switchCall(const Call& c) {
    if (c.count() < 2 || c.count() % 2 != 0)
        throw c.writer.messages().refuse("the function " + c.name.text + " with " + std::to_string(c.count()) +
                                         " arguments (it takes pairs of a test and a value)");
    Emitted out;
    out.text = c.name.lead + "CASE";
    JetType type = JetType::Null;
    for (std::size_t i = 0; i < c.count(); i += 2) {
        Emitted test = c.condition(i), result = c.value(i + 1);
        out.text += " WHEN " + body(test) + " THEN " + body(result);
        type = unify(type, result.type);
    }
    out.text += " END";
    out.type = type;
    return out;
}

// Choose(index, value1, value2, ...): the index rounds to a whole number; Null when it is outside
// the values.
Emitted choose(const Call& c) {
    if (c.count() < 2) throw c.writer.messages().refuse("the function " + c.name.text + " with 1 argument");
    Emitted index = c.value(0);
    Emitted out;
    out.text = c.name.lead + "CASE jet_round(" + body(index) + ")";
    JetType type = JetType::Null;
    for (std::size_t i = 1; i < c.count(); ++i) {
        Emitted result = c.value(i);
        out.text += " WHEN " + std::to_string(i) + " THEN " + body(result);
        type = unify(type, result.type);
    }
    out.text += " END";
    out.type = type;
    return out;
}

// CVar: a Variant holds any value as it is.
Emitted toVariant(const Call& c) {
    c.arity(1, 1);
    Emitted v = c.value(0);
    v.text = c.name.lead + "(" + body(v) + ")";
    v.prec = PAtom;
    return v;
}

// Nz(value[, alternative]): outside a form, Nz of a Null without an alternative is a
// zero-length text.
Emitted nullToZero(const Call& c) {
    c.arity(1, 2);
    Emitted v = c.value(0);
    Emitted alternative;
    alternative.text = "''";
    alternative.type = JetType::Text;
    if (c.count() == 2) alternative = c.value(1);
    return Writer::call(c.name.lead, "coalesce", {v, alternative}, unify(v.type, alternative.type));
}

// The domain functions DLookUp, DCount, DSum, DAvg, DMin, DMax, DFirst and DLast(expression,
// domain[, criteria]): with literal texts, each is a subquery over the domain (a table or query
// of the same file). DLookUp gives the first row's value, Null when there is none.
Emitted domainFunction(const Call& c) {
    c.arity(2, 3);
    std::vector<std::string> texts;
    for (const ExprPtr& arg : c.e.args) {
        const Token& literal = c.writer.token(arg->token);
        if (arg->kind != Expr::Literal || literal.kind != Token::String)
            throw c.writer.messages().refuse(c.name.text + " with an expression, domain or criteria that is not a literal text");
        texts.push_back(literal.value);
    }
    std::string aggregate = upperAscii(c.name.value).substr(1);
    std::string domain = texts[1];
    if (domain.empty() || domain.front() != '[') domain = "[" + domain + "]";
    std::string jet = aggregate == "LOOKUP" ? "SELECT TOP 1 " + texts[0] : "SELECT " + aggregate + "(" + texts[0] + ")";
    jet += " FROM " + domain;
    if (texts.size() == 3) jet += " WHERE " + texts[2];
    return c.writer.independentSubquery(c.name.lead, jet, aggregate == "COUNT" ? JetType::Number : JetType::Unknown);
}

// The functions written inline, by upper-case name.
struct SpecialForm {
    const char* name;
    Emitted (*write)(const Call&);
};
constexpr SpecialForm kSpecialForms[] = {
    {"IIF", immediateIf}, {"ISNULL", isNullCall}, {"SWITCH", switchCall},
    {"CHOOSE", choose},   {"CVAR", toVariant},    {"NZ", nullToZero},
    {"DLOOKUP", domainFunction}, {"DCOUNT", domainFunction}, {"DSUM", domainFunction},
    {"DAVG", domainFunction},    {"DMIN", domainFunction},   {"DMAX", domainFunction},
    {"DFIRST", domainFunction},  {"DLAST", domainFunction},
};

}  // namespace

Emitted Writer::function(const Expr& e, const Scope& scope) {
    const Token& nameToken = tokens_[e.token];
    std::string name = nameToken.value;
    if (!name.empty() && name.back() == '$') name.pop_back();
    if (e.args.size() == 1 && e.args[0]->kind == Expr::Star && name != "COUNT")
        throw messages_.refuse("'*' in " + nameToken.text);
    for (const SpecialForm& form : kSpecialForms)
        if (name == form.name) return form.write(Call{*this, e, scope, nameToken});
    return tableFunction(e, scope, name);
}

Emitted Writer::independentSubquery(const std::string& lead, const std::string& jet, JetType type) {
    JetTranslateOptions inner;
    inner.context = options_.context;
    inner.schema = options_.schema;
    JetTranslation translation = translateJet(jet, inner);
    for (const std::string& relation : translation.relations) noteRelation(relation);
    Emitted out;
    out.text = lead + "(" + splitLead(translation.sql).second + ")";
    out.type = type;
    return out;
}

// A function of the function table, computed by its jet_* function or SQLite's aggregate.
Emitted Writer::tableFunction(const Expr& e, const Scope& scope, const std::string& name) {
    const Token& nameToken = tokens_[e.token];
    const std::string& written = nameToken.text;
    std::size_t count = e.args.size();
    const FunctionInfo* info = findFunction(name);
    if (!info) throw messages_.refuse("the function " + written);
    if (count < static_cast<std::size_t>(info->minArgs) || count > static_cast<std::size_t>(info->maxArgs))
        throw Call{*this, e, scope, nameToken}.wrongCount();
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
    if (name == "FORMAT") checkFormat(e, first);
    JetType result = info->result;
    if (result == JetType::Unknown) result = first == JetType::Date ? JetType::Date :
                                             (name == "MIN" || name == "MAX" || name == "FIRST" || name == "LAST") ? first : JetType::Number;
    // SQLite's own aggregates keep the name as written.
    bool native = std::string_view(info->sql).find("jet_") != 0;
    return call(nameToken.lead, native ? nameToken.text : std::string(info->sql), args, result);
}

// Format of a date or Yes/No value without a pattern, and patterns with names of months or days,
// depend on regional settings.
void Writer::checkFormat(const Expr& e, JetType first) const {
    std::size_t count = e.args.size();
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

}  // namespace pontrel::data::jet
