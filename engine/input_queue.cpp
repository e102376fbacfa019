#include "engine/input_queue.h"

#include <cstring>

#include "engine/record_format.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

constexpr uint8_t kSysExBit = 0x80;  // bit 7 of typeMask[0]
constexpr uint8_t kFirstRealTime = 0xF8;

// The data bytes (below 0x80) that `bytes` starts with, eight at a time
// while it can: sysex capture runs at the speed of this scan and two copies.
uint32_t DataRun(const uint8_t* bytes, uint32_t count) {
    uint32_t i = 0;
    for (; count - i >= 8; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, sizeof word);
        if ((word & 0x8080808080808080u) != 0) {
            break;
        }
    }
    while (i < count && bytes[i] < 0x80) {
        ++i;
    }
    return i;
}

}  // namespace

FilterMasks::FilterMasks() {
    for (int i = 0; i < 16; ++i) {
        typeMask[i].store(0xFF, kRelaxed);
        modeMask[i].store(0xFF, kRelaxed);
    }
}

InputQueue::InputQueue(const FilterMasks& masks) : masks_(masks) {}

// ------------------------------------------------------------ host thread, no capture running

StatusCode InputQueue::Allocate(HostMemoryService& memory, uint32_t requestedSize) {
    const uint32_t size = requestedSize < kMinimumSize ? kMinimumSize : requestedSize;
    if (ring_.storage() != nullptr && ring_.size() != size) {
        Free(memory);
    }
    // One block: the ring, then the assembly area for a record of size - 1
    // bytes less its timestamp.
    const uint32_t capacity = size - 1 - kTimestampBytes;
    const uint64_t blockSize = uint64_t{size} + capacity;
    uint8_t* storage = ring_.storage();
    if (storage == nullptr && blockSize <= UINT32_MAX) {
        storage = static_cast<uint8_t*>(memory.Alloc(static_cast<uint32_t>(blockSize)));
    }
    ring_.Attach(storage, size);
    sysEx_ = storage != nullptr ? storage + size : nullptr;
    sysExCapacity_ = storage != nullptr ? capacity : 0;
    overflowed_.store(false, kRelaxed);
    sysExInProgress_ = false;
    sysExLength_ = 0;
    return storage != nullptr ? kStatusOk : kStatusNoMemory;
}

void InputQueue::Free(HostMemoryService& memory) {
    if (ring_.storage() != nullptr) {
        memory.Free(ring_.storage());
    }
    // Nothing may be read from storage that is gone.
    ring_.Attach(nullptr, 0);
    sysEx_ = nullptr;
    sysExCapacity_ = 0;
    sysExInProgress_ = false;
}

void InputQueue::EndCapture() {
    if (sysExInProgress_) {
        GiveUpSysEx();
    }
}

// ------------------------------------------------------------ reader

bool InputQueue::Overflowed() {
    return overflowed_.exchange(false, kRelaxed);
}

void InputQueue::Flush() {
    ring_.ReleaseAll();
    overflowed_.store(false, kRelaxed);
}

// ------------------------------------------------------------ writer

// Inline: the capture path must not pay for calls. At least 7 bytes are free
// at `position`.
inline uint32_t InputQueue::WriteShort(uint32_t position, const ShortRecord& record,
                                       uint32_t timestamp) {
    const uint32_t length = record.length + kTimestampBytes;
    if (ring_.WritableInOnePiece(position, kLongestShortRecord)) {
        StoreShort(ring_.At(position), record, timestamp);
        return ring_.AdvanceInOnePiece(position, length);
    }
    uint8_t bytes[kLongestShortRecord] = {record.status, record.data1, record.data2};
    StoreBigEndian32(bytes + record.length, timestamp);
    return ring_.Write(position, bytes, length);
}

void InputQueue::CaptureSlow(uint8_t status, uint8_t data1, uint8_t data2, uint32_t timestamp) {
    // Any status byte but a real-time one ends a system-exclusive message:
    // this one was cut short, and is lost. Real-time messages never wait
    // for it: the message is assembled apart from the ring.
    if (sysExInProgress_ && status >= 0x80 && status < kFirstRealTime) {
        GiveUpSysEx();
    }
    CaptureShortAnywhere(status, data1, data2, timestamp);
}

void InputQueue::CaptureShortAnywhere(uint8_t status, uint8_t data1, uint8_t data2,
                                      uint32_t timestamp) {
    // Room for the longest record is asked for before filtering.
    const uint32_t write = ring_.WritePosition();
    if (ring_.FreeFrom(write) < kLongestShortRecord) {
        overflowed_.store(true, kRelaxed);
        return;
    }
    ShortRecord record;
    if (!Admit(masks_, status, data1, data2, record)) {
        return;
    }
    ring_.Publish(WriteShort(write, record, timestamp));
}

void InputQueue::CaptureSysExChunk(const uint8_t* bytes, uint32_t count, uint32_t timestamp) {
    uint32_t i = 0;
    while (i < count) {
        // Data bytes belong to the message being assembled; with none, they
        // are no message's and are dropped.
        const uint32_t run = DataRun(bytes + i, count - i);
        if (run > 0) {
            if (sysExInProgress_) {
                AppendSysEx(bytes + i, run);
            }
            i += run;
            continue;
        }
        const uint8_t status = bytes[i++];
        if (status >= kFirstRealTime) {
            CaptureShortAnywhere(status, 0, 0, timestamp);
            continue;
        }
        if (sysExInProgress_) {
            if (status == kSysExEnd) {
                AppendSysEx(&status, 1);
                if (sysExInProgress_) {
                    FinishSysEx();
                }
                continue;
            }
            GiveUpSysEx();
        }
        if (status == kSysExStart) {
            StartSysEx(timestamp);
        }
        // Other status bytes in a long buffer form no message here.
    }
}

void InputQueue::AbandonSysEx() {
    if (sysExInProgress_) {
        GiveUpSysEx();
    } else {
        overflowed_.store(true, kRelaxed);
    }
}

void InputQueue::StartSysEx(uint32_t timestamp) {
    // The filter is read once, at the message's start.
    if ((masks_.typeMask[0].load(kRelaxed) & kSysExBit) == 0) {
        return;
    }
    sysExInProgress_ = true;
    sysExTimestamp_ = timestamp;
    sysExLength_ = 0;
    const uint8_t start = kSysExStart;
    AppendSysEx(&start, 1);
}

void InputQueue::AppendSysEx(const uint8_t* bytes, uint32_t count) {
    // Longer than the ring can ever hold: lost now, not at its end.
    if (count > sysExCapacity_ - sysExLength_) {
        GiveUpSysEx();
        return;
    }
    std::memcpy(sysEx_ + sysExLength_, bytes, count);
    sysExLength_ += count;
}

void InputQueue::FinishSysEx() {
    sysExInProgress_ = false;
    const uint32_t write = ring_.WritePosition();
    if (ring_.FreeFrom(write) < sysExLength_ + kTimestampBytes) {
        overflowed_.store(true, kRelaxed);
        return;
    }
    uint8_t stamp[kTimestampBytes];
    StoreBigEndian32(stamp, sysExTimestamp_);
    const uint32_t end = ring_.Write(write, sysEx_, sysExLength_);
    ring_.Publish(ring_.Write(end, stamp, kTimestampBytes));
}

void InputQueue::GiveUpSysEx() {
    sysExInProgress_ = false;
    overflowed_.store(true, kRelaxed);
}
