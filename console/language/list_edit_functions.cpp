// The functions that change lists in place or search them: setaProp,
// setProp, setAt, deleteAt, deleteOne, getPos, getOne, getLast, and
// duplicate, the one way to get a list that is not shared. Values are found
// as `=` finds them (SameContent: numbers by value, texts without case,
// lists element by element).
#include "console/language/function_checks.h"
#include "console/language/interpreter.h"
#include "console/language/interpreter_parts.h"
#include "console/language/list_edits.h"

namespace console {
namespace {

using hostsim::Kind;

bool IsList(hostsim::SimHost& host, const ScriptValue& value) {
    const Kind kind = host.KindOf(value);
    return kind == Kind::List || kind == Kind::PropList;
}

// The first position (from 1) whose element, or pair's value, is `=` to
// `value`; 0 when none is.
int32_t FindValue(hostsim::SimHost& host, const ScriptValue& list, const ScriptValue& value) {
    const int32_t count = host.Count(list);
    for (int32_t i = 1; i <= count; ++i) {
        Owned item(host, host.At(list, i));
        if (SameContent(host, item.get(), value)) {
            return i;
        }
    }
    return 0;
}

// A position of the list, for deleteAt (a list is never padded here).
int32_t NeedPosition(FunctionCall& call, const char* function) {
    const int32_t position = NeedInteger(call, 1, function, "a position");
    const int32_t count = call.host.Count(call.args[0]);
    if (position < 1 || position > count) {
        Fail(call.ArgColumn(1), "position " + std::to_string(position) +
                                    " is not in the list (1 to " + std::to_string(count) + ")");
    }
    return position;
}

// setaProp replaces or adds; setProp fails when the property is absent.
ScriptValue SetPropertyOf(FunctionCall& call, bool mustExist) {
    const char* name = mustExist ? "setProp" : "setaProp";
    NeedList(call, 0, name, ListNeed::Property);
    NeedSymbol(call, 1, name);
    CheckInsertion(call.host, call.args[0], call.args[2], call.ArgColumn(2));
    SetProperty(call.host, call.args[0], call.host.TextOf(call.args[1]), call.args[2],
                call.ArgColumn(1), mustExist);
    return call.host.Void();
}

// list[n] = value: a linear list is padded with 0 up to a position beyond
// its end; a property list's position must exist.
ScriptValue SetAt(FunctionCall& call) {
    NeedList(call, 0, "setAt", ListNeed::Any);
    NeedInteger(call, 1, "setAt", "a position");
    CheckInsertion(call.host, call.args[0], call.args[2], call.ArgColumn(2));
    SetElement(call.host, call.args[0], call.args[1], call.args[2], call.ArgColumn(1));
    return call.host.Void();
}

ScriptValue DeleteAt(FunctionCall& call) {
    NeedList(call, 0, "deleteAt", ListNeed::Any);
    call.host.DeleteAt(call.args[0], NeedPosition(call, "deleteAt"));
    return call.host.Void();
}

ScriptValue DeleteOne(FunctionCall& call) {
    NeedList(call, 0, "deleteOne", ListNeed::Any);
    const int32_t position = FindValue(call.host, call.args[0], call.args[1]);
    if (position > 0) {
        call.host.DeleteAt(call.args[0], position);
    }
    return call.host.Void();
}

ScriptValue GetPos(FunctionCall& call) {
    NeedList(call, 0, "getPos", ListNeed::Any);
    return call.host.Integer(FindValue(call.host, call.args[0], call.args[1]));
}

// A linear list: the position; a property list: the property whose value it
// is. 0 when the value is not there.
ScriptValue GetOne(FunctionCall& call) {
    NeedList(call, 0, "getOne", ListNeed::Any);
    const int32_t position = FindValue(call.host, call.args[0], call.args[1]);
    if (position > 0 && call.host.KindOf(call.args[0]) == Kind::PropList) {
        return call.host.SymbolValue(call.host.KeyAt(call.args[0], position));
    }
    return call.host.Integer(position);
}

ScriptValue GetLast(FunctionCall& call) {
    NeedList(call, 0, "getLast", ListNeed::Any);
    const int32_t count = call.host.Count(call.args[0]);
    return count == 0 ? call.host.Void() : call.host.At(call.args[0], count);
}

// A new list with a copy of every list inside it, however deep; anything
// else is shared as it is (strings cannot change, instances are the same
// instance). Lists nest at most kMaxValueDepth levels and never contain
// themselves, so the recursion ends; `depth` guards it all the same.
ScriptValue Duplicate(hostsim::SimHost& host, const ScriptValue& value, int depth, int column) {
    if (!IsList(host, value)) {
        return host.Copy(value);
    }
    if (depth > kMaxValueDepth) {
        Fail(column, "lists nested deeper than " + std::to_string(kMaxValueDepth) + " levels");
    }
    const bool isProp = host.KindOf(value) == Kind::PropList;
    Owned copy(host, isProp ? host.NewPropList() : host.NewList());
    const int32_t count = host.Count(value);
    for (int32_t i = 1; i <= count; ++i) {
        Owned item(host, host.At(value, i));
        Owned itemCopy(host, Duplicate(host, item.get(), depth + 1, column));
        if (isProp) {
            host.AppendPair(copy.get(), host.KeyAt(value, i), itemCopy.get());
        } else {
            host.Append(copy.get(), itemCopy.get());
        }
    }
    return copy.Take();
}

}  // namespace

void DefineListEditFunctions(Interpreter& interpreter) {
    interpreter.DefineFunction("setaProp", 3, 3,
                               "setaProp() takes a property list, a #property and a value",
                               [](FunctionCall& call) { return SetPropertyOf(call, false); });
    interpreter.DefineFunction("setProp", 3, 3,
                               "setProp() takes a property list, a #property and a value",
                               [](FunctionCall& call) { return SetPropertyOf(call, true); });
    interpreter.DefineFunction("setAt", 3, 3, "setAt() takes a list, a position and a value",
                               SetAt);
    interpreter.DefineFunction("deleteAt", 2, 2, "deleteAt() takes a list and a position",
                               DeleteAt);
    interpreter.DefineFunction("deleteOne", 2, 2, "deleteOne() takes a list and a value",
                               DeleteOne);
    interpreter.DefineFunction("getPos", 2, 2, "getPos() takes a list and a value", GetPos);
    interpreter.DefineFunction("getOne", 2, 2, "getOne() takes a list and a value", GetOne);
    interpreter.DefineFunction("getLast", 1, 1, "getLast() takes one list", GetLast);
    interpreter.DefineFunction("duplicate", 1, 1, "duplicate() takes one value",
                               [](FunctionCall& call) {
                                   return Duplicate(call.host, call.args[0], 1, call.ArgColumn(0));
                               });
}

}  // namespace console
