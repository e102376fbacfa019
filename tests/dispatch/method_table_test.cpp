#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "host/method_table.h"
#include "tests/common/expected_method_table.h"

namespace {

// Written out line by line: the host parses this text, so every space counts.
const char* const kExpectedLines[] = {
    "xtra Tesmar -- Tesmar Xtra",
    "-- Construction and Initialisation:",
    "new object me",
    "Init object me                                   -- prepare for operation, returns errors",
    "",
    "-- Timer:",
    "GetTime object me                                -- returns internal timer time in "
    "milliseconds",
    "ResetTimer object me                             -- resets internal timer to 0",
    "",
    "-- MIDI input:",
    "GetInputPorts object me                          -- returns a list of available MIDI input "
    "ports",
    "OpenInput object me, int portNumber, int bufSize -- begin MIDI input, 1 to count( "
    "GetInputPorts() )",
    "CloseInput object me                             -- finish MIDI input",
    "",
    "SetSystemFilter object me, any messageTypes      -- filter system messages",
    "SetChannelFilter object me, any messageTypes, any channels  -- filter channel messages",
    "",
    "MessagesPending object me                        -- returns true if the input queue "
    "contains messages",
    "GetNextMessage object me                         -- retrieve next message from the input "
    "queue",
    "GetPendingMessages object me                     -- returns a list of all pending messages",
    "InputOverflowed object me                        -- returns true if the input queue has "
    "overflowed",
    "FlushInput object me                             -- flush all pending messages from the "
    "input queue",
    "",
    "-- MIDI output:",
    "GetOutputPorts object me                         -- returns a list of available MIDI "
    "output ports",
    "OpenOutput object me, int portNumber             -- begin MIDI output, 1 to count( "
    "GetOutputPorts() )",
    "CloseOutput object me                            -- finish MIDI output",
    "",
    "SendMessage object me, any message",
    "             -- send a midi message",
};

TEST(MethodTable, IsTheRegisteredTextExactly) {
    std::string expected;
    for (size_t i = 0; i < std::size(kExpectedLines); ++i) {
        expected += i == 0 ? "" : "\n";
        expected += kExpectedLines[i];
    }
    const std::string actual = kMethodTable;
    EXPECT_EQ(actual, expected);
    EXPECT_NE(actual.back(), '\n');
    for (char c : actual) {
        EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << static_cast<int>(c);
    }
}

TEST(MethodTable, MethodLinesAreNumberedAsTheHostCountsThem) {
    // The host numbers every line that is neither blank, a comment, nor the
    // xtra line; the first word is the method name.
    std::string text = kMethodTable;
    int32_t number = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos || line.compare(first, 2, "--") == 0 ||
            line.rfind("xtra ", 0) == 0) {
            continue;
        }
        ASSERT_LT(number, 18);
        EXPECT_EQ(line.substr(0, line.find(' ')), tesmar_test::kExpectedMethodNames[number]);
        ++number;
    }
    EXPECT_EQ(number, static_cast<int32_t>(Method::SendMessage) + 1);
}

}  // namespace
