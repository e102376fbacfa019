// Reading a method table as the host does: the loader's method numbers and
// the console's argument counts come from this one reader.
#include <gtest/gtest.h>

#include "host/method_table.h"
#include "hostsim/method_table.h"

namespace {

TEST(MethodTable, MethodLinesAreNumberedInOrderWithTheirParameters) {
    struct Case {
        const char* text;
        std::vector<std::string> names;
        std::vector<int32_t> parameters;
        const char* xtra;
    };
    const Case cases[] = {
        {"xtra Foo -- comment\nnew object me\nBar object me, int x -- does bar, and baz",
         {"new", "Bar"},
         {0, 1},
         "Foo"},
        {"xtra Foo\n-- a comment line\n\n   \nA object me\n\n--B object me\nC",
         {"A", "C"},
         {0, 0},
         "Foo"},
        {"xtra Foo\nA object me\n             -- continued comment\nB object me, a, b",
         {"A", "B"},
         {0, 2},
         "Foo"},
        {"new object me\nA", {"new", "A"}, {0, 0}, ""},
        // The `xtra` line in any case, as the host takes it.
        {"XTRA Foo\nxtraStuff object me", {"xtraStuff"}, {0}, "Foo"},
        {"Xtra Foo\nA object me, x", {"A"}, {1}, "Foo"},
        {"", {}, {}, ""},
        {"xtra Foo\r\nA object me\r\n", {"A"}, {0}, "Foo"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::vector<hostsim::MethodEntry> methods = hostsim::ReadMethodTable(c.text);
        std::vector<std::string> names;
        std::vector<int32_t> parameters;
        for (const hostsim::MethodEntry& method : methods) {
            names.push_back(method.name);
            parameters.push_back(method.parameters);
        }
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(parameters, c.parameters);
        EXPECT_EQ(hostsim::ReadXtraName(c.text), c.xtra);
    }
}

TEST(MethodTable, ThePlugInsTableReadsAsItsMethods) {
    // new, Init, GetTime, ResetTimer, GetInputPorts, OpenInput, CloseInput,
    // SetSystemFilter, SetChannelFilter, MessagesPending, GetNextMessage,
    // GetPendingMessages, InputOverflowed, FlushInput, GetOutputPorts,
    // OpenOutput, CloseOutput, SendMessage
    const std::vector<int32_t> expected = {0, 0, 0, 0, 0, 2, 0, 1, 2, 0, 0, 0, 0, 0, 0, 1, 0, 1};
    std::vector<int32_t> counts;
    for (const hostsim::MethodEntry& method : hostsim::ReadMethodTable(kMethodTable)) {
        counts.push_back(method.parameters);
    }
    EXPECT_EQ(counts, expected);
}

}  // namespace
