// How many bytes a MIDI message has on the wire, by its status byte, as every
// stand-in reads and writes the wire (simwinmm's devices, loopdrv's injection,
// the console's play files). Undefined status bytes (0xF4, 0xF5, 0xF9, 0xFD)
// are one byte each: on the wire they carry no data, and receivers ignore
// them; whether a stand-in takes them is its own rule, not a length.
#pragma once

#include <cstdint>

namespace standin {

// 3, 2 or 1; 0 where no short message starts: a data byte (no running
// status), 0xF0 (system exclusive, as long as its 0xF7 says) and 0xF7.
constexpr uint32_t WireLength(uint8_t status) {
    if (status < 0x80 || status == 0xF0 || status == 0xF7) {
        return 0;
    }
    if (status < 0xF0) {
        const uint8_t kind = status & 0xF0;
        return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
    }
    switch (status) {
        case 0xF1:
        case 0xF3:
            return 2;
        case 0xF2:
            return 3;
        default:
            return 1;
    }
}

constexpr bool IsUndefinedStatus(uint8_t status) {
    return status == 0xF4 || status == 0xF5 || status == 0xF9 || status == 0xFD;
}

}  // namespace standin
