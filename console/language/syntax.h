// The parsed form of the console's script language: expressions, statements
// (blocks hold their statements) and handlers.
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
    Not,           // items[0]
    Binary,        // op; items[0] and items[1]
    Property,      // items[0].text
    Index,         // items[0][items[1]]
    Call,          // text: the function, handler or method name; items: the arguments
    XtraRef,       // xtra "Name"; text: the name
    Milliseconds,  // the milliseconds
    Ticks,         // the ticks: sixtieths of a second
    Timer,         // the timer: ticks since startTimer
    Frame,         // the frame
};

enum class BinaryOp {
    Add,
    Subtract,
    Multiply,
    Divide,
    Mod,
    Join,       // &
    JoinSpace,  // &&
    Equal,
    NotEqual,
    Less,
    LessEqual,
    Greater,
    GreaterEqual,
    Contains,  // without case
    Starts,    // without case
    And,
    Or,
};

struct Expr {
    ExprKind kind;
    int column;
    std::string text;
    int32_t integer = 0;
    double real = 0;
    BinaryOp op = BinaryOp::Add;
    int depth = 1;  // levels of the tree below and including this node
    std::vector<std::string> keys;
    std::vector<ExprPtr> items;
};

enum class StatementKind {
    Empty,  // blank line or comment
    Put,
    PutInto,      // put value into target
    PutAfter,     // put value after target: target & value
    PutBefore,    // put value before target: value & target
    Assign,       // target = value
    AssignPlace,  // place = value, place a property or element
    Call,         // a call whose result is dropped
    Global,       // names
    Return,       // value may be null
    Exit,         // leaves the handler
    ExitRepeat,   // leaves the innermost repeat
    NextRepeat,   // goes on with its next round
    Halt,         // stops the movie
    If,           // value: the condition; body, orElse
    RepeatWhile,  // value: the condition; body
    RepeatWith,   // target = value to/down to limit; body
    RepeatIn,     // target in value (a list); body
    Case,         // value: the subject; branches, orElse (otherwise)
};

struct Statement;

// One branch of a case: its values (alternatives) and statements.
struct CaseBranch {
    std::vector<ExprPtr> values;
    std::vector<Statement> body;
};

struct Statement {
    StatementKind kind = StatementKind::Empty;
    int line = 0;
    int column = 1;
    std::string target;
    std::vector<std::string> names;
    ExprPtr value;
    ExprPtr limit;
    ExprPtr place;  // AssignPlace: a Property or Index expression
    bool down = false;
    std::vector<Statement> body;
    std::vector<Statement> orElse;  // an `else if` is one If here
    std::vector<CaseBranch> branches;
    std::string text;  // the line as --echo shows it; empty inside a one-line if
};

struct Handler {
    std::string name;
    std::vector<std::string> params;
    std::vector<Statement> body;
    int line = 0;
};

// Expressions nest (parentheses, lists, call arguments, operators) at most
// this deep, and blocks too; a deeper line is a syntax error rather than a
// deep recursion.
constexpr int kMaxNesting = 100;

}  // namespace console
