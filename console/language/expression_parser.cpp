#include "console/language/expression_parser.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "console/language/words.h"

namespace console {
namespace {

struct Constant {
    const char* name;
    ExprKind kind;
    int32_t integer;
    const char* text;
};

constexpr Constant kConstants[] = {
    {"VOID", ExprKind::Void, 0, ""},      {"TRUE", ExprKind::Integer, 1, ""},
    {"FALSE", ExprKind::Integer, 0, ""},  {"EMPTY", ExprKind::String, 0, ""},
    {"QUOTE", ExprKind::String, 0, "\""}, {"SPACE", ExprKind::String, 0, " "},
    {"TAB", ExprKind::String, 0, "\t"},   {"RETURN", ExprKind::String, 0, "\r"},
};

// Binary operators from the loosest to the tightest, in one table: a
// level's operators take operands of the levels above it, and associate
// to the left. `not` is a prefix between `and` and the comparisons.
struct BinaryOperator {
    TokenKind kind;
    const char* word;  // for an operator that is a word (an identifier)
    BinaryOp op;
    int level;
};

constexpr int kNotLevel = 3;

constexpr BinaryOperator kBinaryOperators[] = {
    {TokenKind::Identifier, "or", BinaryOp::Or, 1},
    {TokenKind::Identifier, "and", BinaryOp::And, 2},
    {TokenKind::Equals, nullptr, BinaryOp::Equal, 4},
    {TokenKind::NotEqual, nullptr, BinaryOp::NotEqual, 4},
    {TokenKind::Less, nullptr, BinaryOp::Less, 4},
    {TokenKind::LessEqual, nullptr, BinaryOp::LessEqual, 4},
    {TokenKind::Greater, nullptr, BinaryOp::Greater, 4},
    {TokenKind::GreaterEqual, nullptr, BinaryOp::GreaterEqual, 4},
    {TokenKind::Identifier, "contains", BinaryOp::Contains, 4},
    {TokenKind::Identifier, "starts", BinaryOp::Starts, 4},
    {TokenKind::Ampersand, nullptr, BinaryOp::Join, 5},
    {TokenKind::DoubleAmpersand, nullptr, BinaryOp::JoinSpace, 5},
    {TokenKind::Plus, nullptr, BinaryOp::Add, 6},
    {TokenKind::Minus, nullptr, BinaryOp::Subtract, 6},
    {TokenKind::Star, nullptr, BinaryOp::Multiply, 7},
    {TokenKind::Slash, nullptr, BinaryOp::Divide, 7},
    {TokenKind::Identifier, "mod", BinaryOp::Mod, 7},
};

const BinaryOperator* BinaryOperatorAt(const Token& token) {
    for (const BinaryOperator& candidate : kBinaryOperators) {
        if (candidate.kind == token.kind &&
            (candidate.word == nullptr ||
             (token.kind == TokenKind::Identifier && SameName(token.text, candidate.word)))) {
            return &candidate;
        }
    }
    return nullptr;
}

}  // namespace

ExprPtr ExpressionParser::ParseCommandCall() {
    const Token& name = Next();
    auto call = Make(ExprKind::Call, name.column);
    call->text = name.text;
    while (true) {
        auto arg = ParseExpr();
        if (!arg) {
            return nullptr;
        }
        call->items.push_back(std::move(arg));
        if (Peek().kind != TokenKind::Comma) {
            return Finish(std::move(call));
        }
        Next();
    }
}

ExprPtr ExpressionParser::Make(ExprKind kind, int column) {
    auto expr = std::make_unique<Expr>();
    expr->kind = kind;
    expr->column = column;
    return expr;
}

ExprPtr ExpressionParser::Finish(ExprPtr expr) {
    int below = 0;
    for (const ExprPtr& item : expr->items) {
        below = item->depth > below ? item->depth : below;
    }
    expr->depth = below + 1;
    if (expr->depth > kMaxNesting) {
        Fail(expr->column, "nesting deeper than " + std::to_string(kMaxNesting) + " levels");
        return nullptr;
    }
    return expr;
}

ExprPtr ExpressionParser::MakeBinary(BinaryOp op, int column, ExprPtr left, ExprPtr right) {
    auto expr = Make(ExprKind::Binary, column);
    expr->op = op;
    expr->items.push_back(std::move(left));
    expr->items.push_back(std::move(right));
    return Finish(std::move(expr));
}

ExprPtr ExpressionParser::ParseExpr() {
    if (!Enter()) {
        return nullptr;
    }
    ExprPtr expr = ParseBinary(1);
    Leave();
    return expr;
}

// An expression of operators of `minLevel` and tighter.
ExprPtr ExpressionParser::ParseBinary(int minLevel) {
    ExprPtr left = minLevel <= kNotLevel && IsWord(Peek(), "not") ? ParseNot() : ParseUnary();
    while (left) {
        const BinaryOperator* binary = BinaryOperatorAt(Peek());
        if (binary == nullptr || binary->level < minLevel) {
            break;
        }
        const int column = Next().column;
        ExprPtr right = ParseBinary(binary->level + 1);
        if (!right) {
            return nullptr;
        }
        left = MakeBinary(binary->op, column, std::move(left), std::move(right));
    }
    return left;
}

ExprPtr ExpressionParser::ParseNot() {
    const int column = Next().column;
    if (!Enter()) {
        return nullptr;
    }
    ExprPtr operand = IsWord(Peek(), "not") ? ParseNot() : ParseBinary(kNotLevel + 1);
    Leave();
    if (!operand) {
        return nullptr;
    }
    auto expr = Make(ExprKind::Not, column);
    expr->items.push_back(std::move(operand));
    return Finish(std::move(expr));
}

ExprPtr ExpressionParser::ParseUnary() {
    const Token& token = Peek();
    if (token.kind != TokenKind::Minus) {
        return ParsePostfix();
    }
    Next();
    // Folded here so that -2147483648 is a valid literal.
    if (Peek().kind == TokenKind::Integer && PeekAt(1).kind != TokenKind::Dot &&
        PeekAt(1).kind != TokenKind::LeftBracket) {
        const Token& literal = Next();
        if (literal.integer > int64_t{1} << 31) {
            Fail(literal.column, "integer " + literal.text + " is out of range");
            return nullptr;
        }
        auto expr = Make(ExprKind::Integer, token.column);
        expr->integer = static_cast<int32_t>(-literal.integer);
        return expr;
    }
    if (!Enter()) {
        return nullptr;
    }
    auto operand = ParseUnary();
    Leave();
    if (!operand) {
        return nullptr;
    }
    auto expr = Make(ExprKind::Negate, token.column);
    expr->items.push_back(std::move(operand));
    return Finish(std::move(expr));
}

ExprPtr ExpressionParser::ParsePostfix() {
    ExprPtr expr = ParsePrimary();
    while (expr) {
        if (Peek().kind == TokenKind::Dot) {
            const int column = Next().column;
            const Token& name = Next();
            if (name.kind != TokenKind::Identifier) {
                Fail(name.column, "expected a property name after '.', found " + Describe(name));
                return nullptr;
            }
            if (Peek().kind == TokenKind::LeftParen) {
                // value.f(a, b) is f(value, a, b)
                Next();
                auto call = Make(ExprKind::Call, name.column);
                call->text = name.text;
                call->items.push_back(std::move(expr));
                if (!ParseArguments(call.get())) {
                    return nullptr;
                }
                expr = Finish(std::move(call));
                continue;
            }
            auto property = Make(ExprKind::Property, column);
            property->text = name.text;
            property->items.push_back(std::move(expr));
            expr = Finish(std::move(property));
        } else if (Peek().kind == TokenKind::LeftBracket) {
            const int column = Next().column;
            auto index = ParseExpr();
            if (!index || !Expect(TokenKind::RightBracket, "']'")) {
                return nullptr;
            }
            auto access = Make(ExprKind::Index, column);
            access->items.push_back(std::move(expr));
            access->items.push_back(std::move(index));
            expr = Finish(std::move(access));
        } else {
            break;
        }
    }
    return expr;
}

ExprPtr ExpressionParser::ParsePrimary() {
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
            // Hundreds of digits read as infinity, which no script wrote.
            if (!std::isfinite(token.real)) {
                Fail(token.column, "number too large for a float");
                return nullptr;
            }
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

ExprPtr ExpressionParser::ParseName(const Token& token) {
    for (const Constant& constant : kConstants) {
        if (SameName(token.text, constant.name)) {
            auto expr = Make(constant.kind, token.column);
            expr->integer = constant.integer;
            expr->text = constant.text;
            return expr;
        }
    }
    if (SameName(token.text, "the")) {
        return ParseTheProperty(token.column);
    }
    if (IsOutsideSubset(token.text)) {
        Fail(token.column, NotInSubset(token.text));
        return nullptr;
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
    if (IsReservedWord(token.text)) {
        Fail(token.column, "expected a value, found '" + token.text + "'");
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
    if (!ParseArguments(call.get())) {
        return nullptr;
    }
    return Finish(std::move(call));
}

ExprPtr ExpressionParser::ParseTheProperty(int column) {
    const Token& property = Next();
    if (property.kind != TokenKind::Identifier) {
        Fail(property.column, "expected a property after 'the', found " + Describe(property));
        return nullptr;
    }
    ExprKind kind = ExprKind::Milliseconds;
    if (!TheProperty(property.text, &kind)) {
        Fail(column, NotInSubset("the " + property.text));
        return nullptr;
    }
    return Make(kind, column);
}

}  // namespace console
