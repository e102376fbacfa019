#include "console/language/statement_parser.h"

#include <string>
#include <utility>

#include "console/language/words.h"

namespace console {

bool StatementParser::ParseIfHead(Statement* statement) {
    statement->kind = StatementKind::If;
    statement->value = ParseExpr();
    return statement->value && ExpectWord("then");
}

bool StatementParser::ParseIfTail(Statement* statement) {
    if (!Enter()) {
        return false;
    }
    Statement then;
    then.line = lineNumber_;
    then.column = Peek().column;
    if (!ParseSimple(&then)) {
        return false;
    }
    statement->body.push_back(std::move(then));
    if (IsWord(Peek(), "else")) {
        Next();
        Statement orElse;
        orElse.line = lineNumber_;
        orElse.column = Peek().column;
        if (!ParseSimple(&orElse)) {
            return false;
        }
        statement->orElse.push_back(std::move(orElse));
    }
    Leave();
    return true;
}

// put v, put v into name, put v after name, put v before name.
bool StatementParser::ParsePut(Statement* statement) {
    Next();
    statement->kind = StatementKind::Put;
    statement->value = ParseExpr();
    if (!statement->value) {
        return false;
    }
    const struct {
        const char* word;
        StatementKind kind;
    } forms[] = {{"into", StatementKind::PutInto},
                 {"after", StatementKind::PutAfter},
                 {"before", StatementKind::PutBefore}};
    for (const auto& form : forms) {
        if (IsWord(Peek(), form.word)) {
            Next();
            statement->kind = form.kind;
            return ExpectName("a variable name", &statement->target);
        }
    }
    return true;
}

bool StatementParser::ParseGlobal(Statement* statement) {
    Next();
    statement->kind = StatementKind::Global;
    while (true) {
        std::string name;
        if (!ExpectName("a variable name", &name)) {
            return false;
        }
        statement->names.push_back(name);
        if (Peek().kind != TokenKind::Comma) {
            return true;
        }
        Next();
    }
}

// return [v], exit, exit repeat, next repeat, halt.
bool StatementParser::ParseFlow(Statement* statement) {
    const Token& first = Next();
    if (IsWord(first, "return")) {
        statement->kind = StatementKind::Return;
        if (Peek().kind == TokenKind::End || IsWord(Peek(), "else")) {
            return true;
        }
        statement->value = ParseExpr();
        return statement->value != nullptr;
    }
    if (IsWord(first, "exit")) {
        statement->kind = StatementKind::Exit;
        if (IsWord(Peek(), "repeat")) {
            Next();
            statement->kind = StatementKind::ExitRepeat;
        }
        return true;
    }
    if (IsWord(first, "next")) {
        statement->kind = StatementKind::NextRepeat;
        return ExpectWord("repeat");
    }
    statement->kind = StatementKind::Halt;
    return true;
}

bool StatementParser::TryAssignment(Statement* statement, bool* isAssignment) {
    *isAssignment = false;
    const Token& first = Peek();
    const bool set = IsWord(first, "set") && PeekAt(1).kind == TokenKind::Identifier;
    const Token& name = set ? PeekAt(1) : first;
    if (name.kind != TokenKind::Identifier) {
        return true;
    }
    const TokenKind after = PeekAt(set ? 2 : 1).kind;
    if (after != TokenKind::Equals && after != TokenKind::Dot && after != TokenKind::LeftBracket &&
        !(set && IsWord(PeekAt(2), "to"))) {
        return true;
    }
    if (IsReservedWord(name.text)) {
        return Fail(name.column, "'" + name.text + "' cannot be assigned to");
    }
    const size_t start = pos_;
    const int depth = depth_;
    if (set) {
        Next();
    }
    ExprPtr place = ParsePostfix();
    const bool assigns = IsWord(Peek(), "to") ? set : Peek().kind == TokenKind::Equals;
    if (!place || !assigns || place->kind == ExprKind::Call) {
        // Not an assignment after all (`gList.add(5)`): read it again.
        pos_ = start;
        depth_ = depth;
        error_ = {};
        return true;
    }
    *isAssignment = true;
    Next();
    if (place->kind == ExprKind::Variable) {
        statement->kind = StatementKind::Assign;
        statement->target = place->text;
    } else {
        statement->kind = StatementKind::AssignPlace;
        statement->place = std::move(place);
    }
    statement->value = ParseExpr();
    return statement->value != nullptr;
}

bool StatementParser::ParseSimple(Statement* statement) {
    const Token& first = Peek();
    statement->column = first.column;
    if (first.kind == TokenKind::End) {
        return Fail(first.column, "expected a statement, found end of line");
    }
    if (first.kind == TokenKind::Identifier && IsOutsideSubset(first.text)) {
        return Fail(first.column, NotInSubset(first.text));
    }
    if (IsWord(first, "put")) {
        return ParsePut(statement);
    }
    if (IsWord(first, "global")) {
        return ParseGlobal(statement);
    }
    if (IsWord(first, "return") || IsWord(first, "exit") || IsWord(first, "next") ||
        IsWord(first, "halt")) {
        return ParseFlow(statement);
    }
    if (IsWord(first, "if")) {
        Next();
        if (!ParseIfHead(statement)) {
            return false;
        }
        if (Peek().kind == TokenKind::End) {
            return Fail(Peek().column, "a block 'if' cannot follow 'then' or 'else' on its line");
        }
        return ParseIfTail(statement);
    }
    if (IsWord(first, "repeat") || IsWord(first, "on") || IsWord(first, "end") ||
        IsWord(first, "else") || IsWord(first, "case")) {
        return Fail(first.column,
                    "'" + first.text + "' cannot follow 'then' or 'else' on its line");
    }
    if (IsWord(first, "otherwise")) {
        return Fail(first.column, "'otherwise' belongs in a case, before its 'end case'");
    }
    bool isAssignment = false;
    if (!TryAssignment(statement, &isAssignment) || isAssignment) {
        return isAssignment && statement->value != nullptr;
    }
    statement->kind = StatementKind::Call;
    if (IsCommandCall()) {
        statement->value = ParseCommandCall();
        return statement->value != nullptr;
    }
    statement->value = ParseExpr();
    if (statement->value && statement->value->kind != ExprKind::Call) {
        return Fail(first.column,
                    "expected put, an assignment or a call; "
                    "an assignment goes to a variable, a property or an element");
    }
    return statement->value != nullptr;
}

bool StatementParser::IsCommandCall() const {
    const Token& name = Peek();
    const Token& after = PeekAt(1);
    if (name.kind != TokenKind::Identifier || IsReservedWord(name.text)) {
        return false;
    }
    switch (after.kind) {
        case TokenKind::Integer:
        case TokenKind::Float:
        case TokenKind::String:
        case TokenKind::Symbol:
            return true;
        case TokenKind::Identifier:
            return !IsReservedWord(after.text) || IsWord(after, "the") || IsWord(after, "not") ||
                   IsWord(after, "void") || IsWord(after, "true") || IsWord(after, "false") ||
                   IsWord(after, "empty") || IsWord(after, "quote") || IsWord(after, "space") ||
                   IsWord(after, "tab") || IsWord(after, "xtra");
        default:
            return false;
    }
}

}  // namespace console
