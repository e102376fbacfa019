#include "bench/windows/stress_session.h"

#include <utility>

ScriptValue Session::CallKeeping(int32_t method, const std::vector<ScriptValue>& args) {
    ScriptValue result = host_.Void();
    object_.Call(method, args, result);
    return result;
}

ScriptValue Session::Call(const char* method, std::vector<ScriptValue> args) {
    ScriptValue result = CallKeeping(module_.MethodNumber(method), args);
    for (ScriptValue& arg : args)
        host_.Release(arg);
    return result;
}

int32_t Session::CallCode(const char* method, std::vector<ScriptValue> args) {
    ScriptValue result = Call(method, std::move(args));
    int32_t code = host_.IntegerOf(result);
    if (host_.KindOf(result) == hostsim::Kind::PropList)
        code = IntegerAt(result, 1);
    host_.Release(result);
    return code;
}

void Session::Append(ScriptValue& list, ScriptValue value) {
    host_.Append(list, value);
    host_.Release(value);
}

ScriptValue Session::NoteOn(int32_t sequence) {
    ScriptValue message = host_.NewList();
    Append(message, host_.SymbolValue("noteOn"));
    Append(message, host_.Integer(sequence / (128 * 127) % 16 + 1));
    Append(message, host_.Integer(sequence / 127 % 128));
    Append(message, host_.Integer(sequence % 127 + 1));
    return message;
}

ScriptValue Session::SysEx(int32_t manufacturer, const std::vector<int32_t>& data) {
    ScriptValue message = host_.NewList();
    Append(message, host_.SymbolValue("systemExclusive"));
    Append(message, host_.Integer(manufacturer));
    ScriptValue bytes = host_.NewList();
    for (int32_t byte : data)
        Append(bytes, host_.Integer(byte));
    Append(message, bytes);
    return message;
}

int32_t Session::IntegerAt(const ScriptValue& list, int32_t position) {
    ScriptValue element = host_.At(list, position);
    const int32_t value = host_.IntegerOf(element);
    host_.Release(element);
    return value;
}

int32_t Session::ReadNoteOn(const ScriptValue& message) {
    if (host_.Count(message) != 5)
        return -1;
    return Sequence(IntegerAt(message, 2), IntegerAt(message, 3), IntegerAt(message, 4));
}

int32_t Session::FindLoopback(const char* listingMethod) {
    ScriptValue ports = Call(listingMethod);
    int32_t found = 0;
    for (int32_t i = 1; i <= host_.Count(ports) && found == 0; ++i) {
        ScriptValue name = host_.At(ports, i);
        if (host_.TextOf(name) == "Loopback")
            found = i;
        host_.Release(name);
    }
    host_.Release(ports);
    return found;
}

uint64_t ServiceCalls(const hostsim::SimHost& host) {
    static const char* const kOperations[] = {
        "StringToSymbol", "ValueType",        "ValueRelease",  "ValueToInteger",
        "ValueToSymbol",  "IntegerToValue",   "SymbolToValue", "StringToValue",
        "NewList",        "AppendToList",     "CountElements", "GetValueByIndex",
        "NewPropList",    "AppendToPropList", "Alloc",         "Free",
        "QueryInterface", "GetAppInfoString",
    };
    uint64_t calls = 0;
    for (const char* operation : kOperations)
        calls += host.CallCount(operation);
    return calls;
}
