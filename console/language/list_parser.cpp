// The parts of expressions that are lists: call arguments and list literals.
#include <string>

#include "console/language/expression_parser.h"

namespace console {

// After '(': the arguments and the ')'.
bool ExpressionParser::ParseArguments(Expr* call) {
    if (Peek().kind == TokenKind::RightParen) {
        Next();
        return true;
    }
    while (true) {
        auto arg = ParseExpr();
        if (!arg) {
            return false;
        }
        call->items.push_back(std::move(arg));
        if (Peek().kind == TokenKind::Comma) {
            Next();
            continue;
        }
        return Expect(TokenKind::RightParen, "',' or ')'");
    }
}

// After '[': [], [:], [a, b], [#k: v, ...].
ExprPtr ExpressionParser::ParseList(int column) {
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
        return Finish(std::move(list));
    }
}

}  // namespace console
