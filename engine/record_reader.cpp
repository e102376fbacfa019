#include "engine/record_reader.h"

#include "engine/record_format.h"

bool ShortMessageType(uint8_t status, uint8_t data1, uint8_t data2, Word& type) {
    switch (status & 0xF0) {
        case 0x80:
            type = Word::noteOff;
            return true;
        case 0x90:
            type = Word::noteOn;
            return true;
        case 0xA0:
            type = Word::polyKeyPressure;
            return true;
        case 0xB0:
            if (data1 < 122) {
                type = Word::controlChange;
                return true;
            }
            switch (data1) {
                case 122:
                    if (data2 != 0 && data2 != 127) {
                        return false;
                    }
                    type = data2 == 0 ? Word::localControlOff : Word::localControlOn;
                    return true;
                case 123:
                    type = Word::allNotesOff;
                    return true;
                case 124:
                    type = Word::omniModeOff;
                    return true;
                case 125:
                    type = Word::omniModeOn;
                    return true;
                case 126:
                    type = Word::monoModeOn;
                    return true;
                case 127:
                    type = Word::polyModeOn;
                    return true;
                default:
                    return false;
            }
        case 0xC0:
            type = Word::programChange;
            return true;
        case 0xD0:
            type = Word::channelPressure;
            return true;
        case 0xE0:
            type = Word::pitchBend;
            return true;
        default:
            break;
    }
    switch (status) {
        case 0xF1:
            type = Word::mtcQuarterFrame;
            return true;
        case 0xF2:
            type = Word::songPositionPointer;
            return true;
        case 0xF3:
            type = Word::songSelect;
            return true;
        case 0xF6:
            type = Word::tuneRequest;
            return true;
        case 0xF8:
            type = Word::clock;
            return true;
        case 0xFA:
            type = Word::start;
            return true;
        case 0xFB:
            type = Word::continue_;
            return true;
        case 0xFC:
            type = Word::stop;
            return true;
        case 0xFE:
            type = Word::activeSensing;
            return true;
        case 0xFF:
            type = Word::systemReset;
            return true;
        default:
            return false;
    }
}

namespace {

// A cursor that stops at the end of the published records.
struct Cursor {
    const uint8_t* storage;
    uint32_t size;
    uint32_t end;
    uint32_t position;

    bool AtEnd() const { return position == end; }
    uint8_t Peek() const { return storage[position]; }
    uint8_t Take() {
        const uint8_t byte = storage[position];
        position = position + 1 == size ? 0 : position + 1;
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
        timestamp = uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
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
    const Cursor afterStatus = cursor;
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
        cursor = afterStatus;
        Resynchronise(cursor, out);
        return;
    }
    cursor.Take();  // the 0xF7
    out.sysExCount = count;
    if (!cursor.TakeTimestamp(out.timestamp)) {
        cursor = afterStatus;
        Resynchronise(cursor, out);
        return;
    }
    out.type = Word::systemExclusive;
    out.hasType = true;
    out.next = cursor.position;
}

}  // namespace

void ReadRecord(const uint8_t* storage, uint32_t size, uint32_t pos, uint32_t end, RawRecord& out) {
    Cursor cursor{storage, size, end, pos};
    out = RawRecord{};
    out.status = cursor.Take();
    if (out.status == kSysExStart) {
        ReadSysEx(cursor, out);
        return;
    }
    const int dataBytes = ShortDataBytes(out.status);
    if (dataBytes < 0) {
        Resynchronise(cursor, out);
        return;
    }
    const Cursor afterStatus = cursor;
    uint8_t data[2] = {0, 0};
    if (!cursor.Take(data, static_cast<uint32_t>(dataBytes))) {
        cursor = afterStatus;
        Resynchronise(cursor, out);
        return;
    }
    out.data1 = data[0];
    out.data2 = data[1];
    if (!ShortMessageType(out.status, out.data1, out.data2, out.type)) {
        Resynchronise(cursor, out);
        return;
    }
    if (!cursor.TakeTimestamp(out.timestamp)) {
        cursor = afterStatus;
        Resynchronise(cursor, out);
        return;
    }
    out.hasType = true;
    out.next = cursor.position;
}
