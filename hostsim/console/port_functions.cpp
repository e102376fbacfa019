#include "hostsim/console/port_functions.h"

#include <utility>

namespace console {

void DefinePortFunctions(Interpreter& interpreter, PlugFunction plug) {
    // Both functions share one body; the plug function outlives the calls.
    auto shared = std::make_shared<PlugFunction>(std::move(plug));
    for (const bool plugIn : {false, true}) {
        const std::string name = plugIn ? "replug" : "unplug";
        interpreter.DefineFunction(
            name, 1, 1,
            name + "() takes the name of one virtual port, e.g. " + name + "(\"Loopback\")",
            [shared, plugIn, name](FunctionCall& call) {
                const ScriptValue& port = call.args[0];
                if (call.host.KindOf(port) != hostsim::Kind::String) {
                    Fail(call.ArgColumn(0),
                         name + "() needs a port name as a string, not " + call.host.Print(port));
                }
                std::string error;
                if (!(*shared)(plugIn, call.host.TextOf(port), &error)) {
                    Fail(call.ArgColumn(0), name + "(): " + error);
                }
                return call.host.Void();
            });
    }
}

}  // namespace console
