// Raw reading of one ring record: bytes and fields only, no script values.
// Decoding (script values) and benchmarks build on it.
#pragma once

#include <cstdint>

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

// Reads the record at `pos` of a ring of `size` bytes whose published records
// end at `end` (pos != end). Never reads at or past `end`: a record that would
// need bytes there yields no type and is consumed up to `end`.
void ReadRecord(const uint8_t* storage, uint32_t size, uint32_t pos, uint32_t end, RawRecord& out);

// The message type of a short record; false when its bytes name none.
bool ShortMessageType(uint8_t status, uint8_t data1, uint8_t data2, Word& type);
