#include "engine/input_queue.h"

#include <cstring>

#include "engine/record_format.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

constexpr uint8_t kSysExBit = 0x80;  // bit 7 of typeMask[0]
constexpr uint8_t kFirstRealTime = 0xF8;

constexpr bool IsStatus(uint8_t byte) {
    return byte >= 0x80;
}

// Where a system-exclusive message's data, from `from` on, end: at the first
// status byte other than a real-time one, which may come anywhere. `count`
// when the chunk holds none.
uint32_t EndOfSysExData(const uint8_t* bytes, uint32_t from, uint32_t count) {
    for (uint32_t i = from; i < count; ++i) {
        if (IsStatus(bytes[i]) && bytes[i] < kFirstRealTime) {
            return i;
        }
    }
    return count;
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
    uint8_t* storage = ring_.storage();
    if (storage == nullptr) {
        storage = static_cast<uint8_t*>(memory.Alloc(size));
    }
    ring_.Attach(storage, size);
    overflowed_.store(false, kRelaxed);
    sysExInProgress_ = false;
    sysExCursor_ = 0;
    heldCount_ = 0;
    return storage != nullptr ? kStatusOk : kStatusNoMemory;
}

void InputQueue::Free(HostMemoryService& memory) {
    if (ring_.storage() != nullptr) {
        memory.Free(ring_.storage());
    }
    // Nothing may be read from storage that is gone.
    ring_.Attach(nullptr, 0);
    sysExInProgress_ = false;
    heldCount_ = 0;
}

void InputQueue::EndCapture() {
    if (sysExInProgress_) {
        GiveUpSysEx();
    } else {
        PublishHeldBack();
    }
}

// ------------------------------------------------------------ reader

bool InputQueue::Overflowed() {
    return overflowed_.exchange(false, kRelaxed);
}

void InputQueue::Flush() {
    ring_.ReleaseAll();
    overflowed_.store(false, kRelaxed);
    flushes_.fetch_add(1, kRelaxed);
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
    ShortRecord record;
    if (sysExInProgress_) {
        if (IsStatus(status) && status < kFirstRealTime) {
            // Any status byte but a real-time one ends a system-exclusive
            // message: this one was cut short, and is lost.
            GiveUpSysEx();
        } else {
            // The unfinished message's bytes lie at the write position: hold
            // this one back and publish it right after that message.
            if (!Admit(masks_, status, data1, data2, record)) {
                return;
            }
            if (heldCount_ == kHeldBackCapacity) {
                overflowed_.store(true, kRelaxed);
                return;
            }
            held_[heldCount_++] = HeldMessage{record, timestamp, flushes_.load(kRelaxed)};
            return;
        }
    }
    // Room for the longest record is asked for before filtering.
    const uint32_t write = ring_.WritePosition();
    if (ring_.FreeFrom(write) < kLongestShortRecord) {
        overflowed_.store(true, kRelaxed);
        return;
    }
    if (!Admit(masks_, status, data1, data2, record)) {
        return;
    }
    ring_.Publish(WriteShort(write, record, timestamp));
}

void InputQueue::CaptureSysExStart(const uint8_t* bytes, uint32_t count, uint32_t timestamp) {
    ConsumeSysExChunk(bytes, count, timestamp);
}

void InputQueue::CaptureSysExContinue(const uint8_t* bytes, uint32_t count, uint32_t timestamp) {
    ConsumeSysExChunk(bytes, count, timestamp);
}

void InputQueue::CutSysEx() {
    if (sysExInProgress_) {
        GiveUpSysEx();
    }
}

void InputQueue::AbandonSysEx() {
    if (sysExInProgress_) {
        GiveUpSysEx();
    } else {
        overflowed_.store(true, kRelaxed);
    }
}

// The message being assembled runs up to the chunk's first status byte other
// than a real-time one: 0xF7 completes it, any other cuts it short. After
// that every 0xF0 ... 0xF7 becomes its own record, bytes outside such a span
// are dropped, and a trailing 0xF0 ... starts a message to assemble.
void InputQueue::ConsumeSysExChunk(const uint8_t* bytes, uint32_t count, uint32_t timestamp) {
    uint32_t i = 0;
    if (sysExInProgress_) {
        const uint32_t end = EndOfSysExData(bytes, 0, count);
        if (end == count) {
            ContinueSysEx(bytes, count, false);
            return;
        }
        if (bytes[end] == kSysExEnd) {
            ContinueSysEx(bytes, end + 1, true);
            i = end + 1;
        } else {
            GiveUpSysEx();
            i = end;
        }
    }
    while (i < count) {
        while (i < count && bytes[i] != kSysExStart) {
            ++i;
        }
        if (i == count) {
            return;
        }
        const uint32_t end = EndOfSysExData(bytes, i + 1, count);
        const bool complete = end < count && bytes[end] == kSysExEnd;
        const uint32_t stop = complete ? end + 1 : end;
        StartSysEx(bytes + i, stop - i, complete, timestamp);
        if (!complete && end < count) {
            CutSysEx();  // cut short inside this very chunk
        }
        i = stop;
    }
}

void InputQueue::StartSysEx(const uint8_t* bytes, uint32_t count, bool complete,
                            uint32_t timestamp) {
    sysExTimestamp_ = timestamp;
    const uint32_t write = ring_.WritePosition();
    sysExCursor_ = write;
    // Space before filter, as for short messages.
    if (uint64_t{ring_.FreeFrom(write)} < uint64_t{count} + kTimestampBytes) {
        overflowed_.store(true, kRelaxed);
        return;
    }
    if ((masks_.typeMask[0].load(kRelaxed) & kSysExBit) == 0) {
        return;
    }
    sysExCursor_ = ring_.Write(write, bytes, count);
    if (complete) {
        FinishSysEx();
    } else {
        sysExInProgress_ = true;
    }
}

void InputQueue::ContinueSysEx(const uint8_t* bytes, uint32_t count, bool complete) {
    if (uint64_t{ring_.FreeFrom(sysExCursor_)} < uint64_t{count} + kTimestampBytes) {
        GiveUpSysEx();
        return;
    }
    sysExCursor_ = ring_.Write(sysExCursor_, bytes, count);
    if (complete) {
        FinishSysEx();
    }
}

// The space for the timestamp was asked for with the last chunk.
void InputQueue::FinishSysEx() {
    uint8_t stamp[kTimestampBytes];
    StoreBigEndian32(stamp, sysExTimestamp_);
    ring_.Publish(ring_.Write(sysExCursor_, stamp, kTimestampBytes));
    sysExInProgress_ = false;
    PublishHeldBack();
}

void InputQueue::GiveUpSysEx() {
    sysExInProgress_ = false;
    overflowed_.store(true, kRelaxed);
    PublishHeldBack();
}

void InputQueue::PublishHeldBack() {
    if (heldCount_ == 0) {
        return;
    }
    uint32_t write = ring_.WritePosition();
    const uint32_t flushes = flushes_.load(kRelaxed);
    for (uint32_t i = 0; i < heldCount_; ++i) {
        if (held_[i].flushes != flushes) {
            continue;  // arrived before a FlushInput
        }
        if (ring_.FreeFrom(write) < kLongestShortRecord) {
            overflowed_.store(true, kRelaxed);
            continue;
        }
        write = WriteShort(write, held_[i].record, held_[i].timestamp);
    }
    heldCount_ = 0;
    ring_.Publish(write);
}
