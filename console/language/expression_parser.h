// The expression parser: values, operators (one precedence table), calls,
// properties, elements and lists, each node held to the nesting limit.
#pragma once

#include "console/language/syntax.h"
#include "console/language/token_cursor.h"

namespace console {

class ExpressionParser : protected TokenCursor {
public:
    using TokenCursor::TokenCursor;

    // Every nested expression (parentheses, list, call argument) goes
    // through here, so the recursion stays within the limit.
    ExprPtr ParseExpr();

protected:
    ExprPtr ParseCommandCall();
    static ExprPtr Make(ExprKind kind, int column);
    // Sets the node's depth from its children: evaluating it recurses that
    // deep, so it is held to the same limit as the parser's own recursion.
    ExprPtr Finish(ExprPtr expr);
    // value.name, value.name(arguments), value[index]
    ExprPtr ParsePostfix();

private:
    ExprPtr MakeBinary(BinaryOp op, int column, ExprPtr left, ExprPtr right);
    // An expression of operators of `minLevel` and tighter.
    ExprPtr ParseBinary(int minLevel);
    ExprPtr ParseNot();
    ExprPtr ParseUnary();
    ExprPtr ParsePrimary();
    ExprPtr ParseName(const Token& token);
    // After `the`: milliseconds, ticks, timer, frame.
    ExprPtr ParseTheProperty(int column);
    // After '(': the arguments and the ')'.
    bool ParseArguments(Expr* call);
    // After '[': [], [:], [a, b], [#k: v, ...].
    ExprPtr ParseList(int column);
};

}  // namespace console
