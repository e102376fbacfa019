// The scripting class's method table, as registered under msgTable, and the
// method numbers the host derives from it.
#pragma once

#include <cstdint>

// Static text, written to the registry by RegisterXtra (host thread); the
// host numbers the methods by their order in it.
extern const char kMethodTable[];

// The numbers a CallRecord carries, in the table's order.

enum class Method : int32_t {
    New = 0,
    Init = 1,
    GetTime = 2,
    ResetTimer = 3,
    GetInputPorts = 4,
    OpenInput = 5,
    CloseInput = 6,
    SetSystemFilter = 7,
    SetChannelFilter = 8,
    MessagesPending = 9,
    GetNextMessage = 10,
    GetPendingMessages = 11,
    InputOverflowed = 12,
    FlushInput = 13,
    GetOutputPorts = 14,
    OpenOutput = 15,
    CloseOutput = 16,
    SendMessage = 17,
};
