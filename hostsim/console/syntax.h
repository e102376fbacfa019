// The parsed form of one statement of the console's script language.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace console {

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

enum class ExprKind {
    Integer,       // integer
    Float,         // real
    String,        // text
    Symbol,        // text: the name
    Void,          // VOID
    Variable,      // text: the name
    List,          // items
    PropList,      // keys (symbol names) and items, pairwise; [:] has none
    Negate,        // items[0]
    Call,          // text: the function or method name; items: the arguments
    XtraRef,       // xtra "Name"; text: the name
    Milliseconds,  // the milliseconds
};

struct Expr {
    ExprKind kind;
    int column;
    std::string text;
    int32_t integer = 0;
    double real = 0;
    std::vector<std::string> keys;
    std::vector<ExprPtr> items;
};

enum class StatementKind {
    Empty,  // blank line or comment
    Put,
    Assign,  // target = value
    Call,    // a bare call; its result is dropped
};

struct Statement {
    StatementKind kind = StatementKind::Empty;
    std::string target;
    ExprPtr value;
};

// Expressions nest (parentheses, lists, call arguments, minus signs) at most
// this deep; a deeper line is a syntax error rather than a deep recursion.
constexpr int kMaxNesting = 100;

struct SyntaxError {
    int column = 0;
    std::string message;
};

// Parses one line. False with *error when it is not a statement.
bool ParseLine(const std::string& line, Statement* statement, SyntaxError* error);

}  // namespace console
