// The list functions of the console's language. Lists are shared: add,
// append and addProp change the list every variable holding it sees.
#include "console/language/function_checks.h"
#include "console/language/interpreter.h"

namespace console {
namespace {

using hostsim::Kind;

ScriptValue Count(FunctionCall& call) {
    NeedList(call, 0, "count", ListNeed::Any);
    return call.host.Integer(call.host.Count(call.args[0]));
}

ScriptValue GetAt(FunctionCall& call) {
    NeedList(call, 0, "getAt", ListNeed::Any);
    NeedInteger(call, 1, "getAt", "a position");
    return ElementOf(call.host, call.args[0], call.args[1], call.ArgColumn(1));
}

// getProp fails on a missing property, getaProp answers VOID.
ScriptValue GetProperty(FunctionCall& call, bool mustExist) {
    const char* name = mustExist ? "getProp" : "getaProp";
    NeedList(call, 0, name, ListNeed::Property);
    NeedSymbol(call, 1, name);
    const std::string property = call.host.TextOf(call.args[1]);
    const int32_t position = FindProperty(call.host, call.args[0], property);
    if (position == 0) {
        if (mustExist) {
            Fail(call.ArgColumn(1), "the property list has no property #" + property);
        }
        return call.host.Void();
    }
    return call.host.At(call.args[0], position);
}

ScriptValue Append(FunctionCall& call, const char* name) {
    NeedList(call, 0, name, ListNeed::Linear);
    CheckInsertion(call.host, call.args[0], call.args[1], call.ArgColumn(1));
    call.host.Append(call.args[0], call.args[1]);
    return call.host.Void();
}

ScriptValue AddProp(FunctionCall& call) {
    NeedList(call, 0, "addProp", ListNeed::Property);
    NeedSymbol(call, 1, "addProp");
    CheckInsertion(call.host, call.args[0], call.args[2], call.ArgColumn(2));
    call.host.AppendPair(call.args[0], call.host.TextOf(call.args[1]), call.args[2]);
    return call.host.Void();
}

}  // namespace

void DefineListFunctions(Interpreter& interpreter) {
    interpreter.DefineFunction("count", 1, 1, "count() takes one list", Count);
    interpreter.DefineFunction("getAt", 2, 2, "getAt() takes a list and a position", GetAt);
    interpreter.DefineFunction("getProp", 2, 2, "getProp() takes a property list and a #property",
                               [](FunctionCall& call) { return GetProperty(call, true); });
    interpreter.DefineFunction("getaProp", 2, 2, "getaProp() takes a property list and a #property",
                               [](FunctionCall& call) { return GetProperty(call, false); });
    interpreter.DefineFunction("add", 2, 2, "add() takes a list and a value",
                               [](FunctionCall& call) { return Append(call, "add"); });
    interpreter.DefineFunction("append", 2, 2, "append() takes a list and a value",
                               [](FunctionCall& call) { return Append(call, "append"); });
    interpreter.DefineFunction("addProp", 3, 3,
                               "addProp() takes a property list, a #property and a value", AddProp);
    interpreter.DefineFunction("voidP", 1, 1, "voidP() takes one value", [](FunctionCall& call) {
        return call.host.Integer(call.host.KindOf(call.args[0]) == Kind::Void ? 1 : 0);
    });
}

}  // namespace console
