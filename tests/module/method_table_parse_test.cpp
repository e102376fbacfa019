#include <gtest/gtest.h>

#include "hostsim/loader.h"

namespace {

TEST(MethodTableParse, MethodLinesAreNumberedInOrder) {
    struct Case {
        const char* text;
        std::vector<std::string> names;
        const char* xtra;
    };
    const Case cases[] = {
        {"xtra Foo -- comment\nnew object me\nBar object me, int x -- does bar",
         {"new", "Bar"},
         "Foo"},
        {"xtra Foo\n-- a comment line\n\n   \nA object me\n\n--B object me\nC", {"A", "C"}, "Foo"},
        {"xtra Foo\nA object me\n             -- continued comment\nB object me",
         {"A", "B"},
         "Foo"},
        {"new object me\nA", {"new", "A"}, ""},
        {"XTRA Foo\nxtraStuff object me", {"xtraStuff"}, "Foo"},
        {"", {}, ""},
        {"xtra Foo\r\nA object me\r\n", {"A"}, "Foo"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(hostsim::ParseMethodTable(c.text), c.names);
        EXPECT_EQ(hostsim::ParseXtraName(c.text), c.xtra);
    }
}

}  // namespace
