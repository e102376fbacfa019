// The lines that continue or close a block: else (of an if block or of a
// one-line if on the line before), the branches of a case, and ends.
#include <utility>

#include "console/language/lexer.h"
#include "console/language/open_block.h"

namespace console {

const char* EndOf(ScriptReader::Open::Kind kind) {
    switch (kind) {
        case ScriptReader::Open::Kind::Handler:
            return "'end'";
        case ScriptReader::Open::Kind::If:
            return "'end if'";
        case ScriptReader::Open::Kind::Repeat:
            return "'end repeat'";
        case ScriptReader::Open::Kind::Case:
            return "'end case'";
    }
    return "'end'";
}

std::string Describe(const ScriptReader::Open& open) {
    const std::string where = " of line " + std::to_string(open.line);
    switch (open.kind) {
        case ScriptReader::Open::Kind::Handler:
            return "handler '" + open.handler.name + "'" + where;
        case ScriptReader::Open::Kind::If:
            return "'if'" + where;
        case ScriptReader::Open::Kind::Repeat:
            return "'repeat'" + where;
        case ScriptReader::Open::Kind::Case:
            return "'case'" + where;
    }
    return {};
}

void ScriptReader::HandleEnd(const Line& line, bool bad, std::vector<ScriptItem>* items) {
    const int lineNumber = line.statement.line;
    const std::string& word = line.word;
    Open::Kind want = Open::Kind::Handler;
    if (SameName(word, "if")) {
        want = Open::Kind::If;
    } else if (SameName(word, "repeat")) {
        want = Open::Kind::Repeat;
    } else if (SameName(word, "case")) {
        want = Open::Kind::Case;
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
            const char* opener = want == Open::Kind::Handler ? "'on'"
                                 : want == Open::Kind::If    ? "'if'"
                                 : want == Open::Kind::Case  ? "'case'"
                                                             : "'repeat'";
            Error(lineNumber, line.column, what + " without " + opener, items);
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
    line.statement.text = StatementText(text);
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

// A case's `value:` or `otherwise` line (the parser reads them only
// directly inside a case): a new branch, with the statement on its line.
void ScriptReader::HandleCase(Line& line, bool bad, const std::string& text,
                              std::vector<ScriptItem>* items) {
    lastOneLineIf_ = nullptr;
    Open& top = *open_.back();
    if (bad) {
        open_.front()->bad = true;
        return;
    }
    if (top.inElse) {
        Error(line.statement.line, line.column,
              "'otherwise' is the last branch of the case of line " + std::to_string(top.line),
              items);
        open_.front()->bad = true;
        return;
    }
    if (line.kind == LineKind::Otherwise) {
        top.inElse = true;
    } else {
        top.statement.branches.push_back(CaseBranch{std::move(line.labels), {}});
    }
    if (line.statement.kind != StatementKind::Empty) {
        Add(std::move(line.statement), text, items);
    }
}

}  // namespace console
