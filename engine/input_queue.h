// The input queue: a byte ring of compact records that carries incoming MIDI
// from the driver's callback thread (the one writer) to script calls on the
// host's thread (the one reader). No lock, no allocation on the writer's side.
// Record formats: engine/record_format.h.
#pragma once

#include <atomic>
#include <cstdint>

#include "contract/host_api.h"
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
static_assert(std::atomic<uint32_t>::is_always_lock_free);

class InputQueue {
public:
    static constexpr uint32_t kMinimumSize = 1024;
    // Short messages that arrive while a system-exclusive message is being
    // assembled wait here until it is published or given up.
    static constexpr uint32_t kHeldBackCapacity = 64;

    explicit InputQueue(const FilterMasks& masks);
    InputQueue(const InputQueue&) = delete;
    InputQueue& operator=(const InputQueue&) = delete;

    // ---- host thread, only while no capture can run (no input device open)
    // At least 1024 bytes; storage of the same size is reused. Empties the
    // queue and clears the overflow flag. 0, or 16 when no memory is left.
    StatusCode Allocate(HostMemoryService& memory, uint32_t requestedSize);
    void Free(HostMemoryService& memory);

    // ---- host thread (the reader)
    bool Overflowed();  // reads and clears the flag in one exchange
    // Discards every published record and the short messages held back
    // behind a message being assembled; that message itself survives.
    void Flush();
    bool Pending() const;
    // Reads the oldest published record and consumes it; false when empty.
    bool ReadNext(RawRecord& record) {
        const uint32_t read = readPos_.load(std::memory_order_relaxed);
        const uint32_t end = writePos_.load(std::memory_order_acquire);
        if (read == end) {
            return false;
        }
        if (!ReadPlainShortRecord(storage_, size_, read, end, record)) {
            ReadRecord(storage_, size_, read, end, record);
        }
        readPos_.store(record.next, std::memory_order_release);
        return true;
    }
    // The same in two steps, for a reader that must finish its work on the
    // record before the writer may reuse its bytes.
    bool Peek(RawRecord& record) const;
    void Consume(const RawRecord& record);

    // ---- driver callback thread (the writer), one call at a time
    void CaptureShortMessage(uint8_t status, uint8_t data1, uint8_t data2, uint32_t timestamp) {
        // Inline common case: no message being assembled, 7 bytes free before
        // the end of storage, not a channel-mode message. The rest: CaptureSlow.
        const uint32_t write = writePos_.load(std::memory_order_relaxed);
        const uint32_t read = readPos_.load(std::memory_order_acquire);
        const uint32_t free = read > write ? read - write - 1 : size_ - (write - read) - 1;
        if (sysExInProgress_ || size_ - write < kLongestShortRecord || free < kLongestShortRecord ||
            ((status & 0xF0) == 0xB0 && data1 >= 122)) {
            CaptureSlow(status, data1, data2, timestamp);
            return;
        }
        if ((status & 0xF0) == 0x90 && data2 == 0) {
            status &= 0xEF;  // note-on with velocity 0 is a note-off
        }
        const uint8_t bit = static_cast<uint8_t>(1u << ((status >> 4) & 7));
        const int dataBytes = kShortDataBytes.bytes[status];
        if ((masks_.typeMask[status & 0x0F].load(std::memory_order_relaxed) & bit) == 0 ||
            dataBytes < 0) {
            return;
        }
        // The bytes a shorter record lacks land in free space and are overwritten.
        uint8_t* out = storage_ + write;
        out[0] = status;
        out[1] = data1;
        out[2] = data2;
        StoreBigEndian32(out + 1 + dataBytes, timestamp);
        const uint32_t next = write + static_cast<uint32_t>(1 + dataBytes) + kTimestampBytes;
        writePos_.store(next == size_ ? 0 : next, std::memory_order_release);
    }
    // A chunk whose first byte is 0xF0 (`count` >= 1), and the time it arrived.
    void CaptureSysExStart(const uint8_t* bytes, uint32_t count, uint32_t timestamp);
    // A chunk whose first byte is not 0xF0 (`count` >= 1), and the time it
    // arrived: a message that begins inside it takes that time.
    void CaptureSysExContinue(const uint8_t* bytes, uint32_t count, uint32_t timestamp);
    // The driver ended the transmission (it handed back a buffer it had not
    // filled): a message still being assembled is lost, the overflow flag
    // says so and what was held back behind it is published. Nothing happens
    // when no message is being assembled.
    void CutSysEx();
    // A chunk of this queue's input was lost (dropped, or handed back with a
    // long error): gives up the message being assembled, sets the overflow
    // flag and publishes what was held back behind it.
    void AbandonSysEx();

    // ---- host thread, after the device is closed and no callback runs:
    // takes over the writer's role to leave nothing half-assembled or held back.
    void EndCapture();

    // Storage and positions; see engine/record_format.h for the record formats.
    uint8_t* storage() const { return storage_; }
    uint32_t size() const { return size_; }

private:
    struct HeldMessage {
        uint8_t status;
        uint8_t data1;
        uint8_t data2;
        uint8_t length;  // record bytes before the timestamp
        uint32_t timestamp;
        uint32_t flushes;  // Flush calls seen when it arrived
    };

    void CaptureSlow(uint8_t status, uint8_t data1, uint8_t data2, uint32_t timestamp);
    uint32_t FreeFrom(uint32_t position) const;
    uint32_t Advance(uint32_t position, uint32_t count) const;
    uint32_t Write(uint32_t position, const uint8_t* bytes, uint32_t count);
    uint32_t WriteShort(uint32_t position, const HeldMessage& message);
    void ConsumeSysExChunk(const uint8_t* bytes, uint32_t count, uint32_t timestamp);
    void StartSysEx(const uint8_t* bytes, uint32_t count, bool complete, uint32_t timestamp);
    void ContinueSysEx(const uint8_t* bytes, uint32_t count, bool complete);
    void FinishSysEx();
    void GiveUpSysEx();
    void PublishHeldBack();

    const FilterMasks& masks_;
    uint8_t* storage_ = nullptr;
    uint32_t size_ = 0;
    // readPos: written only by the reader; writePos: written only by the writer.
    // Each side loads its own position relaxed and the other's with acquire,
    // and publishes its own with release after the bytes it covers.
    std::atomic<uint32_t> readPos_{0};
    std::atomic<uint32_t> writePos_{0};
    // Set only by the writer, cleared only by the reader (exchange).
    std::atomic<bool> overflowed_{false};
    // Counted up only by the reader's Flush; the writer drops what it held
    // back before the count moved. It guards no bytes, so relaxed is enough.
    std::atomic<uint32_t> flushes_{0};
    // Writer-only state of the system-exclusive message being assembled.
    bool sysExInProgress_ = false;
    uint32_t sysExCursor_ = 0;
    uint32_t sysExTimestamp_ = 0;
    uint32_t heldCount_ = 0;
    HeldMessage held_[kHeldBackCapacity] = {};
};
