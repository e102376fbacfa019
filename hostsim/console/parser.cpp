#include <cstdint>
#include <string>
#include <vector>

#include "hostsim/console/lexer.h"
#include "hostsim/console/syntax.h"

namespace console {
namespace {

// Recursive descent over the tokens of one line. Every method returns null
// after recording the first error.
class Parser {
public:
    explicit Parser(const std::vector<Token>& tokens) : tokens_(tokens) {}

    bool ParseStatement(Statement* statement) {
        const Token& first = Peek();
        if (first.kind == TokenKind::End) {
            statement->kind = StatementKind::Empty;
            return true;
        }
        if (first.kind == TokenKind::Identifier && SameName(first.text, "put")) {
            Next();
            statement->kind = StatementKind::Put;
            statement->value = ParseExpr();
        } else if (first.kind == TokenKind::Identifier && PeekAt(1).kind == TokenKind::Equals) {
            if (IsReserved(first.text)) {
                return Fail(first.column, "'" + first.text + "' cannot be assigned to");
            }
            statement->kind = StatementKind::Assign;
            statement->target = first.text;
            Next();
            Next();
            statement->value = ParseExpr();
        } else {
            statement->kind = StatementKind::Call;
            statement->value = ParseExpr();
            if (statement->value && statement->value->kind != ExprKind::Call) {
                return Fail(first.column, "expected put, an assignment or a call");
            }
        }
        if (!statement->value) {
            return false;
        }
        if (Peek().kind != TokenKind::End) {
            return Fail(Peek().column, "unexpected " + Describe(Peek()) + " after the statement");
        }
        return true;
    }

    const SyntaxError& error() const { return error_; }

private:
    const Token& Peek() const { return PeekAt(0); }
    const Token& PeekAt(size_t ahead) const {
        const size_t i = pos_ + ahead;
        return i < tokens_.size() ? tokens_[i] : tokens_.back();
    }
    const Token& Next() {
        const Token& token = Peek();
        if (pos_ + 1 < tokens_.size()) {
            ++pos_;
        }
        return token;
    }

    bool Fail(int column, std::string message) {
        if (error_.message.empty()) {
            error_ = {column, std::move(message)};
        }
        return false;
    }

    static std::string Describe(const Token& token) {
        switch (token.kind) {
            case TokenKind::End:
                return "end of line";
            case TokenKind::String:
                return "string \"" + token.text + "\"";
            case TokenKind::Symbol:
                return "#" + token.text;
            default:
                return "'" + token.text + "'";
        }
    }

    static bool IsReserved(const std::string& name) {
        for (const char* word : {"put", "the", "xtra", "void"}) {
            if (SameName(name, word)) {
                return true;
            }
        }
        return false;
    }

    bool Expect(TokenKind kind, const char* what) {
        if (Peek().kind != kind) {
            return Fail(Peek().column,
                        std::string("expected ") + what + ", found " + Describe(Peek()));
        }
        Next();
        return true;
    }

    static ExprPtr Make(ExprKind kind, int column) {
        auto expr = std::make_unique<Expr>();
        expr->kind = kind;
        expr->column = column;
        return expr;
    }

    // Every nested expression (parentheses, list, call argument, operand of
    // a minus) goes through here, so the recursion stays within the limit.
    ExprPtr ParseExpr() {
        const Token& token = Peek();
        if (depth_ >= kMaxNesting) {
            Fail(token.column, "nesting deeper than " + std::to_string(kMaxNesting) + " levels");
            return nullptr;
        }
        ++depth_;
        ExprPtr expr = ParseUnary();
        --depth_;
        return expr;
    }

    ExprPtr ParseUnary() {
        const Token& token = Peek();
        if (token.kind != TokenKind::Minus) {
            return ParsePrimary();
        }
        Next();
        // Folded here so that -2147483648 is a valid literal.
        if (Peek().kind == TokenKind::Integer) {
            const Token& literal = Next();
            if (literal.integer > int64_t{1} << 31) {
                Fail(literal.column, "integer " + literal.text + " is out of range");
                return nullptr;
            }
            auto expr = Make(ExprKind::Integer, token.column);
            expr->integer = static_cast<int32_t>(-literal.integer);
            return expr;
        }
        auto operand = ParseExpr();
        if (!operand) {
            return nullptr;
        }
        auto expr = Make(ExprKind::Negate, token.column);
        expr->items.push_back(std::move(operand));
        return expr;
    }

    ExprPtr ParsePrimary() {
        const Token& token = Next();
        switch (token.kind) {
            case TokenKind::Integer: {
                if (token.integer > INT32_MAX) {
                    Fail(token.column, "integer " + token.text + " is out of range");
                    return nullptr;
                }
                auto expr = Make(ExprKind::Integer, token.column);
                expr->integer = static_cast<int32_t>(token.integer);
                return expr;
            }
            case TokenKind::Float: {
                auto expr = Make(ExprKind::Float, token.column);
                expr->real = token.real;
                return expr;
            }
            case TokenKind::String: {
                auto expr = Make(ExprKind::String, token.column);
                expr->text = token.text;
                return expr;
            }
            case TokenKind::Symbol: {
                auto expr = Make(ExprKind::Symbol, token.column);
                expr->text = token.text;
                return expr;
            }
            case TokenKind::LeftBracket:
                return ParseList(token.column);
            case TokenKind::LeftParen: {
                auto inner = ParseExpr();
                if (!inner || !Expect(TokenKind::RightParen, "')'")) {
                    return nullptr;
                }
                return inner;
            }
            case TokenKind::Identifier:
                return ParseName(token);
            default:
                Fail(token.column, "expected a value, found " + Describe(token));
                return nullptr;
        }
    }

    ExprPtr ParseName(const Token& token) {
        if (SameName(token.text, "VOID")) {
            return Make(ExprKind::Void, token.column);
        }
        if (SameName(token.text, "the")) {
            const Token& property = Next();
            if (property.kind != TokenKind::Identifier ||
                !SameName(property.text, "milliseconds")) {
                Fail(property.column, "unknown property: only 'the milliseconds' is known");
                return nullptr;
            }
            return Make(ExprKind::Milliseconds, token.column);
        }
        if (SameName(token.text, "xtra")) {
            const Token& name = Next();
            if (name.kind != TokenKind::String) {
                Fail(name.column, "expected the xtra's name as a string after 'xtra'");
                return nullptr;
            }
            auto expr = Make(ExprKind::XtraRef, token.column);
            expr->text = name.text;
            return expr;
        }
        if (SameName(token.text, "put")) {
            Fail(token.column, "'put' starts a statement; it is not a value");
            return nullptr;
        }
        if (Peek().kind != TokenKind::LeftParen) {
            auto expr = Make(ExprKind::Variable, token.column);
            expr->text = token.text;
            return expr;
        }
        Next();
        auto call = Make(ExprKind::Call, token.column);
        call->text = token.text;
        if (Peek().kind == TokenKind::RightParen) {
            Next();
            return call;
        }
        while (true) {
            auto arg = ParseExpr();
            if (!arg) {
                return nullptr;
            }
            call->items.push_back(std::move(arg));
            if (Peek().kind == TokenKind::Comma) {
                Next();
                continue;
            }
            if (!Expect(TokenKind::RightParen, "',' or ')'")) {
                return nullptr;
            }
            return call;
        }
    }

    // After '[': [], [:], [a, b], [#k: v, ...].
    ExprPtr ParseList(int column) {
        if (Peek().kind == TokenKind::RightBracket) {
            Next();
            return Make(ExprKind::List, column);
        }
        if (Peek().kind == TokenKind::Colon) {
            Next();
            if (!Expect(TokenKind::RightBracket, "']' after '[:'")) {
                return nullptr;
            }
            return Make(ExprKind::PropList, column);
        }
        const bool isProp = Peek().kind == TokenKind::Symbol && PeekAt(1).kind == TokenKind::Colon;
        auto list = Make(isProp ? ExprKind::PropList : ExprKind::List, column);
        while (true) {
            if (isProp) {
                if (Peek().kind != TokenKind::Symbol || PeekAt(1).kind != TokenKind::Colon) {
                    Fail(Peek().column,
                         "expected #property: in a property list, found " + Describe(Peek()));
                    return nullptr;
                }
                list->keys.push_back(Next().text);
                Next();
            }
            auto item = ParseExpr();
            if (!item) {
                return nullptr;
            }
            if (!isProp && Peek().kind == TokenKind::Colon) {
                Fail(Peek().column, "a property list has #property: before every value");
                return nullptr;
            }
            list->items.push_back(std::move(item));
            if (Peek().kind == TokenKind::Comma) {
                Next();
                continue;
            }
            if (!Expect(TokenKind::RightBracket, "',' or ']'")) {
                return nullptr;
            }
            return list;
        }
    }

    const std::vector<Token>& tokens_;
    size_t pos_ = 0;
    int depth_ = 0;
    SyntaxError error_;
};

}  // namespace

bool ParseLine(const std::string& line, Statement* statement, SyntaxError* error) {
    std::vector<Token> tokens;
    LexError lexError;
    if (!Lex(line, &tokens, &lexError)) {
        *error = {lexError.column, lexError.message};
        return false;
    }
    Parser parser(tokens);
    *statement = Statement{};
    if (!parser.ParseStatement(statement)) {
        *error = parser.error();
        return false;
    }
    return true;
}

}  // namespace console
