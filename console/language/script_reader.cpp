#include "console/language/script_reader.h"

#include <utility>

#include "console/language/lexer.h"

namespace console {

// A handler or block whose end has not been read yet.
struct ScriptReader::Open {
    enum class Kind { Handler, If, Repeat };
    Kind kind = Kind::If;
    int line = 0;
    int column = 0;
    bool bad = false;  // a line of its own was wrong: dropped at its end
    Handler handler;
    Statement statement;
    // If: the innermost if of an else-if chain, whose branch lines go to.
    Statement* current = nullptr;
    bool inElse = false;
    // The else block of a one-line if that already sits in its block.
    bool attached = false;
};

namespace {

const char* EndOf(ScriptReader::Open::Kind kind) {
    switch (kind) {
        case ScriptReader::Open::Kind::Handler:
            return "'end'";
        case ScriptReader::Open::Kind::If:
            return "'end if'";
        case ScriptReader::Open::Kind::Repeat:
            return "'end repeat'";
    }
    return "'end'";
}

std::string Describe(const ScriptReader::Open& open) {
    switch (open.kind) {
        case ScriptReader::Open::Kind::Handler:
            return "handler '" + open.handler.name + "' of line " + std::to_string(open.line);
        case ScriptReader::Open::Kind::If:
            return "'if' of line " + std::to_string(open.line);
        case ScriptReader::Open::Kind::Repeat:
            return "'repeat' of line " + std::to_string(open.line);
    }
    return {};
}

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
    if (open_.empty()) {
        ScriptItem item;
        item.statement = std::move(statement);
        item.echo.push_back(StatementText(text));
        items->push_back(std::move(item));
        return;
    }
    std::vector<Statement>* target = Target();
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
        if (open->bad) {
            Target()->pop_back();
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
    Target()->push_back(std::move(open->statement));
}

void ScriptReader::HandleEnd(const Line& line, bool bad, std::vector<ScriptItem>* items) {
    const int lineNumber = line.statement.line;
    const std::string& word = line.word;
    Open::Kind want = Open::Kind::Handler;
    if (SameName(word, "if")) {
        want = Open::Kind::If;
    } else if (SameName(word, "repeat")) {
        want = Open::Kind::Repeat;
    }
    size_t found = open_.size();
    for (size_t i = open_.size(); i-- > 0;) {
        if (open_[i]->kind == want) {
            found = i;
            break;
        }
    }
    if (found == open_.size()) {
        if (!bad) {
            const std::string what = word.empty() ? "'end'" : "'end " + word + "'";
            Error(lineNumber, line.column,
                  what + (want == Open::Kind::Handler ? " without 'on'"
                          : want == Open::Kind::If    ? " without 'if'"
                                                      : " without 'repeat'"),
                  items);
        }
        return;
    }
    while (open_.size() > found + 1) {
        Error(lineNumber, line.column,
              Describe(*open_.back()) + " has no " + EndOf(open_.back()->kind), items);
        open_.back()->bad = true;
        Close(items);
    }
    Open& target = *open_.back();
    if (want == Open::Kind::Handler && !word.empty() && !bad &&
        !SameName(word, target.handler.name)) {
        Error(lineNumber, line.column,
              "'end " + word + "' ends handler '" + target.handler.name + "'", items);
    }
    Close(items);
}

void ScriptReader::HandleElse(Line& line, bool bad, const std::string& text,
                              std::vector<ScriptItem>* items) {
    Statement* oneLineIf = lastOneLineIf_;
    lastOneLineIf_ = nullptr;
    const bool inIfBlock = !open_.empty() && open_.back()->kind == Open::Kind::If;
    if (oneLineIf != nullptr) {
        // The else of the one-line if on the line before.
        if (line.kind == LineKind::ElseLine || line.kind == LineKind::ElseIf) {
            if (!bad && CheckContext(line.statement, items)) {
                oneLineIf->orElse.push_back(std::move(line.statement));
                if (line.kind == LineKind::ElseIf && oneLineIf->orElse.back().orElse.empty()) {
                    lastOneLineIf_ = &oneLineIf->orElse.back();
                }
            }
            return;
        }
        // else, or else if ... then: a block that ends with `end if`.
        auto open = std::make_unique<Open>();
        open->kind = Open::Kind::If;
        open->line = line.statement.line;
        open->column = line.column;
        open->attached = true;
        open->current = oneLineIf;
        open->inElse = true;
        open->bad = bad;
        Push(std::move(open), text);
        if (line.kind == LineKind::ElseIfStart && !bad) {
            Open& top = *open_.back();
            top.current->orElse.push_back(std::move(line.statement));
            top.current = &top.current->orElse.back();
            top.inElse = false;
        }
        return;
    }
    if (!inIfBlock) {
        if (!bad) {
            Error(line.statement.line, line.column, "'else' without 'if'", items);
        }
        return;
    }
    Open& top = *open_.back();
    if (top.inElse) {
        if (!bad) {
            Error(line.statement.line, line.column,
                  "a second 'else' in the 'if' of line " + std::to_string(top.line), items);
        }
        top.bad = true;
        return;
    }
    if (bad) {
        top.bad = true;
        top.inElse = true;
        return;
    }
    switch (line.kind) {
        case LineKind::Else:
            top.inElse = true;
            return;
        case LineKind::ElseLine:
            top.inElse = true;
            Add(std::move(line.statement), text, items);
            return;
        default:  // else if ... then [statement]
            if (!CheckContext(line.statement, items)) {
                top.bad = true;
                return;
            }
            top.current->orElse.push_back(std::move(line.statement));
            top.current = &top.current->orElse.back();
            top.inElse = !top.current->orElse.empty();
            return;
    }
}

void ScriptReader::Feed(int lineNumber, const std::string& text, std::vector<ScriptItem>* items) {
    Line line;
    SyntaxError error;
    const bool ok = ParseLine(lineNumber, text, &line, &error);
    if (ok && line.kind == LineKind::Statement && line.statement.kind == StatementKind::Empty) {
        return;
    }
    if (!open_.empty() && open_.front()->kind != Open::Kind::Handler) {
        echo_.push_back(IndentedText(text));
    }
    if (!ok) {
        ScriptItem item;
        item.kind = ScriptItem::Kind::Error;
        item.line = lineNumber;
        item.column = error.column;
        item.message = error.message;
        if (open_.empty()) {
            item.echo.push_back(StatementText(text));
        }
        items->push_back(std::move(item));
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
        default:
            break;
    }
    lastOneLineIf_ = nullptr;
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
        open->kind = line.kind == LineKind::RepeatStart ? Open::Kind::Repeat : Open::Kind::If;
        open->statement = std::move(line.statement);
        if (ok && !CheckContext(open->statement, items)) {
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
