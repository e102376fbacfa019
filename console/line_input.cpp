#include "console/line_input.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#ifdef TESMAR_LIBEDIT
#include <editline/readline.h>
#endif

namespace console {
namespace {

const char* Prompt(bool continued) {
    return continued ? "... " : "> ";
}

}  // namespace

LineInput::LineInput(bool terminal) : terminal_(terminal) {
#ifdef TESMAR_LIBEDIT
    if (terminal_) {
        // Standard output carries only what put prints.
        rl_outstream = stderr;
        using_history();
    }
#endif
}

bool LineInput::Read(bool continued, std::string* line) {
#ifdef TESMAR_LIBEDIT
    if (terminal_) {
        char* text = readline(Prompt(continued));
        if (text == nullptr) {
            return false;
        }
        *line = text;
        std::free(text);
        if (line->find_first_not_of(" \t") != std::string::npos) {
            add_history(line->c_str());
        }
        return true;
    }
#endif
    if (terminal_) {
        std::cerr << Prompt(continued) << std::flush;
    }
    return static_cast<bool>(std::getline(std::cin, *line));
}

}  // namespace console
