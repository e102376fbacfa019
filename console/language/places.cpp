// The statements that change a variable's value by its parts: put into,
// after and before, and assignments to a property or an element.
#include "console/language/interpreter.h"
#include "console/language/interpreter_parts.h"
#include "console/language/list_edits.h"

namespace console {

void Interpreter::PutInto(const Statement& statement, Frame& frame) {
    Owned value(host_, Evaluate(*statement.value, frame));
    if (statement.kind == StatementKind::PutInto) {
        Assign(frame, statement.target, value.get());
        return;
    }
    const ScriptValue* current = Variable(frame, statement.target, false);
    if (current == nullptr) {
        Throw(statement.column, "variable '" + statement.target + "' has no value");
    }
    const std::string old = TextForJoin(host_, *current);
    const std::string added = TextForJoin(host_, value.get());
    Owned joined(
        host_, host_.String(statement.kind == StatementKind::PutAfter ? old + added : added + old));
    Assign(frame, statement.target, joined.get());
}

void Interpreter::AssignPlace(const Statement& statement, Frame& frame) {
    const Expr& place = *statement.place;
    Owned list(host_, Evaluate(*place.items[0], frame));
    try {
        if (place.kind == ExprKind::Property) {
            Owned value(host_, Evaluate(*statement.value, frame));
            SetProperty(host_, list.get(), place.text, value.get(), place.column);
            return;
        }
        Owned index(host_, Evaluate(*place.items[1], frame));
        Owned value(host_, Evaluate(*statement.value, frame));
        SetElement(host_, list.get(), index.get(), value.get(), place.column);
    } catch (ScriptError& error) {
        if (error.line == 0) {
            error.line = line_;
        }
        throw;
    }
}

}  // namespace console
