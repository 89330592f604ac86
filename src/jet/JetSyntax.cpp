#include "jet/JetSyntax.h"

#include <algorithm>
#include <string>

#include "common/TextBasics.h"

namespace pontrel::data::jet {

namespace {

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
    bool isSymbol(const char* symbol, std::size_t at) const {
        return tokens_[at].kind == Token::Symbol && tokens_[at].value == symbol;
    }
    bool isSymbol(const char* symbol) const { return isSymbol(symbol, pos_); }
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
    // After "Table." any word names a field, even one Jet reserves (Orders.No, t.Yes).
    bool isFieldName(std::size_t at) const {
        return tokens_[at].kind == Token::Name || tokens_[at].kind == Token::Word;
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
                if ((isWord("ANY") || isWord("SOME") || isWord("ALL")) && isSymbol("(", pos_ + 1) &&
                    isWord("SELECT", pos_ + 2)) {
                    auto e = std::make_unique<Expr>();
                    e->kind = Expr::Quantified;
                    e->token = op;
                    e->marks = {pos_, pos_ + 1};
                    pos_ += 2;
                    e->query = query();
                    e->marks.push_back(expectSymbol(")"));
                    e->height = left->height + 1;
                    e->args.push_back(std::move(left));
                    left = std::move(e);
                    continue;
                }
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
            (t.kind == Token::Word && isConstantWord(t.value))) {
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
            // Table!Field names a field as Table.Field does; Forms!Form!Control, three names,
            // is a form reference.
            bool bang = isSymbol("!") && isFieldName(pos_ + 1) && !isSymbol("!", pos_ + 2) &&
                        !isSymbol(".", pos_ + 2);
            if (isSymbol(".") || bang) {
                e->qualifier = e->token;
                e->marks.push_back(pos_++);
                if (!isFieldName(pos_)) throw unexpected("expected a field name after '.'");
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

}  // namespace

bool isConstantWord(const std::string& upper) {
    return upper == "NULL" || upper == "TRUE" || upper == "FALSE" || upper == "YES" || upper == "NO" ||
           upper == "ON" || upper == "OFF";
}

std::unique_ptr<Select> parseStatement(const std::vector<Token>& tokens, const Messages& messages) {
    Parser parser(tokens, messages);
    return parser.statement();
}

}  // namespace pontrel::data::jet
