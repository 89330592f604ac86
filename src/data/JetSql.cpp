#include "data/JetSql.h"
#include "data/TextBasics.h"

#include <cctype>
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "data/DatabaseError.h"
#include "data/JetFunctions.h"
#include "data/Sqlite.h"
#include "data/WorkingDatabase.h"

namespace pontrel::data {

namespace {

std::string trimmed(std::string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return std::string(text.substr(begin, end - begin));
}

// Splits "12/31/2001" style text into numbers and separators; false on anything unexpected.
bool splitDate(std::string_view text, int parts[3], int digits[3]) {
    int index = 0;
    std::size_t pos = 0;
    char separator = 0;
    while (index < 3) {
        std::size_t start = pos;
        long value = 0;
        while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
            value = value * 10 + (text[pos] - '0');
            if (value > 99999) return false;
            ++pos;
        }
        if (pos == start) return false;
        parts[index] = static_cast<int>(value);
        digits[index] = static_cast<int>(pos - start);
        ++index;
        if (index == 3) break;
        if (pos >= text.size() || (text[pos] != '/' && text[pos] != '-')) return false;
        if (separator && text[pos] != separator) return false;
        separator = text[pos++];
    }
    return pos == text.size();
}

bool parseTime(std::string_view text, CivilTime& c) {
    std::string t = trimmed(text);
    bool pm = false, am = false;
    if (t.size() >= 2) {
        std::string suffix = t.substr(t.size() - 2);
        for (char& ch : suffix) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        if (suffix == "AM" || suffix == "PM") {
            pm = suffix == "PM";
            am = !pm;
            t = trimmed(std::string_view(t).substr(0, t.size() - 2));
        }
    }
    int values[3] = {0, 0, 0};
    int count = 0;
    std::size_t pos = 0;
    while (count < 3) {
        std::size_t start = pos;
        int value = 0;
        while (pos < t.size() && std::isdigit(static_cast<unsigned char>(t[pos])) && pos - start < 2)
            value = value * 10 + (t[pos++] - '0');
        if (pos == start) return false;
        values[count++] = value;
        if (pos == t.size()) break;
        if (t[pos] != ':') return false;
        ++pos;
    }
    if (pos != t.size() || count < 2) return false;
    int hour = values[0];
    if (am || pm) {
        if (hour < 1 || hour > 12) return false;
        hour = hour % 12 + (pm ? 12 : 0);
    }
    if (hour > 23 || values[1] > 59 || values[2] > 59) return false;
    c.hour = hour;
    c.minute = values[1];
    c.second = values[2];
    return true;
}

int expandYear(int year, int digits) {
    if (digits > 2) return year;
    return year < 30 ? 2000 + year : 1900 + year;
}

std::string formatNumber(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

// ---- messages -----------------------------------------------------------------------------

class Messages {
public:
    explicit Messages(std::string_view context) : context_(context) {}
    DatabaseError refuse(const std::string& what) const {
        return DatabaseError(where() + " uses " + what + ", which cannot be translated");
    }
    DatabaseError unreadable(const std::string& what) const {
        return DatabaseError(where() + " cannot be read: " + what);
    }

private:
    std::string where() const {
        return context_.empty() ? std::string("The statement") : "The query '" + std::string(context_) + "'";
    }
    std::string_view context_;
};

// ---- tokens -------------------------------------------------------------------------------

struct Token {
    enum Kind { End, Word, Name, String, Number, Date, Symbol };
    Kind kind = End;
    std::string text;   // as written
    std::string value;  // Word: upper case; Name: between the brackets; String: the text;
                        // Number and Date: the SQLite literal
    std::string lead;   // the blanks before it
};

bool isWordStart(unsigned char ch) { return std::isalpha(ch) || ch == '_' || ch >= 0x80; }
bool isWordChar(unsigned char ch) { return std::isalnum(ch) || ch == '_' || ch >= 0x80; }

std::vector<Token> tokenize(std::string_view jet, const Messages& messages) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    const std::size_t n = jet.size();
    std::string lead;
    auto push = [&](Token::Kind kind, std::size_t end, std::string value) {
        Token token;
        token.kind = kind;
        token.text = std::string(jet.substr(i, end - i));
        token.value = std::move(value);
        token.lead = std::move(lead);
        lead.clear();
        tokens.push_back(std::move(token));
        i = end;
    };
    while (i < n) {
        unsigned char ch = static_cast<unsigned char>(jet[i]);
        if (std::isspace(ch)) {
            lead += jet[i++];
        } else if (ch == '\'' || ch == '"') {
            // Both quote characters delimit texts in Jet; a doubled quote stands for itself.
            std::string value;
            std::size_t j = i + 1;
            bool closed = false;
            while (j < n) {
                if (jet[j] == static_cast<char>(ch)) {
                    if (j + 1 < n && jet[j + 1] == static_cast<char>(ch)) {
                        value += jet[j];
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                value += jet[j++];
            }
            if (!closed) throw messages.refuse("a text without its closing quote");
            push(Token::String, j, value);
        } else if (ch == '[') {
            std::size_t j = jet.find(']', i + 1);
            if (j == std::string_view::npos) throw messages.refuse("a name without its closing bracket");
            push(Token::Name, j + 1, std::string(jet.substr(i + 1, j - i - 1)));
        } else if (ch == '#') {
            std::size_t j = jet.find('#', i + 1);
            if (j == std::string_view::npos) throw messages.refuse("a date without its closing '#'");
            std::string_view inside = jet.substr(i + 1, j - i - 1);
            std::optional<Date> date = parseJetDateLiteral(inside);
            if (!date) throw messages.refuse("the date literal #" + std::string(inside) + "#");
            push(Token::Date, j + 1, formatNumber(*date));
        } else if (std::isdigit(ch) ||
                   (ch == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(jet[i + 1])) &&
                    (tokens.empty() || (tokens.back().kind != Token::Word &&
                                        tokens.back().kind != Token::Name &&
                                        tokens.back().text != ")")))) {
            std::size_t j = i;
            while (j < n && std::isdigit(static_cast<unsigned char>(jet[j]))) ++j;
            if (j < n && jet[j] == '.') {
                ++j;
                while (j < n && std::isdigit(static_cast<unsigned char>(jet[j]))) ++j;
            }
            if (j < n && (jet[j] == 'e' || jet[j] == 'E')) {
                std::size_t k = j + 1;
                if (k < n && (jet[k] == '+' || jet[k] == '-')) ++k;
                if (k < n && std::isdigit(static_cast<unsigned char>(jet[k]))) {
                    while (k < n && std::isdigit(static_cast<unsigned char>(jet[k]))) ++k;
                    j = k;
                }
            }
            if (j < n && isWordChar(static_cast<unsigned char>(jet[j])))
                throw messages.unreadable("the number '" + std::string(jet.substr(i, j - i + 1)) +
                                          "' runs into a name");
            std::string text(jet.substr(i, j - i));
            push(Token::Number, j, text[0] == '.' ? "0" + text : text);
        } else if (ch == '&' && i + 2 < n && (jet[i + 1] == 'H' || jet[i + 1] == 'h' ||
                                              jet[i + 1] == 'O' || jet[i + 1] == 'o') &&
                   std::isxdigit(static_cast<unsigned char>(jet[i + 2]))) {
            // &H1F and &O17: hexadecimal and octal whole numbers.
            bool hex = jet[i + 1] == 'H' || jet[i + 1] == 'h';
            std::size_t j = i + 2;
            while (j < n && isWordChar(static_cast<unsigned char>(jet[j]))) ++j;
            std::string digits(jet.substr(i + 2, j - i - 2));
            bool valid = digits.size() <= (hex ? 8u : 11u);
            for (char d : digits)
                valid = valid && (hex ? std::isxdigit(static_cast<unsigned char>(d)) != 0 : (d >= '0' && d <= '7'));
            if (valid) {
                // Jet's hexadecimal literals are 32-bit: &HFFFFFFFF is -1.
                auto value = static_cast<std::int32_t>(std::stoul(digits, nullptr, hex ? 16 : 8));
                push(Token::Number, j, std::to_string(value));
            } else {
                push(Token::Symbol, i + 1, "&");
            }
        } else if (isWordStart(ch)) {
            std::size_t j = i;
            while (j < n && isWordChar(static_cast<unsigned char>(jet[j]))) ++j;
            if (j < n && jet[j] == '$') ++j;  // Left$, Mid$, ...: the text-only forms
            push(Token::Word, j, upperAscii(jet.substr(i, j - i)));
        } else {
            std::string two(jet.substr(i, 2));
            if (two == "<=" || two == ">=" || two == "<>") {
                push(Token::Symbol, i + 2, two);
            } else if (std::string_view("(),.*+-/\\^&=<>;!?").find(static_cast<char>(ch)) !=
                       std::string_view::npos) {
                push(Token::Symbol, i + 1, std::string(1, static_cast<char>(ch)));
            } else {
                throw messages.unreadable("the character '" + std::string(1, static_cast<char>(ch)) +
                                          "'");
            }
        }
    }
    Token end;
    end.lead = lead;
    tokens.push_back(end);
    return tokens;
}

const std::set<std::string>& reservedWords() {
    static const std::set<std::string> words = {
        "SELECT", "FROM", "WHERE", "GROUP", "BY", "HAVING", "ORDER", "AS", "ON", "JOIN",
        "INNER", "LEFT", "RIGHT", "OUTER", "AND", "OR", "NOT", "XOR", "EQV", "IMP", "MOD",
        "LIKE", "IS", "IN", "BETWEEN", "NULL", "TRUE", "FALSE", "DISTINCT", "DISTINCTROW",
        "TOP", "PERCENT", "UNION", "ALL", "ASC", "DESC", "WITH", "INTO", "EXISTS",
        "PARAMETERS", "TRANSFORM", "PIVOT"};
    return words;
}

// ---- syntax tree --------------------------------------------------------------------------

struct Select;

struct Expr {
    enum Kind { Literal, Column, Call, Unary, Binary, Compare, Like, IsNull, In, Between, Exists,
                Subquery, Paren, Star };
    Kind kind = Literal;
    std::size_t token = 0;         // the literal, the column's name, the function's name, the operator
    std::optional<std::size_t> qualifier;  // Column: the table or alias before the dot
    std::vector<std::size_t> marks;  // punctuation and keywords, in the order they are written
    bool negated = false;
    int height = 1;  // of the tree below, which writing it back walks recursively
    std::vector<std::unique_ptr<Expr>> args;
    std::unique_ptr<Select> query;
};
using ExprPtr = std::unique_ptr<Expr>;

struct SelectItem {
    enum Kind { Value, Star, TableStar } kind = Value;
    ExprPtr expr;
    std::size_t token = 0;                 // '*' or the qualifier of T.*
    std::vector<std::size_t> marks;        // '.' '*' of T.*
    std::optional<std::size_t> asToken, alias;
};

struct FromNode {
    enum Kind { Table, Subquery, Join, Group } kind = Table;
    std::size_t token = 0;  // Table: the name; Subquery and Group: '('
    std::size_t close = 0;  // Subquery and Group: ')'
    std::optional<std::size_t> asToken, alias;
    std::unique_ptr<Select> query;
    std::unique_ptr<FromNode> left, right;  // Join; Group holds its content in left
    std::vector<std::size_t> joinWords;     // INNER / LEFT [OUTER] / RIGHT [OUTER], JOIN
    std::size_t onToken = 0;
    ExprPtr on;
    int joinType = 1;  // 1 inner, 2 left, 3 right
};

struct OrderItem {
    ExprPtr expr;
    std::optional<std::size_t> direction;
    bool descending = false;
};

struct Select {
    std::size_t selectToken = 0;
    enum Quantifier { None, All, Distinct, DistinctRow } quantifier = None;
    std::optional<std::size_t> quantifierToken;
    std::optional<std::size_t> topToken;
    std::size_t topValue = 0;
    std::optional<std::size_t> percentToken;
    std::vector<SelectItem> items;
    std::vector<std::size_t> itemCommas;
    std::optional<std::size_t> fromToken;  // Jet reads SELECT without FROM as one row
    std::vector<std::unique_ptr<FromNode>> from;
    std::vector<std::size_t> fromCommas;
    std::optional<std::size_t> whereToken;
    ExprPtr where;
    std::vector<std::size_t> groupTokens;  // GROUP BY
    std::vector<ExprPtr> groupBy;
    std::vector<std::size_t> groupCommas;
    std::optional<std::size_t> havingToken;
    ExprPtr having;
    std::vector<std::size_t> orderTokens;  // ORDER BY
    std::vector<OrderItem> orderBy;
    std::vector<std::size_t> orderCommas;
};

// ---- parser -------------------------------------------------------------------------------

class Parser {
public:
    Parser(const std::vector<Token>& tokens, const Messages& messages)
        : tokens_(tokens), messages_(messages) {}

    // The parser recurses once per level of parentheses, Not, sign or subquery; a limit keeps a
    // pathological text from exhausting the stack.
    static constexpr int kMaxDepth = 200;
    class Nesting {
    public:
        explicit Nesting(Parser& parser) : parser_(parser) {
            if (++parser_.depth_ > kMaxDepth)
                throw parser_.messages_.refuse("more than " + std::to_string(kMaxDepth) + " levels of nesting");
        }
        ~Nesting() { --parser_.depth_; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;

    private:
        Parser& parser_;
    };

    std::unique_ptr<Select> statement() {
        if (isWord("PARAMETERS")) throw messages_.refuse("a PARAMETERS declaration");
        if (isWord("TRANSFORM")) throw messages_.refuse("a crosstab (TRANSFORM ... PIVOT)");
        if (!isWord("SELECT")) {
            const Token& t = tokens_[pos_];
            throw messages_.refuse("the statement " + (t.kind == Token::End ? std::string("(empty)")
                                                                             : upperAscii(t.text)) +
                                   " (only SELECT statements are read)");
        }
        std::unique_ptr<Select> select = query();
        if (isSymbol(";")) ++pos_;
        if (tokens_[pos_].kind != Token::End) {
            if (isWord("UNION")) throw messages_.refuse("UNION");
            throw unexpected();
        }
        return select;
    }

private:
    bool isWord(const char* word, std::size_t at) const {
        return tokens_[at].kind == Token::Word && tokens_[at].value == word;
    }
    bool isWord(const char* word) const { return isWord(word, pos_); }
    bool isSymbol(const char* symbol) const {
        return tokens_[pos_].kind == Token::Symbol && tokens_[pos_].value == symbol;
    }
    bool acceptWord(const char* word) {
        if (!isWord(word)) return false;
        ++pos_;
        return true;
    }
    std::size_t expectWord(const char* word) {
        if (!isWord(word)) throw unexpected(std::string("expected ") + word);
        return pos_++;
    }
    std::size_t expectSymbol(const char* symbol) {
        if (!isSymbol(symbol)) throw unexpected(std::string("expected '") + symbol + "'");
        return pos_++;
    }
    DatabaseError unexpected(const std::string& expected = {}) const {
        const Token& t = tokens_[pos_];
        if (expected.empty())
            return messages_.unreadable(t.kind == Token::End ? std::string("it ends too early")
                                                             : "unexpected '" + t.text + "'");
        return messages_.unreadable(expected + ", found " +
                                    (t.kind == Token::End ? std::string("the end") : "'" + t.text + "'"));
    }
    bool isIdentifier(std::size_t at) const {
        const Token& t = tokens_[at];
        return t.kind == Token::Name || (t.kind == Token::Word && !reservedWords().count(t.value));
    }
    std::size_t identifier(const char* what) {
        if (!isIdentifier(pos_)) throw unexpected(std::string("expected ") + what);
        return pos_++;
    }

    std::unique_ptr<Select> query() {
        Nesting nesting(*this);
        auto s = std::make_unique<Select>();
        s->selectToken = expectWord("SELECT");
        if (isWord("ALL")) s->quantifier = Select::All;
        else if (isWord("DISTINCT")) s->quantifier = Select::Distinct;
        else if (isWord("DISTINCTROW")) s->quantifier = Select::DistinctRow;
        if (s->quantifier != Select::None) s->quantifierToken = pos_++;
        if (isWord("TOP")) {
            s->topToken = pos_++;
            if (tokens_[pos_].kind != Token::Number) throw unexpected("expected a number after TOP");
            s->topValue = pos_++;
            if (isWord("PERCENT")) s->percentToken = pos_++;
        }
        do {
            if (!s->items.empty()) s->itemCommas.push_back(pos_++);
            s->items.push_back(selectItem());
        } while (isSymbol(","));
        if (isWord("INTO")) throw messages_.refuse("SELECT ... INTO (a make-table query)");
        if (isWord("FROM")) {
            s->fromToken = pos_++;
            do {
                if (!s->from.empty()) s->fromCommas.push_back(pos_++);
                s->from.push_back(fromItem());
            } while (isSymbol(","));
        }
        if (isWord("WHERE")) {
            s->whereToken = pos_++;
            s->where = expression();
        }
        if (isWord("GROUP")) {
            s->groupTokens = {pos_, pos_ + 1};
            ++pos_;
            expectWord("BY");
            do {
                if (!s->groupBy.empty()) s->groupCommas.push_back(pos_++);
                s->groupBy.push_back(expression());
            } while (isSymbol(","));
        }
        if (isWord("HAVING")) {
            s->havingToken = pos_++;
            s->having = expression();
        }
        if (isWord("ORDER")) {
            s->orderTokens = {pos_, pos_ + 1};
            ++pos_;
            expectWord("BY");
            do {
                if (!s->orderBy.empty()) s->orderCommas.push_back(pos_++);
                OrderItem item;
                item.expr = expression();
                if (isWord("ASC") || isWord("DESC")) {
                    item.descending = isWord("DESC");
                    item.direction = pos_++;
                }
                s->orderBy.push_back(std::move(item));
            } while (isSymbol(","));
        }
        if (isWord("WITH")) {
            // WITH OWNERACCESS OPTION only grants rights; it does not change the rows.
            ++pos_;
            expectWord("OWNERACCESS");
            expectWord("OPTION");
        }
        return s;
    }

    SelectItem selectItem() {
        SelectItem item;
        if (isSymbol("*")) {
            item.kind = SelectItem::Star;
            item.token = pos_++;
            return item;
        }
        if (isIdentifier(pos_) && tokens_[pos_ + 1].value == "." && tokens_[pos_ + 1].kind == Token::Symbol &&
            tokens_[pos_ + 2].kind == Token::Symbol && tokens_[pos_ + 2].value == "*") {
            item.kind = SelectItem::TableStar;
            item.token = pos_;
            item.marks = {pos_ + 1, pos_ + 2};
            pos_ += 3;
            return item;
        }
        item.expr = expression();
        if (isWord("AS")) {
            item.asToken = pos_++;
            item.alias = identifier("a name after AS");
        }
        return item;
    }

    std::unique_ptr<FromNode> fromItem() {
        std::unique_ptr<FromNode> node = fromPrimary();
        for (;;) {
            std::vector<std::size_t> words;
            int type = 0;
            if (isWord("INNER")) type = 1;
            else if (isWord("LEFT")) type = 2;
            else if (isWord("RIGHT")) type = 3;
            else if (isWord("JOIN")) throw messages_.refuse("a JOIN without INNER, LEFT or RIGHT");
            else if (isWord("FULL") || isWord("CROSS")) throw messages_.refuse(upperAscii(tokens_[pos_].text) + " JOIN");
            if (!type) return node;
            words.push_back(pos_++);
            if (type != 1 && isWord("OUTER")) words.push_back(pos_++);
            words.push_back(expectWord("JOIN"));
            auto join = std::make_unique<FromNode>();
            join->kind = FromNode::Join;
            join->joinType = type;
            join->joinWords = words;
            join->left = std::move(node);
            join->right = fromPrimary();
            join->onToken = expectWord("ON");
            join->on = expression();
            node = std::move(join);
        }
    }

    std::unique_ptr<FromNode> fromPrimary() {
        Nesting nesting(*this);
        auto node = std::make_unique<FromNode>();
        if (isSymbol("(")) {
            node->token = pos_++;
            if (isWord("SELECT")) {
                node->kind = FromNode::Subquery;
                node->query = query();
                node->close = expectSymbol(")");
            } else {
                node->kind = FromNode::Group;
                node->left = fromItem();
                node->close = expectSymbol(")");
                return node;
            }
        } else {
            node->kind = FromNode::Table;
            node->token = identifier("a table or query name");
            if (isSymbol(".")) throw messages_.refuse("a table of another database (" + tokens_[node->token].text + ".)");
            if (isWord("IN")) throw messages_.refuse("a table of another database (IN)");
        }
        if (isWord("AS")) {
            node->asToken = pos_++;
            node->alias = identifier("a name after AS");
        } else if (isIdentifier(pos_)) {
            node->alias = pos_++;
        }
        if (node->kind == FromNode::Subquery && !node->alias)
            throw unexpected("expected a name for the subquery");
        return node;
    }

    // Jet's precedence, loosest first: Imp, Eqv, Xor, Or, And, Not, comparisons, &, + -, Mod,
    // \, * /, unary -, ^.
    ExprPtr expression() {
        Nesting nesting(*this);
        ExprPtr left = orExpression();
        if (isWord("XOR") || isWord("EQV") || isWord("IMP"))
            throw messages_.refuse("the operator " + upperAscii(tokens_[pos_].text));
        return left;
    }

    ExprPtr binary(ExprPtr left, std::size_t op, ExprPtr right, Expr::Kind kind = Expr::Binary) {
        auto e = std::make_unique<Expr>();
        e->kind = kind;
        e->token = op;
        // A long run of operators builds a deep tree without nesting: it is bounded as well.
        e->height = 1 + std::max(left->height, right->height);
        if (e->height > 5 * kMaxDepth)
            throw messages_.refuse("more than " + std::to_string(5 * kMaxDepth) + " operators in a row");
        e->args.push_back(std::move(left));
        e->args.push_back(std::move(right));
        return e;
    }

    ExprPtr orExpression() {
        ExprPtr left = andExpression();
        while (isWord("OR")) {
            std::size_t op = pos_++;
            left = binary(std::move(left), op, andExpression());
        }
        return left;
    }

    ExprPtr andExpression() {
        ExprPtr left = notExpression();
        while (isWord("AND")) {
            std::size_t op = pos_++;
            left = binary(std::move(left), op, notExpression());
        }
        return left;
    }

    ExprPtr notExpression() {
        Nesting nesting(*this);
        if (isWord("NOT")) {
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Unary;
            e->token = pos_++;
            e->args.push_back(notExpression());
            return e;
        }
        return comparison();
    }

    ExprPtr comparison() {
        ExprPtr left = concatenation();
        for (;;) {
            const Token& t = tokens_[pos_];
            if (t.kind == Token::Symbol &&
                (t.value == "=" || t.value == "<>" || t.value == "<" || t.value == ">" ||
                 t.value == "<=" || t.value == ">=")) {
                std::size_t op = pos_++;
                left = binary(std::move(left), op, concatenation(), Expr::Compare);
                continue;
            }
            auto e = std::make_unique<Expr>();
            std::size_t start = pos_;
            if (isWord("NOT") && (isWord("LIKE", pos_ + 1) || isWord("IN", pos_ + 1) ||
                                  isWord("BETWEEN", pos_ + 1))) {
                e->negated = true;
                e->marks.push_back(pos_++);
            }
            if (isWord("LIKE")) {
                e->kind = Expr::Like;
                e->token = pos_++;
                e->args.push_back(std::move(left));
                e->args.push_back(concatenation());
            } else if (isWord("IS")) {
                e->kind = Expr::IsNull;
                e->token = pos_++;
                if (isWord("NOT")) {
                    e->negated = true;
                    e->marks.push_back(pos_++);
                }
                e->marks.push_back(expectWord("NULL"));
                e->args.push_back(std::move(left));
            } else if (isWord("IN")) {
                e->kind = Expr::In;
                e->token = pos_++;
                e->marks.push_back(expectSymbol("("));
                e->args.push_back(std::move(left));
                if (isWord("SELECT")) {
                    e->query = query();
                } else {
                    do {
                        if (e->args.size() > 1) e->marks.push_back(pos_++);
                        e->args.push_back(expression());
                    } while (isSymbol(","));
                }
                e->marks.push_back(expectSymbol(")"));
            } else if (isWord("BETWEEN")) {
                e->kind = Expr::Between;
                e->token = pos_++;
                e->args.push_back(std::move(left));
                e->args.push_back(concatenation());
                e->marks.push_back(expectWord("AND"));
                e->args.push_back(concatenation());
            } else {
                pos_ = start;
                return left;
            }
            for (const ExprPtr& arg : e->args) e->height = std::max(e->height, arg->height + 1);
            if (e->height > 5 * kMaxDepth)
                throw messages_.refuse("more than " + std::to_string(5 * kMaxDepth) + " operators in a row");
            left = std::move(e);
        }
    }

    ExprPtr concatenation() {
        ExprPtr left = additive();
        while (isSymbol("&")) {
            std::size_t op = pos_++;
            left = binary(std::move(left), op, additive());
        }
        return left;
    }

    ExprPtr additive() {
        ExprPtr left = modulo();
        while (isSymbol("+") || isSymbol("-")) {
            std::size_t op = pos_++;
            left = binary(std::move(left), op, modulo());
        }
        return left;
    }

    ExprPtr modulo() {
        ExprPtr left = integerDivision();
        while (isWord("MOD")) {
            std::size_t op = pos_++;
            left = binary(std::move(left), op, integerDivision());
        }
        return left;
    }

    ExprPtr integerDivision() {
        ExprPtr left = multiplicative();
        while (isSymbol("\\")) {
            std::size_t op = pos_++;
            left = binary(std::move(left), op, multiplicative());
        }
        return left;
    }

    ExprPtr multiplicative() {
        ExprPtr left = unary();
        while (isSymbol("*") || isSymbol("/")) {
            std::size_t op = pos_++;
            left = binary(std::move(left), op, unary());
        }
        return left;
    }

    ExprPtr unary() {
        Nesting nesting(*this);
        if (isSymbol("-") || isSymbol("+")) {
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Unary;
            e->token = pos_++;
            e->args.push_back(unary());
            return e;
        }
        return exponent();
    }

    ExprPtr exponent() {
        Nesting nesting(*this);
        ExprPtr left = primary();
        while (isSymbol("^")) {
            std::size_t op = pos_++;
            ExprPtr right;
            if (isSymbol("-") || isSymbol("+")) {
                right = std::make_unique<Expr>();
                right->kind = Expr::Unary;
                right->token = pos_++;
                right->args.push_back(primary());
            } else {
                right = primary();
            }
            left = binary(std::move(left), op, std::move(right));
        }
        return left;
    }

    ExprPtr primary() {
        auto e = std::make_unique<Expr>();
        const Token& t = tokens_[pos_];
        if (t.kind == Token::String || t.kind == Token::Number || t.kind == Token::Date ||
            (t.kind == Token::Word && (t.value == "NULL" || t.value == "TRUE" || t.value == "FALSE"))) {
            e->kind = Expr::Literal;
            e->token = pos_++;
            return e;
        }
        if (t.kind == Token::Symbol && t.value == "(") {
            std::size_t open = pos_++;
            if (isWord("SELECT")) {
                e->kind = Expr::Subquery;
                e->query = query();
            } else {
                e->kind = Expr::Paren;
                e->args.push_back(expression());
            }
            e->marks = {open, expectSymbol(")")};
            return e;
        }
        if (t.kind == Token::Word && t.value == "EXISTS") {
            e->kind = Expr::Exists;
            e->token = pos_++;
            e->marks.push_back(expectSymbol("("));
            e->query = query();
            e->marks.push_back(expectSymbol(")"));
            return e;
        }
        if (t.kind == Token::Symbol && (t.value == "!" || t.value == "?"))
            throw messages_.refuse("the '" + t.value + "' operator (a form reference or parameter)");
        if (t.kind == Token::Word && tokens_[pos_ + 1].kind == Token::Symbol &&
            tokens_[pos_ + 1].value == "(") {
            e->kind = Expr::Call;
            e->token = pos_++;
            e->marks.push_back(pos_++);
            if (isSymbol("*")) {
                auto star = std::make_unique<Expr>();
                star->kind = Expr::Star;
                star->token = pos_++;
                e->args.push_back(std::move(star));
            } else if (!isSymbol(")")) {
                if (isWord("DISTINCT") || isWord("ALL"))
                    throw messages_.refuse(upperAscii(tokens_[pos_].text) + " inside a function");
                do {
                    if (!e->args.empty()) e->marks.push_back(pos_++);
                    e->args.push_back(expression());
                } while (isSymbol(","));
            }
            e->marks.push_back(expectSymbol(")"));
            return e;
        }
        if (isIdentifier(pos_)) {
            e->kind = Expr::Column;
            e->token = pos_++;
            if (isSymbol(".")) {
                e->qualifier = e->token;
                e->marks.push_back(pos_++);
                if (!isIdentifier(pos_)) throw unexpected("expected a field name after '.'");
                e->token = pos_++;
                if (isSymbol(".")) throw messages_.refuse("a name with more than one '.'");
            }
            if (isSymbol("!")) throw messages_.refuse("the '!' operator (a form reference)");
            return e;
        }
        throw unexpected();
    }

    const std::vector<Token>& tokens_;
    const Messages& messages_;
    std::size_t pos_ = 0;
    int depth_ = 0;
};

// ---- writing SQLite -----------------------------------------------------------------------

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
};

struct FunctionInfo {
    const char* jet;
    const char* sql;
    int minArgs, maxArgs;
    JetType result;  // Unknown: the first argument's type
    bool textArgument;  // the first argument is used as a text
};

const FunctionInfo* findFunction(const std::string& upper) {
    static const FunctionInfo functions[] = {
        {"LEFT", "jet_left", 2, 2, JetType::Text, true},
        {"RIGHT", "jet_right", 2, 2, JetType::Text, true},
        {"MID", "jet_mid", 2, 3, JetType::Text, true},
        {"LEN", "jet_len", 1, 1, JetType::Number, true},
        {"TRIM", "jet_trim", 1, 1, JetType::Text, true},
        {"LTRIM", "jet_ltrim", 1, 1, JetType::Text, true},
        {"RTRIM", "jet_rtrim", 1, 1, JetType::Text, true},
        {"UCASE", "jet_ucase", 1, 1, JetType::Text, true},
        {"LCASE", "jet_lcase", 1, 1, JetType::Text, true},
        {"CSTR", "jet_cstr", 1, 1, JetType::Text, true},
        {"VAL", "jet_val", 1, 1, JetType::Number, true},
        {"INT", "jet_int", 1, 1, JetType::Unknown, false},
        {"FIX", "jet_fix", 1, 1, JetType::Unknown, false},
        {"CDBL", "jet_cdbl", 1, 1, JetType::Number, false},
        {"CLNG", "jet_clng", 1, 1, JetType::Number, false},
        {"CINT", "jet_cint", 1, 1, JetType::Number, false},
        {"CDATE", "jet_cdate", 1, 1, JetType::Date, false},
        {"ABS", "jet_abs", 1, 1, JetType::Number, false},
        {"SGN", "jet_sgn", 1, 1, JetType::Number, false},
        {"SQR", "jet_sqr", 1, 1, JetType::Number, false},
        {"ROUND", "jet_round", 1, 2, JetType::Number, false},
        {"YEAR", "jet_year", 1, 1, JetType::Number, false},
        {"MONTH", "jet_month", 1, 1, JetType::Number, false},
        {"DAY", "jet_day", 1, 1, JetType::Number, false},
        {"HOUR", "jet_hour", 1, 1, JetType::Number, false},
        {"MINUTE", "jet_minute", 1, 1, JetType::Number, false},
        {"SECOND", "jet_second", 1, 1, JetType::Number, false},
        {"WEEKDAY", "jet_weekday", 1, 1, JetType::Number, false},
        {"DATESERIAL", "jet_dateserial", 3, 3, JetType::Date, false},
        {"FORMAT", "jet_format", 1, 2, JetType::Text, false},
        {"COUNT", "count", 1, 1, JetType::Number, false},
        {"SUM", "sum", 1, 1, JetType::Number, false},
        {"AVG", "avg", 1, 1, JetType::Number, false},
        {"MIN", "min", 1, 1, JetType::Unknown, false},
        {"MAX", "max", 1, 1, JetType::Unknown, false},
    };
    std::string name = upper;
    if (!name.empty() && name.back() == '$') name.pop_back();
    for (const FunctionInfo& f : functions)
        if (name == f.jet) return &f;
    return nullptr;
}

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
           std::vector<std::string>& relations, std::vector<JetTranslation::Column>& joinColumns)
        : tokens_(tokens), messages_(messages), options_(options), relations_(relations),
          joinColumns_(joinColumns) {}

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
                std::string inner = query(*node.query, scope.outer, false, &columns);
                Binding b;
                b.key = nameOf(*node.alias);
                b.known = true;
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
                noteJoinColumns(*node.on, scope);
                return out;
            }
        }
        return {};
    }

    // Records the columns of the conditions "a.x = b.y" that an ON clause joins by, through
    // parentheses and And.
    void noteJoinColumns(const Expr& e, const Scope& scope) {
        if (e.kind == Expr::Paren) return noteJoinColumns(*e.args[0], scope);
        if (e.kind == Expr::Binary && tokens_[e.token].value == "AND") {
            noteJoinColumns(*e.args[0], scope);
            noteJoinColumns(*e.args[1], scope);
            return;
        }
        if (e.kind != Expr::Compare || tokens_[e.token].value != "=") return;
        for (const ExprPtr& side : e.args) {
            const Expr* column = side.get();
            while (column->kind == Expr::Paren) column = column->args[0].get();
            if (column->kind != Expr::Column || !column->qualifier) continue;
            const Binding* b = findBinding(nameOf(*column->qualifier), scope);
            if (b && !b->relation.empty()) joinColumns_.push_back({b->relation, nameOf(column->token)});
        }
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
            case Expr::Column: {
                Emitted out;
                out.text = (e.qualifier ? identifier(*e.qualifier) + t(e.marks[0]) : std::string()) +
                           identifier(e.token);
                out.type = columnType(e, scope);
                out.column = true;
                return out;
            }
            case Expr::Paren: {
                Emitted inner = expr(*e.args[0], scope);
                inner.text = t(e.marks[0]) + inner.text + t(e.marks[1]);
                inner.prec = PAtom;  // a column in parentheses keeps its collation
                return inner;
            }
            case Expr::Subquery: {
                std::vector<JetSchema::Column> columns;
                Emitted out;
                out.text = t(e.marks[0]) + query(*e.query, &scope, false, &columns) + t(e.marks[1]);
                out.type = columns.size() == 1 ? columns[0].type : JetType::Unknown;
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
                    out.text = token.lead + (token.value == "TRUE" ? "(-1)" : "0");
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
            inside = query(*e.query, &scope, false, &columns);
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
        JetType first = args[0].type;
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
                                                 (name == "MIN" || name == "MAX") ? first : JetType::Number;
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
                      std::vector<JetSchema::Column>* columnsOut = nullptr) {
        Scope scope;
        scope.outer = outer;
        std::string from = s.fromToken ? t(*s.fromToken) : std::string();
        for (std::size_t i = 0; i < s.from.size(); ++i) {
            if (i) from += t(s.fromCommas[i - 1]);
            from += fromNode(*s.from[i], scope);
        }

        bool saved = top && options_.savedQuery;
        bool needNames = saved || columnsOut || (s.topToken && !s.orderBy.empty());
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
            else if (saved && o.generatedName) written += " AS " + quotedIdentifier(o.name);
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
        if (columnsOut) {
            columnsOut->clear();
            if (expanded)
                for (const Output& o : outputs) columnsOut->push_back({o.name, o.type});
        }

        std::string head = t(s.selectToken);
        std::string quantifier;
        if (s.quantifier == Select::Distinct || s.quantifier == Select::All) {
            quantifier = t(*s.quantifierToken);
        } else if (s.quantifier == Select::DistinctRow) {
            // DISTINCTROW removes rows whose records are all the same; with one source, or with
            // fields shown from every source, no two rows can be, so it changes nothing.
            if (!distinctRowIsInert(s)) throw messages_.refuse("DISTINCTROW over several tables");
        }

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
            }
        }

        if (!s.topToken) return head + quantifier + items + rest + order;

        if (s.percentToken) throw messages_.refuse("TOP ... PERCENT");
        const std::string& count = tokens_[s.topValue].value;
        if (count.find_first_not_of("0123456789") != std::string::npos || count == "0" ||
            count.find_first_not_of('0') == std::string::npos)
            throw messages_.refuse("TOP " + count);
        if (s.orderBy.empty()) {
            // Without an order, Jet's TOP n is any n rows, as LIMIT n is.
            return head + quantifier + items + rest + " LIMIT " + count;
        }
        // Jet's TOP n keeps the rows tied with the n-th in the order: those ranked n or better.
        if (s.quantifier == Select::Distinct) throw messages_.refuse("TOP with DISTINCT and ORDER BY");
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
        return head + " " + outerList + " FROM (SELECT " + innerItems + ", RANK() OVER (ORDER BY " +
               windowOrder + ") AS \"jet_rank\", ROW_NUMBER() OVER (ORDER BY " + windowOrder +
               ") AS \"jet_row\" " + splitLead(rest).second + ") WHERE \"jet_rank\" <= " + count +
               " ORDER BY \"jet_row\"";
    }

    // An ORDER BY or GROUP BY term: texts that are not plain columns get Jet's collation.
    std::string sortKey(const Expr& e, const Scope& scope) {
        Emitted key = value(e, scope);
        if (!key.column && isTextual(key.type) && key.type != JetType::Null) key = collated(key);
        return key.text;
    }

    bool distinctRowIsInert(const Select& s) const {
        std::vector<std::string> sources;
        std::function<void(const FromNode&)> collect = [&](const FromNode& node) {
            if (node.kind == FromNode::Table || node.kind == FromNode::Subquery)
                sources.push_back(node.alias ? nameOf(*node.alias) : nameOf(node.token));
            if (node.left) collect(*node.left);
            if (node.right) collect(*node.right);
        };
        for (const auto& node : s.from) collect(*node);
        if (sources.size() <= 1) return true;
        for (const SelectItem& item : s.items)
            if (item.kind == SelectItem::Star) return true;
        for (const std::string& source : sources) {
            bool shown = false;
            for (const SelectItem& item : s.items) {
                if (item.kind == SelectItem::TableStar && sameNameIgnoringCase(nameOf(item.token), source)) shown = true;
                if (item.kind == SelectItem::Value && item.expr->kind == Expr::Column &&
                    item.expr->qualifier && sameNameIgnoringCase(nameOf(*item.expr->qualifier), source))
                    shown = true;
            }
            if (!shown) return false;
        }
        return true;
    }

    const std::vector<Token>& tokens_;
    const Messages& messages_;
    const JetTranslateOptions& options_;
    std::vector<std::string>& relations_;
    std::vector<JetTranslation::Column>& joinColumns_;
};

}  // namespace

std::optional<Date> parseJetDateLiteral(std::string_view inside) {
    std::string text = trimmed(inside);
    if (text.empty()) return std::nullopt;
    CivilTime c;
    std::string datePart = text, timePart;
    std::size_t space = text.find(' ');
    if (text.find(':') != std::string::npos && (space == std::string::npos || text.find(':') < space)) {
        // A time alone is a time on 30 December 1899.
        if (!parseTime(text, c)) return std::nullopt;
        return dateFromCivil(c);
    }
    if (space != std::string::npos) {
        datePart = text.substr(0, space);
        timePart = text.substr(space + 1);
    }
    int parts[3], digits[3];
    if (!splitDate(datePart, parts, digits)) return std::nullopt;
    if (digits[0] >= 3) {
        c.year = parts[0];
        c.month = parts[1];
        c.day = parts[2];
    } else {
        c.month = parts[0];
        c.day = parts[1];
        c.year = expandYear(parts[2], digits[2]);
    }
    if (!isValidCivilDate(c.year, c.month, c.day)) return std::nullopt;
    if (!timePart.empty() && !parseTime(timePart, c)) return std::nullopt;
    return dateFromCivil(c);
}

std::string sqlQuote(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '\'';
    for (char ch : text) {
        if (ch == '\'') out += '\'';
        out += ch;
    }
    out += '\'';
    return out;
}

std::string sqlName(std::string_view name) {
    bool plain = !name.empty() && (std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_');
    for (char ch : name) plain = plain && (std::isalnum(static_cast<unsigned char>(ch)) || ch == '_');
    if (plain && !isSqlKeyword(name)) return std::string(name);
    return quotedIdentifier(name);
}

JetType jetTypeOfDeclared(std::string_view declared) {
    std::string type = upperAscii(declared);
    auto has = [&](const char* word) { return type.find(word) != std::string::npos; };
    if (has("YESNO") || has("BOOL")) return JetType::Bool;
    if (has("DATE") || has("TIME")) return JetType::Date;
    if (has("CHAR") || has("TEXT") || has("CLOB") || has("MEMO") || has("GUID")) return JetType::Text;
    if (has("BLOB") || has("BINARY") || has("OLE")) return JetType::Binary;
    if (has("INT") || has("REAL") || has("FLOA") || has("DOUB") || has("NUM") || has("DEC") ||
        has("CURRENCY") || has("SINGLE") || has("BYTE"))
        return JetType::Number;
    return JetType::Unknown;
}

JetTranslation translateJet(std::string_view jet, const JetTranslateOptions& options) {
    Messages messages(options.context);
    std::vector<Token> tokens = tokenize(jet, messages);
    Parser parser(tokens, messages);
    std::unique_ptr<Select> select = parser.statement();
    JetTranslation translation;
    Writer writer(tokens, messages, options, translation.relations, translation.joinColumns);
    translation.sql = writer.statement(*select);
    return translation;
}

std::string translateJetSql(std::string_view jet, std::string_view context) {
    JetTranslateOptions options;
    options.context = context;
    return translateJet(jet, options).sql;
}

}  // namespace pontrel::data
