#include "engine/input_queue.h"

#include <cstring>

#include "engine/record_format.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr auto kAcquire = std::memory_order_acquire;
constexpr auto kRelease = std::memory_order_release;

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
    if (storage_ != nullptr && size_ != size) {
        Free(memory);
    }
    if (storage_ == nullptr) {
        storage_ = static_cast<uint8_t*>(memory.Alloc(size));
        size_ = storage_ != nullptr ? size : 0;
    }
    readPos_.store(0, kRelaxed);
    writePos_.store(0, kRelaxed);
    overflowed_.store(false, kRelaxed);
    sysExInProgress_ = false;
    sysExCursor_ = 0;
    heldCount_ = 0;
    return storage_ != nullptr ? kStatusOk : kStatusNoMemory;
}

void InputQueue::Free(HostMemoryService& memory) {
    if (storage_ != nullptr) {
        memory.Free(storage_);
    }
    storage_ = nullptr;
    size_ = 0;
    // Nothing may be read from storage that is gone.
    readPos_.store(0, kRelaxed);
    writePos_.store(0, kRelaxed);
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
    readPos_.store(writePos_.load(kAcquire), kRelease);
    overflowed_.store(false, kRelaxed);
    flushes_.fetch_add(1, kRelaxed);
}

bool InputQueue::Pending() const {
    return readPos_.load(kRelaxed) != writePos_.load(kAcquire);
}

bool InputQueue::Peek(RawRecord& record) const {
    const uint32_t read = readPos_.load(kRelaxed);
    const uint32_t end = writePos_.load(kAcquire);
    if (read == end) {
        return false;
    }
    ReadRecord(storage_, size_, read, end, record);
    return true;
}

void InputQueue::Consume(const RawRecord& record) {
    readPos_.store(record.next, kRelease);
}

// ------------------------------------------------------------ writer

// Inline: the capture path must not pay for calls.

// Bytes that can be written from `position` on without reaching readPos.
inline uint32_t InputQueue::FreeFrom(uint32_t position) const {
    if (size_ == 0) {
        return 0;
    }
    const uint32_t read = readPos_.load(kAcquire);
    return read > position ? read - position - 1 : size_ - (position - read) - 1;
}

inline uint32_t InputQueue::Advance(uint32_t position, uint32_t count) const {
    const uint32_t toEnd = size_ - position;
    return count >= toEnd ? count - toEnd : position + count;
}

inline uint32_t InputQueue::Write(uint32_t position, const uint8_t* bytes, uint32_t count) {
    const uint32_t toEnd = size_ - position;
    if (count < toEnd) {
        std::memcpy(storage_ + position, bytes, count);
        return position + count;
    }
    std::memcpy(storage_ + position, bytes, toEnd);
    std::memcpy(storage_, bytes + toEnd, count - toEnd);
    return count - toEnd;
}

inline uint32_t InputQueue::WriteShort(uint32_t position, const HeldMessage& message) {
    const uint32_t length = message.length + kTimestampBytes;
    // At least 7 bytes are free here, so the data bytes a shorter record does
    // not have may be written into free space and then overwritten. Straight
    // into the ring: a record assembled on the stack costs a store-forwarding stall.
    if (size_ - position >= kLongestShortRecord) {
        uint8_t* out = storage_ + position;
        out[0] = message.status;
        out[1] = message.data1;
        out[2] = message.data2;
        StoreBigEndian32(out + message.length, message.timestamp);
        return Advance(position, length);
    }
    uint8_t record[kLongestShortRecord] = {message.status, message.data1, message.data2};
    StoreBigEndian32(record + message.length, message.timestamp);
    return Write(position, record, length);
}

namespace {

// Applies the filters: false when the message is not stored. Fills in the
// status to store (a note-on with velocity 0 becomes a note-off) and the
// record length before the timestamp.
template <typename Held>
bool Admit(const FilterMasks& masks, uint8_t status, uint8_t data1, uint8_t data2, Held& out) {
    const uint8_t channel = status & 0x0F;
    if ((status & 0xF0) == 0xB0 && data1 >= 122) {
        uint8_t bit;
        if (data1 >= 128) {
            return false;
        } else if (data1 == 122) {
            if (data2 == 0) {
                bit = 0x01;
            } else if (data2 == 127) {
                bit = 0x02;
            } else {
                return false;
            }
        } else {
            bit = static_cast<uint8_t>(1u << (data1 - 121));
        }
        if ((masks.modeMask[channel].load(kRelaxed) & bit) == 0) {
            return false;
        }
    } else {
        if ((status & 0xF0) == 0x90 && data2 == 0) {
            status &= 0xEF;
        }
        const uint8_t bit = static_cast<uint8_t>(1u << ((status >> 4) & 7));
        if ((masks.typeMask[channel].load(kRelaxed) & bit) == 0) {
            return false;
        }
    }
    const int dataBytes = kShortDataBytes.bytes[status];
    if (dataBytes < 0) {
        return false;
    }
    out.status = status;
    out.data1 = data1;
    out.data2 = data2;
    out.length = static_cast<uint8_t>(1 + dataBytes);
    return true;
}

}  // namespace

void InputQueue::CaptureSlow(uint8_t status, uint8_t data1, uint8_t data2, uint32_t timestamp) {
    HeldMessage message;
    message.timestamp = timestamp;
    if (sysExInProgress_) {
        if (IsStatus(status) && status < kFirstRealTime) {
            // Any status byte but a real-time one ends a system-exclusive
            // message: this one was cut short, and is lost.
            GiveUpSysEx();
        } else {
            // The unfinished message's bytes lie at writePos: hold this one
            // back and publish it right after that message.
            if (!Admit(masks_, status, data1, data2, message)) {
                return;
            }
            if (heldCount_ == kHeldBackCapacity) {
                overflowed_.store(true, kRelaxed);
                return;
            }
            message.flushes = flushes_.load(kRelaxed);
            held_[heldCount_++] = message;
            return;
        }
    }
    // Room for the longest record is asked for before filtering.
    const uint32_t write = writePos_.load(kRelaxed);
    if (FreeFrom(write) < kLongestShortRecord) {
        overflowed_.store(true, kRelaxed);
        return;
    }
    if (!Admit(masks_, status, data1, data2, message)) {
        return;
    }
    writePos_.store(WriteShort(write, message), kRelease);
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
    const uint32_t write = writePos_.load(kRelaxed);
    sysExCursor_ = write;
    // Space before filter, as for short messages.
    if (uint64_t{FreeFrom(write)} < uint64_t{count} + kTimestampBytes) {
        overflowed_.store(true, kRelaxed);
        return;
    }
    if ((masks_.typeMask[0].load(kRelaxed) & kSysExBit) == 0) {
        return;
    }
    sysExCursor_ = Write(write, bytes, count);
    if (complete) {
        FinishSysEx();
    } else {
        sysExInProgress_ = true;
    }
}

void InputQueue::ContinueSysEx(const uint8_t* bytes, uint32_t count, bool complete) {
    if (uint64_t{FreeFrom(sysExCursor_)} < uint64_t{count} + kTimestampBytes) {
        GiveUpSysEx();
        return;
    }
    sysExCursor_ = Write(sysExCursor_, bytes, count);
    if (complete) {
        FinishSysEx();
    }
}

// The space for the timestamp was asked for with the last chunk.
void InputQueue::FinishSysEx() {
    uint8_t stamp[kTimestampBytes];
    StoreBigEndian32(stamp, sysExTimestamp_);
    writePos_.store(Write(sysExCursor_, stamp, kTimestampBytes), kRelease);
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
    uint32_t write = writePos_.load(kRelaxed);
    const uint32_t flushes = flushes_.load(kRelaxed);
    for (uint32_t i = 0; i < heldCount_; ++i) {
        if (held_[i].flushes != flushes) {
            continue;  // arrived before a FlushInput
        }
        if (FreeFrom(write) < kLongestShortRecord) {
            overflowed_.store(true, kRelaxed);
            continue;
        }
        write = WriteShort(write, held_[i]);
    }
    heldCount_ = 0;
    writePos_.store(write, kRelease);
}
