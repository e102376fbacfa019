// An independent model of SendMessage, for the send fuzz target: given a
// message as plain data, the status code the script gets and the bytes that
// reach the wire. It shares no code with engine/.
#pragma once

#include <cstdint>
#include <vector>

#include "fuzz/script_value.h"

struct Encoded {
    int32_t code = 0;
    std::vector<uint8_t> bytes;  // on the wire when code is 0
};

Encoded EncodeMessage(const Value& message);
