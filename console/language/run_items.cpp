// Running what the script reader completes: the lines typed, a whole
// script (compiled before anything runs), handlers' definitions and the
// movie's events.
#include <algorithm>
#include <utility>

#include "console/language/interpreter.h"
#include "console/language/interpreter_parts.h"
#include "console/language/lexer.h"

namespace console {

bool Interpreter::RunLine(int lineNumber, const std::string& line) {
    const int before = errors_;
    std::vector<ScriptItem> items;
    reader_.Feed(lineNumber, line, &items);
    for (ScriptItem& item : items) {
        RunItem(item);
    }
    return errors_ == before;
}

bool Interpreter::RunScript(const std::vector<std::string>& lines) {
    std::vector<ScriptItem> items;
    for (size_t i = 0; i < lines.size(); ++i) {
        reader_.Feed(static_cast<int>(i) + 1, lines[i], &items);
    }
    reader_.Finish(&items);
    if (ReportSyntaxErrors(items)) {
        return false;
    }
    for (ScriptItem& item : items) {
        if (item.kind == ScriptItem::Kind::Handler) {
            Define(std::move(item.handler));
            item.kind = ScriptItem::Kind::Statement;  // done: runs as nothing
        }
    }
    for (ScriptItem& item : items) {
        RunItem(item);
    }
    return true;
}

// A script that does not compile runs nothing: its errors in line order, a
// screenful at most.
bool Interpreter::ReportSyntaxErrors(const std::vector<ScriptItem>& items) {
    std::vector<const ScriptItem*> errors;
    for (const ScriptItem& item : items) {
        if (item.kind == ScriptItem::Kind::Error) {
            errors.push_back(&item);
        }
    }
    std::stable_sort(errors.begin(), errors.end(),
                     [](const ScriptItem* a, const ScriptItem* b) { return a->line < b->line; });
    for (size_t i = 0; i < errors.size() && i < kMaxSyntaxErrorsShown; ++i) {
        Report(errors[i]->line, errors[i]->column, "syntax error: " + errors[i]->message);
    }
    if (errors.size() > kMaxSyntaxErrorsShown) {
        const size_t more = errors.size() - kMaxSyntaxErrorsShown;
        diagnostics_ << "... and " << more << " more syntax error" << (more == 1 ? "" : "s")
                     << '\n';
        diagnostics_.flush();
        errors_ += static_cast<int>(more);
    }
    return !errors.empty();
}

void Interpreter::Finish() {
    std::vector<ScriptItem> items;
    reader_.Finish(&items);
    for (ScriptItem& item : items) {
        RunItem(item);
    }
}

void Interpreter::RunItem(ScriptItem& item) {
    if (halted_ && item.kind != ScriptItem::Kind::Error) {
        return;
    }
    if (echo_) {
        for (const std::string& text : item.echo) {
            out_ << text << '\n';
        }
        out_.flush();
    }
    switch (item.kind) {
        case ScriptItem::Kind::Error:
            Report(item.line, item.column, "syntax error: " + item.message);
            return;
        case ScriptItem::Kind::Handler:
            Define(std::move(item.handler));
            return;
        case ScriptItem::Kind::Statement:
            RunTopLevel(item.statement);
            return;
    }
}

void Interpreter::Define(Handler handler) {
    const bool builtIn = SameName(handler.name, "new") || SameName(handler.name, "interface");
    for (const FunctionEntry& function : functions_) {
        if (builtIn || SameName(function.name, handler.name)) {
            Report(handler.line, 1,
                   "'" + handler.name +
                       "' is a function of the language; no handler can take its "
                       "name");
            return;
        }
    }
    for (Handler& existing : handlers_) {
        if (SameName(existing.name, handler.name)) {
            existing = std::move(handler);
            return;
        }
    }
    handlers_.push_back(std::move(handler));
}

void Interpreter::RunTopLevel(const Statement& statement) {
    if (statement.kind == StatementKind::Empty) {
        return;
    }
    Frame frame(host_, true);
    try {
        Execute(statement, frame);
    } catch (const ScriptError& error) {
        Report(error.line != 0 ? error.line : line_, error.column, error.message);
    } catch (const Halt&) {
        halted_ = true;
    }
}

bool Interpreter::HasHandler(std::string_view name) const {
    for (const Handler& handler : handlers_) {
        if (SameName(handler.name, name)) {
            return true;
        }
    }
    return false;
}

Interpreter::EventResult Interpreter::CallEvent(std::string_view name) {
    for (const Handler& handler : handlers_) {
        if (!SameName(handler.name, name)) {
            continue;
        }
        std::vector<ScriptValue> none;
        try {
            ScriptValue result = CallHandler(handler, none);
            host_.Release(result);
        } catch (const ScriptError& error) {
            Report(error.line != 0 ? error.line : line_, error.column, error.message);
            return EventResult::Failed;
        } catch (const Halt&) {
            halted_ = true;
            return EventResult::Halted;
        }
        return EventResult::Done;
    }
    return EventResult::Done;
}

}  // namespace console
