// Reads a fuzz input as a stream of choices. Past the end every read gives 0,
// so any input, however short, drives a whole run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class FuzzReader {
public:
    FuzzReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return at_ >= size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t Word() {
        uint32_t word = 0;
        for (int i = 0; i < 4; ++i) {
            word = word << 8 | Byte();
        }
        return word;
    }
    // 0 .. count - 1 (count >= 1), from as few bytes as count needs.
    uint32_t Below(uint32_t count) {
        const uint32_t raw = count <= 256     ? Byte()
                             : count <= 65536 ? (Byte() << 8 | Byte())
                                              : Word();
        return raw % count;
    }
    std::vector<uint8_t> Bytes(size_t count) {
        std::vector<uint8_t> bytes;
        bytes.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            bytes.push_back(Byte());
        }
        return bytes;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};
