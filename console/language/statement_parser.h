// The statements that fit on one line: put (and put into, after, before),
// assignments to a variable, a property or an element, calls, global,
// return, exit, next repeat, halt and one-line ifs. The line parser
// (parser.cpp) adds the lines that open and close blocks.
#pragma once

#include "console/language/expression_parser.h"

namespace console {

class StatementParser : public ExpressionParser {
public:
    using ExpressionParser::ExpressionParser;

protected:
    bool ParseSimple(Statement* statement);
    bool ParseIfHead(Statement* statement);
    // After `then` on the same line: statement [else statement].
    bool ParseIfTail(Statement* statement);

private:
    bool ParsePut(Statement* statement);
    bool ParseGlobal(Statement* statement);
    bool ParseFlow(Statement* statement);
    // name = v, place = v, set place to v; false without an error when the
    // line is no assignment (the cursor is back where it was).
    bool TryAssignment(Statement* statement, bool* isAssignment);
    // `add gList, 5`: a name, then its arguments without parentheses.
    bool IsCommandCall() const;
};

}  // namespace console
