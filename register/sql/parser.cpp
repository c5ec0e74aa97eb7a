// Recursive descent over the tokens, one function for each rule of the grammar
// in statement.h.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "sql/lexer.h"
#include "sql/like.h"
#include "sql/statement.h"

namespace sql {

namespace {

bool same_ascii_word(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

// Words that are keywords wherever they stand; as names they need brackets.
constexpr std::string_view kReserved[] = {"SELECT", "FROM", "WHERE", "AND", "OR", "NOT", "LIKE", "IS", "NULL", "TRUE", "FALSE"};

bool reserved(std::string_view word) {
    return std::any_of(std::begin(kReserved), std::end(kReserved), [&](std::string_view k) { return same_ascii_word(word, k); });
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text), tokens_(tokenize(text)) {}

    Statement statement() {
        Statement s;
        s.text = std::string(text_);
        expect_keyword("SELECT");
        if (peek().kind == TokenKind::Star) {
            s.all_columns = true;
            s.all_columns_position = next().position;
        } else if (is_name(peek()) && peek(1).kind == TokenKind::Dot && peek(2).kind == TokenKind::Star) {
            s.all_columns = true;
            s.all_columns_position = peek().position;
            s.all_columns_table = next().text;
            next();
            next();
        } else {
            do {
                s.columns.push_back(column_ref());
            } while (accept(TokenKind::Comma));
        }
        expect_keyword("FROM");
        if (!is_name(peek())) fail();
        s.table_position = peek().position;
        s.table = next().text;
        if (accept_keyword("WHERE")) {
            s.has_where = true;
            s.where = or_condition(0);
        }
        accept(TokenKind::Semicolon);
        if (peek().kind != TokenKind::End) fail();
        return s;
    }

private:
    const Token& peek(std::size_t ahead = 0) const { return tokens_[std::min(at_ + ahead, tokens_.size() - 1)]; }
    const Token& next() {
        const Token& t = tokens_[at_];
        if (t.kind != TokenKind::End) ++at_;
        return t;
    }
    bool accept(TokenKind k) {
        if (peek().kind != k) return false;
        next();
        return true;
    }
    bool is_keyword(const Token& t, std::string_view word) const { return t.kind == TokenKind::Name && same_ascii_word(t.text, word); }
    bool accept_keyword(std::string_view word) {
        if (!is_keyword(peek(), word)) return false;
        next();
        return true;
    }
    void expect_keyword(std::string_view word) {
        if (!accept_keyword(word)) fail();
    }
    static bool is_name(const Token& t) {
        return t.kind == TokenKind::Bracketed || (t.kind == TokenKind::Name && !reserved(t.text));
    }

    // Fails at the next token; at the end of the text, at the last token there is.
    [[noreturn]] void fail() const {
        std::size_t i = std::min(at_, tokens_.size() - 1);
        if (tokens_[i].kind == TokenKind::End && i > 0) --i;
        syntax_error(text_, tokens_[i].position);
    }

    ColumnRef column_ref() {
        if (!is_name(peek())) fail();
        ColumnRef r;
        r.position = peek().position;
        r.name = next().text;
        if (accept(TokenKind::Dot)) {
            if (!is_name(peek())) fail();
            r.table = std::move(r.name);
            r.name = next().text;
        }
        return r;
    }

    Condition or_condition(int depth) { return chain(depth, "OR", Condition::Kind::Or, &Parser::and_condition); }
    Condition and_condition(int depth) { return chain(depth, "AND", Condition::Kind::And, &Parser::not_condition); }

    // Terms joined by one word (OR, AND) into one condition of that kind; a
    // single term stands for itself.
    Condition chain(int depth, std::string_view word, Condition::Kind kind, Condition (Parser::*term)(int)) {
        Condition first = (this->*term)(depth);
        if (!is_keyword(peek(), word)) return first;
        Condition c;
        c.kind = kind;
        c.position = first.position;
        c.terms.push_back(std::move(first));
        while (accept_keyword(word)) c.terms.push_back((this->*term)(depth));
        return c;
    }

    Condition not_condition(int depth) {
        if (!is_keyword(peek(), "NOT")) return predicate(depth);
        if (depth >= kMaxNesting) fail();
        Condition c;
        c.kind = Condition::Kind::Not;
        c.position = next().position;
        c.terms.push_back(not_condition(depth + 1));
        return c;
    }

    Condition predicate(int depth) {
        if (peek().kind == TokenKind::LeftParen) {
            if (depth >= kMaxNesting) fail();
            next();
            Condition c = or_condition(depth + 1);
            if (!accept(TokenKind::RightParen)) fail();
            return c;
        }
        Condition c;
        c.position = peek().position;
        c.left = operand();
        CompareOp op{};
        if (comparison(peek().kind, op)) {
            next();
            c.kind = Condition::Kind::Compare;
            c.op = op;
            c.right = operand();
            return c;
        }
        if (is_keyword(peek(), "NOT") && is_keyword(peek(1), "LIKE")) {
            next();
            c.negated = true;
        }
        if (accept_keyword("LIKE")) {
            c.kind = Condition::Kind::Like;
            if (peek().kind != TokenKind::String) fail();
            if (!LikePattern::compile(peek().text)) fail();
            c.pattern = next().text;
            return c;
        }
        if (c.negated) fail();
        if (accept_keyword("IS")) {
            c.kind = Condition::Kind::IsNull;
            c.negated = accept_keyword("NOT");
            expect_keyword("NULL");
            return c;
        }
        c.kind = Condition::Kind::Truth;
        return c;
    }

    static bool comparison(TokenKind k, CompareOp& op) {
        switch (k) {
            case TokenKind::Equal: op = CompareOp::Equal; return true;
            case TokenKind::NotEqual: op = CompareOp::NotEqual; return true;
            case TokenKind::Less: op = CompareOp::Less; return true;
            case TokenKind::LessEqual: op = CompareOp::LessEqual; return true;
            case TokenKind::Greater: op = CompareOp::Greater; return true;
            case TokenKind::GreaterEqual: op = CompareOp::GreaterEqual; return true;
            default: return false;
        }
    }

    Operand operand() {
        Operand o;
        o.position = peek().position;
        const Token& t = peek();
        if (t.kind == TokenKind::String) {
            o.kind = Operand::Kind::Text;
            o.text = next().text;
            return o;
        }
        if (t.kind == TokenKind::Minus || t.kind == TokenKind::Number) {
            bool negative = accept(TokenKind::Minus);
            if (peek().kind != TokenKind::Number) fail();
            number(next().text, negative, o);
            return o;
        }
        if (is_keyword(t, "TRUE") || is_keyword(t, "FALSE")) {
            o.kind = Operand::Kind::Boolean;
            o.integer = is_keyword(t, "TRUE") ? -1 : 0;
            next();
            return o;
        }
        if (is_keyword(t, "NULL")) {
            o.kind = Operand::Kind::Null;
            next();
            return o;
        }
        o.kind = Operand::Kind::Column;
        o.column = column_ref();
        return o;
    }

    void number(const std::string& digits, bool negative, Operand& o) {
        std::string text = negative ? "-" + digits : digits;
        const char* begin = text.data();
        const char* end = text.data() + text.size();
        if (digits.find('.') == std::string::npos) {
            std::int64_t v = 0;
            auto r = std::from_chars(begin, end, v);
            if (r.ec == std::errc() && r.ptr == end) {
                o.kind = Operand::Kind::Integer;
                o.integer = v;
                return;
            }
        }
        double d = 0;
        auto r = std::from_chars(begin, end, d);
        if (r.ec != std::errc() || r.ptr != end || !std::isfinite(d)) fail();
        o.kind = Operand::Kind::Decimal;
        o.decimal = d;
        o.text = std::move(text);
    }

    std::string_view text_;
    std::vector<Token> tokens_;
    std::size_t at_ = 0;
};

}  // namespace

Statement parse(std::string_view utf8) { return Parser(utf8).statement(); }

}  // namespace sql
