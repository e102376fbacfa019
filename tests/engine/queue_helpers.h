// Helpers for driving the input queue's writer and reading its raw records.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/input_queue.h"
#include "engine/record_format.h"

// A record as text: its bytes in hex (sysex from 0xF0 to 0xF7) then "@" and
// the timestamp, e.g. "90 3C 64 @5". Damaged contents read as "?".
inline std::string Describe(const InputQueue& queue, const RawRecord& record) {
    if (!record.hasType) {
        return "?";
    }
    std::string text;
    char hex[8];
    auto add = [&](uint8_t byte) {
        std::snprintf(hex, sizeof hex, "%s%02X", text.empty() ? "" : " ", byte);
        text += hex;
    };
    add(record.status);
    if (record.type == Word::systemExclusive) {
        add(record.data1);
        std::vector<uint8_t> data(record.sysExCount);
        queue.CopySysEx(record, 0, data.data(), record.sysExCount);
        for (uint8_t byte : data) {
            add(byte);
        }
        add(0xF7);
    } else {
        const int dataBytes = ShortDataBytes(record.status);
        if (dataBytes >= 1) {
            add(record.data1);
        }
        if (dataBytes >= 2) {
            add(record.data2);
        }
    }
    return text + " @" + std::to_string(record.timestamp);
}

inline std::vector<std::string> Drain(InputQueue& queue) {
    std::vector<std::string> records;
    RawRecord record;
    while (queue.Peek(record)) {
        records.push_back(Describe(queue, record));
        queue.Consume(record);
    }
    return records;
}

// A whole system-exclusive message of `length` bytes, 0xF0 and 0xF7 included.
inline std::vector<uint8_t> SysEx(uint32_t length, uint8_t fill = 0x01) {
    std::vector<uint8_t> bytes(length, fill);
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}

inline void CaptureWhole(InputQueue& queue, const std::vector<uint8_t>& bytes, uint32_t timestamp) {
    queue.CaptureSysExStart(bytes.data(), static_cast<uint32_t>(bytes.size()), timestamp);
}

// Moves both positions of an empty queue from 0 to `offset`.
inline void MoveTo(InputQueue& queue, uint32_t offset) {
    auto pass = [&](uint32_t recordLength) {
        CaptureWhole(queue, SysEx(recordLength - 4), 0);
        Drain(queue);
    };
    if (offset == 0) {
        return;
    }
    if (offset >= 6) {
        pass(offset);
        return;
    }
    pass(600);
    pass(queue.size() - 600 + offset);
}
