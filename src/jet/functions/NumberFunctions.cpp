// Jet's arithmetic (+ on texts and numbers, /, \\, Mod, ^), Int, Fix, Val, Abs, Sgn, Sqr, Round,
// and the aggregates SQLite lacks (First, Last, StDev, Var).
#include "jet/JetFunctions.h"
#include "jet/functions/JetValues.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "common/DayCount.h"
#include "common/TextBasics.h"
#include "sqlite/DatabaseError.h"
#include "sqlite/TextCollation.h"

namespace pontrel::data::jetfn {

namespace {

// + joins two texts, adds two numbers, and reads a text that is wholly a number as that number
// when the other side is one ('1' + 2 = 3; 'a' + 1 is Jet's type mismatch). Unlike &, it is Null
// when either side is. SQLite's + would read 'a' as 0 and never join texts.
SqlValue add(const Args& a) {
    if (a[0].isNull() || a[1].isNull()) return SqlValue::null();
    if (a[0].type == SqlValue::Type::Text && a[1].type == SqlValue::Type::Text)
        return SqlValue::ofText(a[0].bytes + a[1].bytes);
    SqlValue x = toNumber(a[0], "+"), y = toNumber(a[1], "+");
    if (x.type == SqlValue::Type::Integer && y.type == SqlValue::Type::Integer) {
        std::int64_t sum = 0;
        if (!__builtin_add_overflow(x.integer, y.integer, &sum)) return SqlValue::ofInteger(sum);
    }
    return SqlValue::ofReal(x.number() + y.number());
}

// / always divides as real numbers (7 / 2 = 3.5), where SQLite divides two integers as integers;
// dividing by zero is Jet's error, not SQLite's Null.
SqlValue divide(const Args& a) {
    SqlValue x = toNumber(a[0], "/"), y = toNumber(a[1], "/");
    if (x.isNull() || y.isNull()) return SqlValue::null();
    if (y.number() == 0) fail("/", "was asked to divide by zero");
    return SqlValue::ofReal(x.number() / y.number());
}

// \ and Mod first round both sides to whole numbers, half to even (2.5 \ 1 = 2, 7 Mod 2.5 = 1),
// then truncate toward zero; Mod takes the sign of the dividend (-7 Mod 3 = -1). SQLite's % would
// truncate the operands instead of rounding them.
std::optional<std::int64_t> roundedOperand(const SqlValue& value, const char* op) {
    SqlValue x = toNumber(value, op);
    if (x.isNull()) return std::nullopt;
    if (x.type == SqlValue::Type::Integer) return x.integer;
    double r = roundHalfEven(x.real);
    if (!(std::fabs(r) < 9.0e18)) fail(op, "was given a number too large for it");
    return static_cast<std::int64_t>(r);
}

SqlValue integerDivide(const Args& a, bool modulo) {
    const char* op = modulo ? "Mod" : "\\";
    std::optional<std::int64_t> x = roundedOperand(a[0], op), y = roundedOperand(a[1], op);
    if (!x || !y) return SqlValue::null();
    if (*y == 0) fail(op, "was asked to divide by zero");
    return SqlValue::ofInteger(modulo ? *x % *y : *x / *y);
}

SqlValue power(const Args& a) {
    SqlValue x = toNumber(a[0], "^"), y = toNumber(a[1], "^");
    if (x.isNull() || y.isNull()) return SqlValue::null();
    double base = x.number(), exponent = y.number();
    if (base == 0 && exponent < 0) fail("^", "was asked to divide by zero");
    if (base < 0 && exponent != std::trunc(exponent))
        fail("^", "cannot raise a negative number to a fractional power");
    return SqlValue::ofReal(std::pow(base, exponent));
}

SqlValue wholePart(const Args& a, bool towardZero, const char* name) {
    SqlValue x = toNumber(a[0], name);
    if (x.type != SqlValue::Type::Real) return x;
    return SqlValue::ofReal(towardZero ? std::trunc(x.real) : std::floor(x.real));
}

SqlValue val(const Args& a) {
    std::optional<std::string> s = toText(a[0], "Val");
    if (!s) fail("Val", "was given Null");
    // Val reads the longest leading number, skipping blanks, tabs and line feeds anywhere.
    std::string compact;
    for (char ch : *s)
        if (ch != ' ' && ch != '\t' && ch != '\n') compact += ch;
    if (compact.size() > 2 && compact[0] == '&' &&
        (compact[1] == 'H' || compact[1] == 'h' || compact[1] == 'O' || compact[1] == 'o')) {
        int base = (compact[1] == 'H' || compact[1] == 'h') ? 16 : 8;
        return SqlValue::ofInteger(std::strtoll(compact.c_str() + 2, nullptr, base));
    }
    std::size_t i = 0;
    if (i < compact.size() && (compact[i] == '+' || compact[i] == '-')) ++i;
    std::size_t digitsStart = i;
    while (i < compact.size() && std::isdigit(static_cast<unsigned char>(compact[i]))) ++i;
    if (i < compact.size() && compact[i] == '.') {
        ++i;
        while (i < compact.size() && std::isdigit(static_cast<unsigned char>(compact[i]))) ++i;
    }
    if (i == digitsStart || (i == digitsStart + 1 && compact[digitsStart] == '.'))
        return SqlValue::ofInteger(0);
    if (i < compact.size() && (compact[i] == 'e' || compact[i] == 'E' || compact[i] == 'd' ||
                               compact[i] == 'D')) {
        std::size_t j = i + 1;
        if (j < compact.size() && (compact[j] == '+' || compact[j] == '-')) ++j;
        if (j < compact.size() && std::isdigit(static_cast<unsigned char>(compact[j]))) {
            compact[i] = 'e';
            i = j;
            while (i < compact.size() && std::isdigit(static_cast<unsigned char>(compact[i]))) ++i;
        }
    }
    return integerOrReal(std::strtod(compact.substr(0, i).c_str(), nullptr));
}

SqlValue round(const Args& a) {
    if (a.empty() || a.size() > 2) fail("Round", "takes one or two arguments");
    SqlValue x = toNumber(a[0], "Round");
    std::int64_t places = a.size() == 2 ? wholeArgument(a[1], "Round", "number of decimals") : 0;
    if (places < 0) fail("Round", "was given a negative number of decimals");
    if (x.isNull()) return x;
    if (x.type == SqlValue::Type::Integer) return x;
    double scale = std::pow(10.0, static_cast<double>(places));
    double rounded = roundHalfEven(x.real * scale) / scale;
    return places == 0 ? integerOrReal(rounded) : SqlValue::ofReal(rounded);
}

SqlValue sign(const Args& a) {
    SqlValue x = toNumber(a[0], "Sgn");
    if (x.isNull()) return x;
    double v = x.number();
    return SqlValue::ofInteger(v > 0 ? 1 : v < 0 ? -1 : 0);
}

SqlValue absolute(const Args& a) {
    SqlValue x = toNumber(a[0], "Abs");
    if (x.type == SqlValue::Type::Integer && x.integer != std::numeric_limits<std::int64_t>::min())
        return SqlValue::ofInteger(x.integer < 0 ? -x.integer : x.integer);
    if (x.isNull()) return x;
    return SqlValue::ofReal(std::fabs(x.number()));
}

SqlValue squareRoot(const Args& a) {
    SqlValue x = toNumber(a[0], "Sqr");
    if (x.isNull()) return x;
    if (x.number() < 0) fail("Sqr", "was given a negative number");
    return SqlValue::ofReal(std::sqrt(x.number()));
}

// First and Last: the value of the group's first or last row in the order the rows are read,
// Null included (unlike Min and Max, they do not skip Nulls).
class RowValue : public SqlAggregate {
public:
    explicit RowValue(bool last) : last_(last) {}
    void add(const Args& a) override {
        if (!seen_ || last_) value_ = a[0];
        seen_ = true;
    }
    SqlValue result() override { return value_; }

private:
    bool last_;
    bool seen_ = false;
    SqlValue value_;
};

// StDev, StDevP, Var and VarP over the group's non-Null values, by Welford's running mean and sum
// of squared deviations, which stays exact where the naive sum of squares cancels. The sample
// forms (divisor n - 1) are Null below two values, the population forms (divisor n) below one.
class Spread : public SqlAggregate {
public:
    Spread(const char* name, bool sample, bool root) : name_(name), sample_(sample), root_(root) {}
    void add(const Args& a) override {
        SqlValue x = toNumber(a[0], name_);
        if (x.isNull()) return;
        ++count_;
        double delta = x.number() - mean_;
        mean_ += delta / static_cast<double>(count_);
        squares_ += delta * (x.number() - mean_);
    }
    SqlValue result() override {
        std::size_t divisor = sample_ ? count_ - 1 : count_;
        if (count_ == 0 || divisor == 0) return SqlValue::null();
        double variance = std::max(0.0, squares_ / static_cast<double>(divisor));
        return SqlValue::ofReal(root_ ? std::sqrt(variance) : variance);
    }

private:
    const char* name_;
    bool sample_, root_;
    std::size_t count_ = 0;
    double mean_ = 0, squares_ = 0;
};

}  // namespace

void registerNumberFunctions(SqliteDatabase& db) {
    db.createFunction("jet_add", 2, add);
    db.createFunction("jet_divide", 2, divide);
    db.createFunction("jet_intdiv", 2, [](const Args& a) { return integerDivide(a, false); });
    db.createFunction("jet_mod", 2, [](const Args& a) { return integerDivide(a, true); });
    db.createFunction("jet_power", 2, power);
    db.createFunction("jet_int", 1, [](const Args& a) { return wholePart(a, false, "Int"); });
    db.createFunction("jet_fix", 1, [](const Args& a) { return wholePart(a, true, "Fix"); });
    db.createFunction("jet_val", 1, val);
    db.createFunction("jet_abs", 1, absolute);
    db.createFunction("jet_sgn", 1, sign);
    db.createFunction("jet_sqr", 1, squareRoot);
    db.createFunction("jet_round", -1, round);
    db.createAggregate("jet_first", 1, [] { return std::make_unique<RowValue>(false); });
    db.createAggregate("jet_last", 1, [] { return std::make_unique<RowValue>(true); });
    db.createAggregate("jet_stdev", 1, [] { return std::make_unique<Spread>("StDev", true, true); });
    db.createAggregate("jet_stdevp", 1, [] { return std::make_unique<Spread>("StDevP", false, true); });
    db.createAggregate("jet_var", 1, [] { return std::make_unique<Spread>("Var", true, false); });
    db.createAggregate("jet_varp", 1, [] { return std::make_unique<Spread>("VarP", false, false); });
}
}  // namespace pontrel::data::jetfn
