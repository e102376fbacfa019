// The ring's record formats, shared by capture and the raw reader.
//
// Every record starts with its status byte (0x80 or above) and ends with a
// 4-byte big-endian timestamp; there is no length field.
//   0x8n 0x9n 0xAn 0xBn 0xEn 0xF2       status d1 d2 ts    7 bytes
//   0xCn 0xDn 0xF1 0xF3                 status d1 ts       6 bytes
//   0xF6 0xF8 0xFA 0xFB 0xFC 0xFE 0xFF  status ts          5 bytes
//   0xF0                                0xF0 ... 0xF7 ts   message length + 4
#pragma once

#include <cstdint>

constexpr uint32_t kTimestampBytes = 4;
constexpr uint32_t kLongestShortRecord = 7;
constexpr uint8_t kSysExStart = 0xF0;
constexpr uint8_t kSysExEnd = 0xF7;

// A channel-mode message: a control change whose controller is 122 or above.
constexpr bool IsChannelMode(uint8_t status, uint8_t data1) {
    return (status & 0xF0) == 0xB0 && data1 >= 122;
}

// Data bytes after the status byte of a short record; -1 for a status byte
// that never forms one (below 0x80, 0xF0, 0xF4, 0xF5, 0xF7, 0xF9, 0xFD).
constexpr int ShortDataBytes(uint8_t status) {
    if (status < 0x80) {
        return -1;
    }
    if (status < 0xF0) {
        const uint8_t kind = status & 0xF0;
        return (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
    }
    switch (status) {
        case 0xF2:
            return 2;
        case 0xF1:
        case 0xF3:
            return 1;
        case 0xF6:
        case 0xF8:
        case 0xFA:
        case 0xFB:
        case 0xFC:
        case 0xFE:
        case 0xFF:
            return 0;
        default:
            return -1;
    }
}

// ShortDataBytes for every status byte, for capture's and the reader's hot paths.
struct ShortDataBytesTable {
    int8_t bytes[256];
    constexpr ShortDataBytesTable() : bytes() {
        for (int status = 0; status < 256; ++status) {
            bytes[status] = static_cast<int8_t>(ShortDataBytes(static_cast<uint8_t>(status)));
        }
    }
};
constexpr ShortDataBytesTable kShortDataBytes;  // internal linkage: no indirection

inline void StoreBigEndian32(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

inline uint32_t LoadBigEndian32(const uint8_t* in) {
    return uint32_t{in[0]} << 24 | uint32_t{in[1]} << 16 | uint32_t{in[2]} << 8 | in[3];
}
