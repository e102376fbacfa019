// The method names the module registers, in the order the host numbers them.
#pragma once

#include <string>
#include <vector>

namespace tesmar_test {

inline const std::vector<std::string> kExpectedMethodNames = {
    "new",
    "Init",
    "GetTime",
    "ResetTimer",
    "GetInputPorts",
    "OpenInput",
    "CloseInput",
    "SetSystemFilter",
    "SetChannelFilter",
    "MessagesPending",
    "GetNextMessage",
    "GetPendingMessages",
    "InputOverflowed",
    "FlushInput",
    "GetOutputPorts",
    "OpenOutput",
    "CloseOutput",
    "SendMessage",
};

}  // namespace tesmar_test
