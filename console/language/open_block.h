// The script reader's record of a handler or block whose end has not been
// read yet, shared by its two files (script_reader.cpp: lines and blocks
// that open; block_lines.cpp: else, case branches and ends).
#pragma once

#include <string>

#include "console/language/script_reader.h"

namespace console {

struct ScriptReader::Open {
    enum class Kind { Handler, If, Repeat, Case };
    Kind kind = Kind::If;
    int line = 0;
    int column = 0;
    bool bad = false;  // a line of its own was wrong: dropped at its end
    Handler handler;
    Statement statement;
    // If: the innermost if of an else-if chain, whose branch lines go to.
    Statement* current = nullptr;
    // If: in the else block; Case: after otherwise.
    bool inElse = false;
    // The else block of a one-line if that already sits in its block.
    bool attached = false;
};

// 'end', 'end if', 'end repeat', 'end case'.
const char* EndOf(ScriptReader::Open::Kind kind);
// "handler 'x' of line 3", "'if' of line 5"...
std::string Describe(const ScriptReader::Open& open);

}  // namespace console
