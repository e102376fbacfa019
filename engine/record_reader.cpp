#include "engine/record_reader.h"

#include "engine/record_format.h"

namespace {

bool ModeMessageType(uint8_t data1, uint8_t data2, Word& type) {
    // Local control is a type for each of its two values, and no other value.
    const bool byValue = data1 == 0x7A;
    for (const MessageType& entry : kMessageTypes) {
        if ((entry.shape == Shape::fixed || entry.shape == Shape::monoMode) &&
            entry.data1 == data1 && (!byValue || entry.data2 == data2)) {
            type = entry.word;
            return true;
        }
    }
    return false;
}

inline bool TypeOf(uint8_t status, uint8_t data1, uint8_t data2, Word& type) {
    if (IsChannelMode(status, data1)) {
        return ModeMessageType(data1, data2, type);
    }
    type = kStatusTypes.type[status];
    return type != Word::none;
}

// A cursor that stops at the end of the published records.
struct Cursor {
    const ByteRing& ring;
    uint32_t end;
    uint32_t position;

    bool AtEnd() const { return position == end; }
    uint8_t Peek() const { return *ring.At(position); }
    uint8_t Take() {
        const uint8_t byte = *ring.At(position);
        position = ring.Advance(position, 1);
        return byte;
    }
    // False, reading nothing more, when fewer than `count` bytes are left.
    bool Take(uint8_t* out, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) {
            if (AtEnd()) {
                return false;
            }
            out[i] = Take();
        }
        return true;
    }
    bool TakeTimestamp(uint32_t& timestamp) {
        uint8_t b[kTimestampBytes];
        if (!Take(b, kTimestampBytes)) {
            return false;
        }
        timestamp = LoadBigEndian32(b);
        return true;
    }
};

// Damaged contents: skip to the next status byte after what was read.
void Resynchronise(Cursor& cursor, RawRecord& out) {
    while (!cursor.AtEnd() && cursor.Peek() < 0x80) {
        cursor.Take();
    }
    out.hasType = false;
    out.next = cursor.position;
}

void ReadSysEx(Cursor& cursor, RawRecord& out) {
    const uint32_t afterStatus = cursor.position;
    if (cursor.AtEnd()) {
        Resynchronise(cursor, out);
        return;
    }
    // A record with nothing between 0xF0 and 0xF7 has manufacturer 0.
    uint8_t manufacturer = cursor.Peek();
    if (manufacturer == kSysExEnd) {
        manufacturer = 0;
    } else {
        cursor.Take();
    }
    out.data1 = manufacturer;
    out.sysExFirst = cursor.position;
    uint32_t count = 0;
    while (!cursor.AtEnd() && cursor.Peek() != kSysExEnd) {
        cursor.Take();
        ++count;
    }
    if (cursor.AtEnd()) {
        cursor.position = afterStatus;
        Resynchronise(cursor, out);
        return;
    }
    cursor.Take();  // the 0xF7
    out.sysExCount = count;
    if (!cursor.TakeTimestamp(out.timestamp)) {
        cursor.position = afterStatus;
        Resynchronise(cursor, out);
        return;
    }
    out.type = Word::systemExclusive;
    out.hasType = true;
    out.next = cursor.position;
}

}  // namespace

void ReadRecord(const ByteRing& ring, uint32_t pos, uint32_t end, RawRecord& out) {
    if (ReadPlainShortRecord(ring, pos, end, out)) {
        return;
    }
    Cursor cursor{ring, end, pos};
    out = RawRecord{};
    out.status = cursor.Take();
    const int dataBytes = kShortDataBytes.bytes[out.status];
    if (out.status == kSysExStart) {
        ReadSysEx(cursor, out);
        return;
    }
    if (dataBytes < 0) {
        Resynchronise(cursor, out);
        return;
    }
    const uint32_t afterStatus = cursor.position;
    uint8_t data[2] = {0, 0};
    if (!cursor.Take(data, static_cast<uint32_t>(dataBytes))) {
        cursor.position = afterStatus;
        Resynchronise(cursor, out);
        return;
    }
    out.data1 = data[0];
    out.data2 = data[1];
    if (!TypeOf(out.status, out.data1, out.data2, out.type)) {
        Resynchronise(cursor, out);
        return;
    }
    if (!cursor.TakeTimestamp(out.timestamp)) {
        cursor.position = afterStatus;
        Resynchronise(cursor, out);
        return;
    }
    out.hasType = true;
    out.next = cursor.position;
}
