// The input queue: the capture stage that turns incoming MIDI into compact
// records in a byte ring (engine/byte_ring.h), from the driver's callback
// thread (the one writer) to script calls on the host's thread (the one
// reader). No lock, no allocation on the writer's side. Record formats:
// engine/record_format.h.
#pragma once

#include <atomic>
#include <cstdint>

#include "contract/host_api.h"
#include "engine/byte_ring.h"
#include "engine/record_format.h"
#include "engine/record_reader.h"
#include "engine/status.h"

// The input filters. Written by script calls on the host's thread, read by
// capture on the driver's thread, one byte at a time (relaxed: a capture sees
// each byte either before or after a change). A set bit passes.
struct FilterMasks {
    // Bits 0-6 of entry n: channel message kinds on channel n + 1 (bit =
    // (status >> 4) & 7); bit 7 of entry n: system status 0xF0 + n.
    std::atomic<uint8_t> typeMask[16];
    // Bits 0-6 of entry n: the seven channel-mode messages on channel n + 1.
    std::atomic<uint8_t> modeMask[16];

    FilterMasks();
};
static_assert(sizeof(FilterMasks) == 32);
static_assert(std::atomic<uint8_t>::is_always_lock_free);

// A short message as it is stored: status (a note-on with velocity 0 already
// a note-off), data bytes and the record length before the timestamp.
struct ShortRecord {
    uint8_t status;
    uint8_t data1;
    uint8_t data2;
    uint8_t length;
};

// The modeMask bit of a channel-mode message (data1 122 or above); 0 for
// none. Local control passes only as off (0) or on (127).
constexpr uint8_t ChannelModeBit(uint8_t data1, uint8_t data2) {
    if (data1 >= 128) {
        return 0;
    }
    if (data1 == 122) {
        return data2 == 0 ? 0x01 : data2 == 127 ? 0x02 : 0;
    }
    return static_cast<uint8_t>(1u << (data1 - 121));
}

// The filters: false when the message is not stored, else `out` filled in.
inline bool Admit(const FilterMasks& masks, uint8_t status, uint8_t data1, uint8_t data2,
                  ShortRecord& out) {
    uint8_t bit;
    uint8_t mask;
    if (IsChannelMode(status, data1)) [[unlikely]] {
        bit = ChannelModeBit(data1, data2);
        mask = masks.modeMask[status & 0x0F].load(std::memory_order_relaxed);
    } else {
        if ((status & 0xF0) == 0x90 && data2 == 0) {
            status &= 0xEF;  // note-on with velocity 0 is a note-off
        }
        bit = static_cast<uint8_t>(1u << ((status >> 4) & 7));
        mask = masks.typeMask[status & 0x0F].load(std::memory_order_relaxed);
    }
    const int dataBytes = kShortDataBytes.bytes[status];
    if ((mask & bit) == 0 || dataBytes < 0) {
        return false;
    }
    out = ShortRecord{status, data1, data2, static_cast<uint8_t>(1 + dataBytes)};
    return true;
}

class InputQueue {
public:
    static constexpr uint32_t kMinimumSize = 1024;

    explicit InputQueue(const FilterMasks& masks);
    InputQueue(const InputQueue&) = delete;
    InputQueue& operator=(const InputQueue&) = delete;

    // ---- host thread, only while no capture can run (no input device open)
    // A ring of at least 1024 bytes, and beside it, in the same block, room
    // to assemble the longest system-exclusive message the ring can hold
    // (size - 5 bytes): the block is about twice the ring. A block of the
    // same size is reused. Empties the queue and clears the overflow flag.
    // 0, or 16 when no memory is left.
    StatusCode Allocate(HostMemoryService& memory, uint32_t requestedSize);
    void Free(HostMemoryService& memory);

    // ---- host thread (the reader)
    bool Overflowed();  // reads and clears the flag in one exchange
    // Discards every published record; a system-exclusive message being
    // assembled is not published yet, and survives.
    void Flush();
    bool Pending() const { return ring_.Pending(); }
    // The oldest published record, left in place: its bytes stay the
    // reader's until Consume. False when there is none.
    bool Peek(RawRecord& record) const {
        const uint32_t read = ring_.ReadPosition();
        const uint32_t end = ring_.PublishedEnd();
        if (read == end) {
            return false;
        }
        if (!ReadPlainShortRecord(ring_, read, end, record)) {
            ReadRecord(ring_, read, end, record);
        }
        return true;
    }
    void Consume(const RawRecord& record) { ring_.Release(record.next); }
    // Bytes [from, from + count) of a peeked system-exclusive record's data
    // (those counted by sysExCount), into `out`.
    void CopySysEx(const RawRecord& record, uint32_t from, uint8_t* out, uint32_t count) const {
        ring_.CopyOut(ring_.Advance(record.sysExFirst, from), out, count);
    }

    // ---- driver callback thread (the writer), one call at a time
    void CaptureShortMessage(uint8_t status, uint8_t data1, uint8_t data2, uint32_t timestamp) {
        // Inline common case: no message being assembled, not a channel-mode
        // message, and room for the longest record before the end of storage.
        // The rest: CaptureSlow.
        const uint32_t write = ring_.WritePosition();
        if (sysExInProgress_ || IsChannelMode(status, data1) ||
            !ring_.WritableInOnePiece(write, kLongestShortRecord)) {
            CaptureSlow(status, data1, data2, timestamp);
            return;
        }
        ShortRecord record;
        if (!Admit(masks_, status, data1, data2, record)) {
            return;
        }
        StoreShort(ring_.At(write), record, timestamp);
        ring_.Publish(ring_.AdvanceInOnePiece(write, record.length + kTimestampBytes));
    }
    // A buffer of system-exclusive input as the driver handed it back, any
    // length (0 included), and the time it arrived. Only its bytes tell
    // where a message ends: 0xF7 completes it; any other status byte below
    // 0xF8 gives it up (flagged); real-time bytes (0xF8 and above) are
    // messages of their own, captured at once with the buffer's time. A
    // message takes the time of the buffer its 0xF0 came in.
    void CaptureSysExChunk(const uint8_t* bytes, uint32_t count, uint32_t timestamp);
    // The driver's two kinds of buffer, by their first byte: the same rules.
    void CaptureSysExStart(const uint8_t* bytes, uint32_t count, uint32_t timestamp) {
        CaptureSysExChunk(bytes, count, timestamp);
    }
    void CaptureSysExContinue(const uint8_t* bytes, uint32_t count, uint32_t timestamp) {
        CaptureSysExChunk(bytes, count, timestamp);
    }
    // A buffer of this queue's input was lost (dropped, or handed back with a
    // long error): gives up the message being assembled, and sets the
    // overflow flag either way.
    void AbandonSysEx();

    // ---- host thread, after the device is closed and no callback runs:
    // takes over the writer's role to give up a message left unfinished.
    void EndCapture();

    // The ring's bytes, for tests that damage records; nullptr before Allocate.
    uint8_t* storage() const { return ring_.storage(); }
    uint32_t size() const { return ring_.size(); }

private:
    // The bytes a shorter record lacks land in free space and are
    // overwritten: `out` has room for the longest record. Straight into the
    // ring: a record assembled on the stack costs a store-forwarding stall.
    static void StoreShort(uint8_t* out, const ShortRecord& record, uint32_t timestamp) {
        out[0] = record.status;
        out[1] = record.data1;
        out[2] = record.data2;
        StoreBigEndian32(out + record.length, timestamp);
    }
    void CaptureSlow(uint8_t status, uint8_t data1, uint8_t data2, uint32_t timestamp);
    // The space rule, the filters, the record: everything but the fast path.
    void CaptureShortAnywhere(uint8_t status, uint8_t data1, uint8_t data2, uint32_t timestamp);
    uint32_t WriteShort(uint32_t position, const ShortRecord& record, uint32_t timestamp);
    void StartSysEx(uint32_t timestamp);
    void AppendSysEx(const uint8_t* bytes, uint32_t count);
    void FinishSysEx();
    void GiveUpSysEx();

    const FilterMasks& masks_;
    ByteRing ring_;
    // Set only by the writer, cleared only by the reader (exchange).
    std::atomic<bool> overflowed_{false};
    // Writer-only: the system-exclusive message being assembled, apart from
    // the ring, so that nothing waits behind it; copied in whole at its 0xF7.
    uint8_t* sysEx_ = nullptr;
    uint32_t sysExCapacity_ = 0;  // the longest message the ring can hold
    uint32_t sysExLength_ = 0;
    uint32_t sysExTimestamp_ = 0;
    bool sysExInProgress_ = false;
};
