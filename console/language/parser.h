// The parser: one line of the console's language into its syntax tree
// (console/language/syntax.h). The script reader puts lines together into
// blocks and handlers; the interpreter runs them. Pure functions of their
// arguments, on whatever thread calls them.
#pragma once

#include <string>

#include "console/language/syntax.h"
#include "console/language/words.h"

namespace console {

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
    CaseStart,     // case value of: statement (Case, no branches)
    CaseLabel,     // inside a case: labels, then statement (Empty when none)
    Otherwise,     // inside a case: otherwise[:], then statement (Empty when none)
};

struct Line {
    LineKind kind = LineKind::Statement;
    Statement statement;
    Handler handler;              // HandlerStart: name, params, line
    std::string word;             // End: the word after end, if any
    std::vector<ExprPtr> labels;  // CaseLabel: the values
    int column = 1;               // of the line's first token
};

// Parses one line (its number goes into the statements). False with *error
// when it is not a line of the language. `inCase`: the line is directly
// inside a case, where `value:` and `otherwise` lines start branches.
bool ParseLine(int lineNumber, const std::string& text, Line* line, SyntaxError* error,
               bool inCase = false);

// What a line that failed to parse was meant to be, from its words, so that
// the blocks around it still pair up. *endWord: the word after `end`.
LineKind GuessLineKind(const std::string& text, std::string* endWord);

}  // namespace console
