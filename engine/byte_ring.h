// A single-producer single-consumer ring of bytes. It knows nothing of what
// the bytes mean: storage, positions, free space and the wrap-around
// arithmetic live here and nowhere else. The writer writes ahead of its
// position and publishes; the reader reads between its position and the
// published end, then releases what it has used.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>

class ByteRing {
public:
    // ---- owner, only while neither side runs
    // Takes `storage` of `size` bytes (nullptr and 0: none), empty.
    void Attach(uint8_t* storage, uint32_t size) {
        storage_ = storage;
        size_ = storage != nullptr ? size : 0;
        readPos_.store(0, std::memory_order_relaxed);
        writePos_.store(0, std::memory_order_relaxed);
    }
    uint8_t* storage() const { return storage_; }
    uint32_t size() const { return size_; }

    // ---- either side: arithmetic only, no position is read
    // `position` moved on by `count` (< size) bytes.
    uint32_t Advance(uint32_t position, uint32_t count) const {
        const uint32_t toEnd = size_ - position;
        return count >= toEnd ? count - toEnd : position + count;
    }
    // The same for `count` bytes that lie before the end of storage.
    uint32_t AdvanceInOnePiece(uint32_t position, uint32_t count) const {
        const uint32_t next = position + count;
        return next == size_ ? 0 : next;
    }
    uint8_t* At(uint32_t position) const { return storage_ + position; }

    // ---- the writer
    uint32_t WritePosition() const { return writePos_.load(std::memory_order_relaxed); }
    // Bytes that can be written from `position` on without reaching the
    // reader's position.
    uint32_t FreeFrom(uint32_t position) const {
        return size_ == 0 ? 0 : FreeBetween(position, readPos_.load(std::memory_order_acquire));
    }
    // Whether `count` bytes can be written at `position` without reaching
    // the reader's position or wrapping.
    bool WritableInOnePiece(uint32_t position, uint32_t count) const {
        const uint32_t read = readPos_.load(std::memory_order_acquire);
        return size_ - position >= count && FreeBetween(position, read) >= count;
    }
    // Writes `count` free bytes at `position`; returns the position after them.
    uint32_t Write(uint32_t position, const uint8_t* bytes, uint32_t count) {
        if (count == 0) {
            return position;  // `bytes` may be null then, which memcpy may not take
        }
        const uint32_t toEnd = size_ - position;
        if (count < toEnd) {
            std::memcpy(storage_ + position, bytes, count);
            return position + count;
        }
        std::memcpy(storage_ + position, bytes, toEnd);
        std::memcpy(storage_, bytes + toEnd, count - toEnd);
        return count - toEnd;
    }
    // Hands the reader every byte written before `end`.
    void Publish(uint32_t end) { writePos_.store(end, std::memory_order_release); }

    // ---- the reader
    uint32_t ReadPosition() const { return readPos_.load(std::memory_order_relaxed); }
    uint32_t PublishedEnd() const { return writePos_.load(std::memory_order_acquire); }
    bool Pending() const { return ReadPosition() != PublishedEnd(); }
    // Published bytes from `position` before the end of storage or `end`.
    uint32_t PublishedInOnePiece(uint32_t position, uint32_t end) const {
        return end > position ? end - position : size_ - position;
    }
    void CopyOut(uint32_t position, uint8_t* out, uint32_t count) const {
        if (count == 0) {
            return;
        }
        const uint32_t toEnd = size_ - position;
        if (count <= toEnd) {
            std::memcpy(out, storage_ + position, count);
            return;
        }
        std::memcpy(out, storage_ + position, toEnd);
        std::memcpy(out + toEnd, storage_, count - toEnd);
    }
    // Gives the bytes before `position` back to the writer, once read.
    void Release(uint32_t position) { readPos_.store(position, std::memory_order_release); }
    void ReleaseAll() { Release(PublishedEnd()); }

private:
    // One byte always stays free to tell a full ring from an empty one.
    uint32_t FreeBetween(uint32_t write, uint32_t read) const {
        const uint32_t wrapped = read > write ? 0 : size_;
        return wrapped + read - write - 1;
    }

    uint8_t* storage_ = nullptr;
    uint32_t size_ = 0;
    // One writer thread and one reader thread. readPos is stored only by the
    // reader, writePos only by the writer. Each side loads its own position
    // relaxed and the other's with acquire, and stores its own with release
    // after the bytes it covers: the reader sees published bytes whole, the
    // writer never overwrites bytes the reader is still using.
    std::atomic<uint32_t> readPos_{0};
    std::atomic<uint32_t> writePos_{0};
};
static_assert(std::atomic<uint32_t>::is_always_lock_free);
