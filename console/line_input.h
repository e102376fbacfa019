// Lines typed at the console's prompt, or read from standard input.
#pragma once

#include <string>

namespace console {

class LineInput {
public:
    // `terminal`: standard input is a terminal, so there is a prompt (on
    // standard error) and, where libedit is built in, line editing and history.
    explicit LineInput(bool terminal);
    ~LineInput() = default;
    LineInput(const LineInput&) = delete;
    LineInput& operator=(const LineInput&) = delete;

    // The next line; false at the end of the input. `continued`: a handler
    // or block is still open, and the prompt says so.
    bool Read(bool continued, std::string* line);

private:
    bool terminal_;
};

}  // namespace console
