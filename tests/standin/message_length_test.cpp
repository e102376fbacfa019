// The one table of wire lengths the stand-ins share.
#include <gtest/gtest.h>

#include "standin/message_length.h"

namespace {

TEST(MessageLength, EveryStatusByte) {
    struct Range {
        int from, to;
        uint32_t length;
    };
    const Range ranges[] = {
        {0x00, 0x7F, 0},  // data bytes start nothing
        {0x80, 0xBF, 3}, {0xC0, 0xDF, 2}, {0xE0, 0xEF, 3}, {0xF0, 0xF0, 0}, {0xF1, 0xF1, 2},
        {0xF2, 0xF2, 3}, {0xF3, 0xF3, 2}, {0xF4, 0xF6, 1}, {0xF7, 0xF7, 0}, {0xF8, 0xFF, 1},
    };
    int covered = 0;
    for (const Range& range : ranges) {
        for (int status = range.from; status <= range.to; ++status, ++covered) {
            EXPECT_EQ(standin::WireLength(static_cast<uint8_t>(status)), range.length) << status;
        }
    }
    EXPECT_EQ(covered, 256);
    for (int status : {0xF4, 0xF5, 0xF9, 0xFD}) {
        EXPECT_TRUE(standin::IsUndefinedStatus(static_cast<uint8_t>(status)));
    }
    EXPECT_FALSE(standin::IsUndefinedStatus(0xF6));
    EXPECT_FALSE(standin::IsUndefinedStatus(0xF8));
}

}  // namespace
