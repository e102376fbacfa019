#include "console/port_functions.h"

#include <utility>

namespace console {
namespace {

void DefineOne(Interpreter& interpreter, const std::shared_ptr<PlugFunction>& plug, bool plugIn) {
    const std::string name = plugIn ? "replug" : "unplug";
    interpreter.DefineFunction(
        name, 1, 1, name + "() takes the name of one virtual port, e.g. " + name + "(\"Loopback\")",
        [plug, plugIn, name](FunctionCall& call) {
            const ScriptValue& port = call.args[0];
            if (call.host.KindOf(port) != hostsim::Kind::String) {
                Fail(call.ArgColumn(0),
                     name + "() needs a port name as a string, not " + call.host.Print(port));
            }
            std::string error;
            if (!(*plug)(plugIn, call.host.TextOf(port), &error)) {
                Fail(call.ArgColumn(0), name + "(): " + error);
            }
            return call.host.Void();
        });
}

}  // namespace

void DefinePortFunctions(Interpreter& interpreter, PlugFunction plug) {
    // One plug function serves both, and outlives every call.
    const auto shared = std::make_shared<PlugFunction>(std::move(plug));
    DefineOne(interpreter, shared, false);
    DefineOne(interpreter, shared, true);
}

}  // namespace console
