// unplug(name) and replug(name): the console pulls a virtual port's cable
// and plugs it back, so that a script can try how it survives a device that
// goes away while open. What they act on is the console's to say: the
// simulated driver's ports off Windows, nothing on Windows.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "console/language/interpreter.h"

namespace console {

// Pulls (plug false) or plugs back (plug true) every port of that name.
// False with *error when it cannot: no such port, already in that state, or
// no virtual ports at all.
using PlugFunction = std::function<bool(bool plug, const std::string& name, std::string* error)>;

void DefinePortFunctions(Interpreter& interpreter, PlugFunction plug);

}  // namespace console
