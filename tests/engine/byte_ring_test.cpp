#include "engine/byte_ring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

constexpr uint32_t kSize = 16;

// Moves both positions of an empty ring to `position`.
void MoveTo(ByteRing& ring, uint32_t position) {
    const uint8_t none[kSize] = {};
    uint32_t at = ring.WritePosition();
    while (at != position) {
        const uint32_t step = position > at ? position - at : kSize - at;
        at = ring.Write(at, none, step);
        ring.Publish(at);
        ring.ReleaseAll();
    }
}

TEST(ByteRingTest, WritesAndCopiesAcrossTheWrapAtEveryPosition) {
    std::vector<uint8_t> storage(kSize);
    ByteRing ring;
    for (uint32_t start = 0; start < kSize; ++start) {
        for (uint32_t count = 0; count < kSize; ++count) {
            ring.Attach(storage.data(), kSize);
            MoveTo(ring, start);
            ASSERT_EQ(ring.FreeFrom(start), kSize - 1);
            std::vector<uint8_t> bytes;
            for (uint32_t i = 0; i < count; ++i) {
                bytes.push_back(static_cast<uint8_t>(0x40 + i));
            }
            const uint32_t end = ring.Write(start, bytes.data(), count);
            ASSERT_EQ(end, (start + count) % kSize) << start << "+" << count;
            ASSERT_EQ(ring.Advance(start, count), end);
            EXPECT_FALSE(ring.Pending());  // nothing is seen before it is published
            ring.Publish(end);
            EXPECT_EQ(ring.Pending(), count != 0);
            EXPECT_EQ(ring.FreeFrom(end), kSize - 1 - count);

            std::vector<uint8_t> copy(count);
            ring.CopyOut(start, copy.data(), count);
            EXPECT_EQ(copy, bytes) << start << "+" << count;
            for (uint32_t i = 0; i < count; ++i) {
                EXPECT_EQ(*ring.At(ring.Advance(start, i)), bytes[i]);
            }
            const uint32_t toEnd = kSize - start;
            EXPECT_EQ(ring.PublishedInOnePiece(start, end),
                      count == 0 ? toEnd : std::min(count, toEnd));
            if (count <= toEnd) {
                EXPECT_EQ(ring.AdvanceInOnePiece(start, count), end);
            }

            ring.Release(end);
            EXPECT_FALSE(ring.Pending());
            EXPECT_EQ(ring.FreeFrom(end), kSize - 1);
        }
    }
}

TEST(ByteRingTest, FreeSpaceStopsOneByteShortOfTheReader) {
    std::vector<uint8_t> storage(kSize);
    ByteRing ring;
    EXPECT_EQ(ring.FreeFrom(0), 0u);  // no storage: nothing fits
    EXPECT_FALSE(ring.Pending());

    ring.Attach(storage.data(), kSize);
    struct Case {
        uint32_t read;
        uint32_t write;
        uint32_t free;
    };
    const Case cases[] = {
        {0, 0, 15}, {0, 15, 0}, {5, 4, 0}, {5, 5, 15}, {5, 6, 14}, {15, 0, 14}, {3, 10, 8},
    };
    for (const Case& c : cases) {
        ring.Attach(storage.data(), kSize);
        MoveTo(ring, c.read);
        const uint8_t fill[kSize] = {};
        const uint32_t end = ring.Write(c.read, fill, (c.write + kSize - c.read) % kSize);
        ring.Publish(end);
        EXPECT_EQ(ring.FreeFrom(end), c.free) << c.read << " " << c.write;
    }

    ring.Attach(nullptr, kSize);
    EXPECT_EQ(ring.size(), 0u);
    EXPECT_EQ(ring.FreeFrom(0), 0u);
}

}  // namespace
