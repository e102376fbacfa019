// The input queue: a byte ring of compact records that carries incoming MIDI
// from the driver's callback thread (the one writer) to script calls on the
// host's thread (the one reader). No lock, no allocation on the writer's side.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/status.h"
#include "host/host_api.h"

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

class InputQueue {
public:
    explicit InputQueue(const FilterMasks& masks);
    InputQueue(const InputQueue&) = delete;
    InputQueue& operator=(const InputQueue&) = delete;

    // ---- host thread, only while no capture can run (no input device open)
    // At least 1024 bytes; storage of the same size is reused. 0 or 16.
    StatusCode Allocate(HostMemoryService& memory, uint32_t requestedSize);
    void Free(HostMemoryService& memory);

    // ---- host thread (the reader)
    bool Overflowed();  // reads and clears the flag in one exchange
    void Flush();       // discards every published record
    bool Pending() const;

    // ---- driver callback thread (the writer), one call at a time
    void CaptureShortMessage(uint8_t status, uint8_t data1, uint8_t data2, uint32_t timestamp);
    void CaptureSysExStart(const uint8_t* bytes, uint32_t count, uint32_t timestamp);
    void CaptureSysExContinue(const uint8_t* bytes, uint32_t count);
    // A chunk of the message being assembled was lost: drop the message, set
    // the overflow flag, publish what was held back behind it.
    void AbandonSysEx();

    // ---- host thread, after the device is closed and no callback runs:
    // takes over the writer's role to leave nothing half-assembled or held back.
    void EndCapture();

    // Storage and positions; see input_queue.cpp for the record formats.
    uint8_t* storage() const { return storage_; }
    uint32_t size() const { return size_; }

private:
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
    // Writer-only state of the system-exclusive message being assembled.
    bool sysExInProgress_ = false;
    uint32_t sysExCursor_ = 0;
    uint32_t sysExTimestamp_ = 0;
};
