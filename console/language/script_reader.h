// Puts the lines of a script together: handlers, blocks that span lines, and
// the statements outside handlers, in the order they complete. Syntax errors
// come out in that order too, so a caller that runs each item as it comes
// reports everything in line order.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "console/language/parser.h"

namespace console {

struct ScriptItem {
    enum class Kind { Statement, Handler, Error };
    Kind kind = Kind::Statement;
    Statement statement;            // Statement: outside any handler
    Handler handler;                // Handler: complete
    int line = 0;                   // Error
    int column = 0;                 // Error
    std::string message;            // Error: without "syntax error: "
    std::vector<std::string> echo;  // what --echo writes: the item's lines
};

class ScriptReader {
public:
    ScriptReader();
    ~ScriptReader();
    ScriptReader(const ScriptReader&) = delete;
    ScriptReader& operator=(const ScriptReader&) = delete;

    // Reads one line; what it completes is appended to *items.
    void Feed(int lineNumber, const std::string& text, std::vector<ScriptItem>* items);
    // The end of the script: every block still open is an error.
    void Finish(std::vector<ScriptItem>* items);
    // True while a handler or block waits for its end (the prompt says so).
    bool InBlock() const { return !open_.empty(); }

    struct Open;

private:
    void Error(int line, int column, std::string message, std::vector<ScriptItem>* items);
    void Add(Statement statement, const std::string& text, std::vector<ScriptItem>* items);
    bool CheckContext(const Statement& statement, std::vector<ScriptItem>* items);
    void Push(std::unique_ptr<Open> open, const std::string& text);
    void Close(std::vector<ScriptItem>* items);
    void Unclosed(std::vector<ScriptItem>* items);
    void HandleEnd(const Line& line, bool bad, std::vector<ScriptItem>* items);
    void HandleElse(Line& line, bool bad, const std::string& text, std::vector<ScriptItem>* items);
    void HandleCase(Line& line, bool bad, const std::string& text, std::vector<ScriptItem>* items);
    void OpenBlock(Line& line, bool bad, const std::string& text, std::vector<ScriptItem>* items);
    void ReportSyntaxError(int lineNumber, const std::string& text, const SyntaxError& error,
                           std::vector<ScriptItem>* items);
    std::vector<Statement>* Target();

    std::vector<std::unique_ptr<Open>> open_;
    // A one-line if just added inside a block: an `else` on the next line
    // belongs to it.
    Statement* lastOneLineIf_ = nullptr;
    std::vector<std::string> echo_;  // lines of the top-level block being read
};

}  // namespace console
