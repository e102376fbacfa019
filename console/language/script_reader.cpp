#include "console/language/script_reader.h"

#include <utility>

#include "console/language/lexer.h"
#include "console/language/open_block.h"

namespace console {

namespace {

// A line inside a top-level block, for --echo: indented as written.
std::string IndentedText(const std::string& text) {
    std::string statement = StatementText(text);
    if (statement.empty()) {
        return statement;
    }
    return text.substr(0, text.find_first_not_of(" \t")) + statement;
}

}  // namespace

ScriptReader::ScriptReader() = default;
ScriptReader::~ScriptReader() = default;

void ScriptReader::Error(int line, int column, std::string message,
                         std::vector<ScriptItem>* items) {
    ScriptItem item;
    item.kind = ScriptItem::Kind::Error;
    item.line = line;
    item.column = column;
    item.message = std::move(message);
    items->push_back(std::move(item));
    // A handler or block with an error in it does not compile: dropped whole.
    if (!open_.empty()) {
        open_.front()->bad = true;
    }
}

std::vector<Statement>* ScriptReader::Target() {
    Open& top = *open_.back();
    switch (top.kind) {
        case Open::Kind::Handler:
            return &top.handler.body;
        case Open::Kind::Repeat:
            return &top.statement.body;
        case Open::Kind::If:
            return top.inElse ? &top.current->orElse : &top.current->body;
        case Open::Kind::Case:
            if (top.inElse) {
                return &top.statement.orElse;
            }
            return top.statement.branches.empty() ? nullptr : &top.statement.branches.back().body;
    }
    return nullptr;
}

// exit repeat and next repeat belong in a repeat, return and exit in a
// handler; one-line ifs carry statements of their own.
bool ScriptReader::CheckContext(const Statement& statement, std::vector<ScriptItem>* items) {
    bool inRepeat = false;
    for (const auto& open : open_) {
        inRepeat = inRepeat || open->kind == Open::Kind::Repeat;
    }
    const bool inHandler = !open_.empty() && open_.front()->kind == Open::Kind::Handler;
    switch (statement.kind) {
        case StatementKind::ExitRepeat:
        case StatementKind::NextRepeat:
            if (!inRepeat) {
                Error(statement.line, statement.column,
                      std::string("'") +
                          (statement.kind == StatementKind::ExitRepeat ? "exit" : "next") +
                          " repeat' is only allowed inside a repeat",
                      items);
                return false;
            }
            return true;
        case StatementKind::Return:
        case StatementKind::Exit:
            if (!inHandler) {
                Error(statement.line, statement.column,
                      std::string("'") +
                          (statement.kind == StatementKind::Return ? "return" : "exit") +
                          "' is only allowed inside a handler",
                      items);
                return false;
            }
            return true;
        case StatementKind::If:
            for (const Statement& inner : statement.body) {
                if (!CheckContext(inner, items)) {
                    return false;
                }
            }
            for (const Statement& inner : statement.orElse) {
                if (!CheckContext(inner, items)) {
                    return false;
                }
            }
            return true;
        default:
            return true;
    }
}

void ScriptReader::Add(Statement statement, const std::string& text,
                       std::vector<ScriptItem>* items) {
    if (!CheckContext(statement, items)) {
        return;
    }
    statement.text = StatementText(text);
    if (open_.empty()) {
        ScriptItem item;
        item.statement = std::move(statement);
        item.echo.push_back(StatementText(text));
        items->push_back(std::move(item));
        return;
    }
    std::vector<Statement>* target = Target();
    if (target == nullptr) {
        Error(statement.line, statement.column,
              "a statement in a case follows one of its values and ':', or 'otherwise'", items);
        return;
    }
    const bool oneLineIf = statement.kind == StatementKind::If && statement.orElse.empty();
    target->push_back(std::move(statement));
    if (oneLineIf) {
        lastOneLineIf_ = &target->back();
    }
}

void ScriptReader::Push(std::unique_ptr<Open> open, const std::string& text) {
    if (open_.empty() && open->kind != Open::Kind::Handler) {
        echo_.assign(1, StatementText(text));
    }
    if (open->kind == Open::Kind::If && open->current == nullptr) {
        open->current = &open->statement;
    }
    open_.push_back(std::move(open));
}

void ScriptReader::Close(std::vector<ScriptItem>* items) {
    std::unique_ptr<Open> open = std::move(open_.back());
    open_.pop_back();
    if (open->kind == Open::Kind::Handler) {
        if (!open->bad) {
            ScriptItem item;
            item.kind = ScriptItem::Kind::Handler;
            item.handler = std::move(open->handler);
            items->push_back(std::move(item));
        }
        return;
    }
    if (open->attached) {
        // The if sits last in the block below, which took no line since.
        std::vector<Statement>* below = Target();
        if (open->bad && below != nullptr) {
            below->pop_back();
        }
        return;
    }
    if (open->bad) {
        if (open_.empty()) {
            echo_.clear();
        }
        return;
    }
    if (open_.empty()) {
        ScriptItem item;
        item.statement = std::move(open->statement);
        item.echo = std::move(echo_);
        echo_.clear();
        items->push_back(std::move(item));
        return;
    }
    // A block opened inside a case before its first value has nowhere to go.
    std::vector<Statement>* target = Target();
    if (target == nullptr) {
        Error(open->statement.line, open->statement.column,
              "a statement in a case follows one of its values and ':', or 'otherwise'", items);
        return;
    }
    target->push_back(std::move(open->statement));
}

void ScriptReader::Feed(int lineNumber, const std::string& text, std::vector<ScriptItem>* items) {
    Line line;
    SyntaxError error;
    const bool inCase = !open_.empty() && open_.back()->kind == Open::Kind::Case;
    const bool ok = ParseLine(lineNumber, text, &line, &error, inCase);
    if (ok && line.kind == LineKind::Statement && line.statement.kind == StatementKind::Empty) {
        return;
    }
    if (!open_.empty() && open_.front()->kind != Open::Kind::Handler) {
        echo_.push_back(IndentedText(text));
    }
    if (!ok) {
        ReportSyntaxError(lineNumber, text, error, items);
        line = Line{};
        line.statement.line = lineNumber;
        line.kind = GuessLineKind(text, &line.word);
        line.column = error.column;
    }
    const bool bad = !ok;
    switch (line.kind) {
        case LineKind::Statement:
            lastOneLineIf_ = nullptr;
            if (ok) {
                Add(std::move(line.statement), text, items);
            }
            return;
        case LineKind::End:
            lastOneLineIf_ = nullptr;
            HandleEnd(line, bad, items);
            return;
        case LineKind::Else:
        case LineKind::ElseLine:
        case LineKind::ElseIf:
        case LineKind::ElseIfStart:
            HandleElse(line, bad, text, items);
            return;
        case LineKind::CaseLabel:
        case LineKind::Otherwise:
            HandleCase(line, bad, text, items);
            return;
        default:
            lastOneLineIf_ = nullptr;
            OpenBlock(line, bad, text, items);
            return;
    }
}

void ScriptReader::ReportSyntaxError(int lineNumber, const std::string& text,
                                     const SyntaxError& error, std::vector<ScriptItem>* items) {
    ScriptItem item;
    item.kind = ScriptItem::Kind::Error;
    item.line = lineNumber;
    item.column = error.column;
    item.message = error.message;
    if (open_.empty()) {
        item.echo.push_back(StatementText(text));
    } else {
        open_.front()->bad = true;
    }
    items->push_back(std::move(item));
}

// on, if ... then, repeat, case ... of: a block to be closed by its end.
void ScriptReader::OpenBlock(Line& line, bool bad, const std::string& text,
                             std::vector<ScriptItem>* items) {
    const int lineNumber = line.statement.line;
    auto open = std::make_unique<Open>();
    open->line = lineNumber;
    open->column = line.column;
    open->bad = bad;
    if (line.kind == LineKind::HandlerStart) {
        if (!open_.empty()) {
            const Open& outer = *open_.front();
            Error(lineNumber, line.column,
                  outer.kind == Open::Kind::Handler
                      ? Describe(outer) + " has no 'end' before this 'on'"
                      : "a handler cannot be defined inside " + Describe(outer),
                  items);
            while (!open_.empty()) {
                open_.back()->bad = true;
                Close(items);
            }
        }
        open->kind = Open::Kind::Handler;
        open->handler = std::move(line.handler);
    } else {
        open->kind = line.kind == LineKind::RepeatStart ? Open::Kind::Repeat
                     : line.kind == LineKind::CaseStart ? Open::Kind::Case
                                                        : Open::Kind::If;
        open->statement = std::move(line.statement);
        open->statement.text = StatementText(text);
        if (!bad && !CheckContext(open->statement, items)) {
            open->bad = true;
        }
    }
    if (open_.size() >= static_cast<size_t>(kMaxNesting) && !open->bad) {
        Error(lineNumber, line.column,
              "blocks nested deeper than " + std::to_string(kMaxNesting) + " levels", items);
        open->bad = true;
    }
    Push(std::move(open), text);
}

void ScriptReader::Finish(std::vector<ScriptItem>* items) {
    while (!open_.empty()) {
        const Open& open = *open_.back();
        Error(open.line, open.column, Describe(open) + " has no " + EndOf(open.kind), items);
        open_.back()->bad = true;
        Close(items);
    }
    echo_.clear();
    lastOneLineIf_ = nullptr;
}

}  // namespace console
