// Script instances live as long as a value holds them: a variable, a list
// element, a property, a handler's local or a temporary. `destroyed()`
// answers the ids whose last reference went so far, in that order.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "console/language/interpreter.h"
#include "fake_session.h"

namespace console {
namespace {

struct Lifetime {
    std::string out;
    std::string err;
    std::vector<uintptr_t> destroyed;  // by the end of the script
    uintptr_t made = 0;
};

Lifetime RunWithProbe(const std::vector<std::string>& lines) {
    hostsim::SimHost host;
    FakeSession session(host);
    std::ostringstream out;
    std::ostringstream err;
    {
        Interpreter interpreter(host, session, out, err);
        interpreter.DefineFunction(
            "destroyed", 0, 0, "destroyed() takes no argument", [&](FunctionCall& call) {
                ScriptValue list = call.host.NewList();
                for (const uintptr_t id : session.destroyed) {
                    ScriptValue item = call.host.Integer(static_cast<int32_t>(id));
                    call.host.Append(list, item);
                    call.host.Release(item);
                }
                return list;
            });
        interpreter.RunScript(lines);
    }
    EXPECT_EQ(host.LiveValues(), 0) << host.LeakReport();
    EXPECT_EQ(host.BadReleases(), 0);
    return {out.str(), err.str(), session.destroyed, session.instances};
}

TEST(ConsoleLifetime, AnInstanceDiesWhenItsLastReferenceGoes) {
    const struct {
        const char* what;
        std::vector<std::string> lines;
        const char* printed;
        const char* error = "";  // standard error, after "line "
    } cases[] = {
        {"reassignment and VOID",
         {"a = new(xtra \"Tesmar\")", "a = new(xtra \"Tesmar\")", "put destroyed()", "a = VOID",
          "put destroyed()"},
         "-- [1]\n-- [1, 2]\n"},
        {"a copy keeps it",
         {"a = new(xtra \"Tesmar\")", "b = a", "a = 0", "put destroyed()", "b = 0",
          "put destroyed()"},
         "-- []\n-- [1]\n"},
        {"list elements and properties",
         {"l = [new(xtra \"Tesmar\")]", "p = [#m: new(xtra \"Tesmar\")]", "add(l, p.m)", "p = VOID",
          "put destroyed()", "l = []", "put count(destroyed())"},
         "-- []\n-- 2\n"},
        {"a nested list held elsewhere",
         {"l = [[new(xtra \"Tesmar\")]]", "inner = l[1]", "l = VOID", "put destroyed()",
          "inner = VOID", "put destroyed()"},
         "-- []\n-- [1]\n"},
        {"a handler's local goes with the call, its result does not",
         {"on local", "  m = new(xtra \"Tesmar\")", "  put destroyed()", "end", "on make",
          "  return new(xtra \"Tesmar\")", "end", "local()", "put destroyed()", "k = make()",
          "put destroyed()"},
         "-- []\n-- [1]\n-- [1]\n"},
        {"temporaries",
         {"put new(xtra \"Tesmar\")", "put destroyed()", "Echo(new(xtra \"Tesmar\"), 1)",
          "put destroyed()"},
         "-- <Object \"Tesmar\" 1>\n-- [1]\n-- [1, 2]\n"},
        {"a loop keeps only the last",
         {"repeat with i = 1 to 3", "  m = new(xtra \"Tesmar\")", "end repeat", "put destroyed()"},
         "-- [1, 2]\n"},
        {"a statement that fails keeps the old value and drops its new one",
         {"m = new(xtra \"Tesmar\")", "m = [new(xtra \"Tesmar\"), Fail(m)]", "put destroyed()",
          "put m"},
         "-- [2]\n-- <Object \"Tesmar\" 1>\n",
         "2, column 26: Fail() failed with host code 0x80040005\n"},
        {"identity survives the death of others",
         {"a = new(xtra \"Tesmar\")", "a = new(xtra \"Tesmar\")", "b = new(xtra \"Tesmar\")",
          "put a = b", "put a = a"},
         "-- 0\n-- 1\n"},
    };
    for (const auto& c : cases) {
        const Lifetime run = RunWithProbe(c.lines);
        EXPECT_EQ(run.out, c.printed) << c.what;
        EXPECT_EQ(run.err, *c.error ? std::string("line ") + c.error : "") << c.what;
        // By the end every instance went, each once.
        std::vector<uintptr_t> sorted = run.destroyed;
        std::sort(sorted.begin(), sorted.end());
        std::vector<uintptr_t> all;
        for (uintptr_t id = 1; id <= run.made; ++id) {
            all.push_back(id);
        }
        EXPECT_EQ(sorted, all) << c.what;
    }
}

}  // namespace
}  // namespace console
