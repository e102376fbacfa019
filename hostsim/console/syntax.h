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
    Assign,       // target = value
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
};

struct Statement {
    StatementKind kind = StatementKind::Empty;
    int line = 0;
    int column = 1;
    std::string target;
    std::vector<std::string> names;
    ExprPtr value;
    ExprPtr limit;
    bool down = false;
    std::vector<Statement> body;
    std::vector<Statement> orElse;  // an `else if` is one If here
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

struct SyntaxError {
    int column = 0;
    std::string message;
};

// What one line is. Blocks span lines: the script reader puts their lines
// together.
enum class LineKind {
    Statement,     // statement: complete (one-line ifs included)
    HandlerStart,  // on name params
    End,           // end, end if, end repeat, end name: word
    IfStart,       // if cond then: statement (If, empty body)
    ElseIfStart,   // else if cond then: statement (If, empty body)
    ElseIf,        // else if cond then statement: statement (a complete If)
    Else,          // else, alone
    ElseLine,      // else statement: statement
    RepeatStart,   // repeat while / with: statement (empty body)
};

struct Line {
    LineKind kind = LineKind::Statement;
    Statement statement;
    Handler handler;   // HandlerStart: name, params, line
    std::string word;  // End: the word after end, if any
    int column = 1;    // of the line's first token
};

// Parses one line (its number goes into the statements). False with *error
// when it is not a line of the language.
bool ParseLine(int lineNumber, const std::string& text, Line* line, SyntaxError* error);

// What a line that failed to parse was meant to be, from its words, so that
// the blocks around it still pair up. *endWord: the word after `end`.
LineKind GuessLineKind(const std::string& text, std::string* endWord);

// Names that cannot be variables, parameters or handlers.
bool IsReservedWord(const std::string& name);

}  // namespace console
