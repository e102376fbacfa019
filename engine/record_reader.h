// Raw reading of one ring record: bytes and fields only, no script values.
// Decoding (script values) and benchmarks build on it. The reader's side of
// the queue calls it (host thread), on published records only: it reads the
// ring and writes only the caller's RawRecord, and moves no position.
#pragma once

#include <cstdint>

#include "engine/byte_ring.h"
#include "engine/message_types.h"
#include "engine/record_format.h"
#include "engine/vocabulary.h"

struct RawRecord {
    bool hasType = false;  // false: damaged contents, skipped up to the next status byte
    Word type = Word::none;
    uint8_t status = 0;
    uint8_t data1 = 0;  // the manufacturer byte for system exclusive
    uint8_t data2 = 0;
    uint32_t timestamp = 0;
    // System exclusive: where the bytes after the manufacturer byte start and
    // how many there are before the terminating 0xF7.
    uint32_t sysExFirst = 0;
    uint32_t sysExCount = 0;
    uint32_t next = 0;  // position after everything this record consumed
};

// Reads the record at `pos` of a ring whose published records end at `end`
// (pos != end). Never reads at or past `end`: a record that would need bytes
// there yields no type and is consumed up to `end`.
void ReadRecord(const ByteRing& ring, uint32_t pos, uint32_t end, RawRecord& out);

// The type of each status byte; `none` where a status byte names no message
// by itself (0xBn with a data byte of 122 or above is settled by its data).
struct StatusTypeTable {
    Word type[256];
    constexpr StatusTypeTable() : type() {
        for (Word& word : type) {
            word = Word::none;
        }
        for (const MessageType& entry : kMessageTypes) {
            if (entry.shape == Shape::fixed || entry.shape == Shape::monoMode ||
                entry.shape == Shape::systemExclusive) {
                continue;  // settled by their data, or not short messages
            }
            for (int channel = 0; channel < (entry.channel ? 16 : 1); ++channel) {
                type[entry.status + channel] = entry.word;
            }
        }
    }
};
constexpr StatusTypeTable kStatusTypes;

// The common case, inline for the reader's loop: a short record other than a
// channel-mode message that lies in one piece before `end`. False for
// anything else, which ReadRecord then handles.
inline bool ReadPlainShortRecord(const ByteRing& ring, uint32_t pos, uint32_t end, RawRecord& out) {
    const uint8_t* record = ring.At(pos);
    const uint8_t status = record[0];
    const Word type = kStatusTypes.type[status];
    // The length by branches, not arithmetic: a predicted branch lets the
    // next record's position be known before this status byte has loaded.
    int dataBytes;
    if ((status & 0xE0) == 0xC0) [[unlikely]] {
        dataBytes = 1;
    } else if (status >= 0xF0) [[unlikely]] {
        dataBytes = kShortDataBytes.bytes[status];
    } else {
        dataBytes = 2;
    }
    const uint32_t length = static_cast<uint32_t>(1 + dataBytes) + kTimestampBytes;
    if (type == Word::none || length > ring.PublishedInOnePiece(pos, end)) {
        return false;
    }
    const uint8_t data1 = dataBytes >= 1 ? record[1] : 0;
    const uint8_t data2 = dataBytes >= 2 ? record[2] : 0;
    if (IsChannelMode(status, data1)) {
        return false;
    }
    out.hasType = true;
    out.type = type;
    out.status = status;
    out.data1 = data1;
    out.data2 = data2;
    out.timestamp = LoadBigEndian32(record + 1 + dataBytes);
    out.sysExFirst = 0;
    out.sysExCount = 0;
    out.next = ring.AdvanceInOnePiece(pos, length);
    return true;
}
