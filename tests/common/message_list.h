// [#type, numbers...] as a linear list: how scripts hand messages to SendMessage.
#pragma once

#include <cstdint>
#include <vector>

#include "hostsim/sim_host.h"

namespace tesmar_test {

// One live value for the caller to release.
inline ScriptValue MessageList(hostsim::SimHost& host, const char* type,
                               const std::vector<int32_t>& numbers) {
    ScriptValue list = host.NewList();
    ScriptValue symbol = host.SymbolValue(type);
    host.Append(list, symbol);
    host.Release(symbol);
    for (int32_t number : numbers) {
        ScriptValue value = host.Integer(number);
        host.Append(list, value);
        host.Release(value);
    }
    return list;
}

}  // namespace tesmar_test
