// What the console's operators and list functions do to host values. Every
// result is a new value the caller releases; a mistake throws ScriptError.
#pragma once

#include <string>
#include <string_view>

#include "console/language/syntax.h"
#include "contract/host_api.h"
#include "hostsim/sim_host.h"

namespace console {

// A run-time error: its column and message; the interpreter adds the line
// (0 until then).
struct ScriptError {
    int column = 0;
    std::string message;
    int line = 0;
};

[[noreturn]] void Fail(int column, std::string message);

// Lists nest at most this deep: printing and releasing them recurses.
constexpr int kMaxValueDepth = 100;

// + - * / mod & && = <> < <= > >=; `and` and `or` are the interpreter's
// (they stop early).
ScriptValue Operate(hostsim::SimHost& host, BinaryOp op, const ScriptValue& left,
                    const ScriptValue& right, int column);
// A condition: integers and floats are true when not zero, VOID is false.
bool IsTrue(hostsim::SimHost& host, const ScriptValue& value, int column);
bool SameContent(hostsim::SimHost& host, const ScriptValue& left, const ScriptValue& right);
// The text & joins: a string as it is, a symbol's name, VOID as nothing,
// everything else as put prints it.
std::string TextForJoin(hostsim::SimHost& host, const ScriptValue& value);

// list.name: the property of that name (VOID when there is none); a list's
// or property list's `count` when it has no such property.
ScriptValue PropertyOf(hostsim::SimHost& host, const ScriptValue& list, std::string_view name,
                       int column);
// list[index]: by position from 1, or a property list by its property.
ScriptValue ElementOf(hostsim::SimHost& host, const ScriptValue& list, const ScriptValue& index,
                      int column);
// Position of property `name` in a property list, from 1; 0 when absent.
int32_t FindProperty(hostsim::SimHost& host, const ScriptValue& propList, std::string_view name);

// Before `value` goes into `list`: fails when the list would then contain
// itself or nest deeper than kMaxValueDepth (list may be VOID for a new one).
void CheckInsertion(hostsim::SimHost& host, const ScriptValue& list, const ScriptValue& value,
                    int column);

}  // namespace console
