// The console's script language against a stand-in plug-in: what put prints,
// how errors are reported and that nothing is left alive.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "console/language/interpreter.h"
#include "console/language/parser.h"
#include "console/options.h"
#include "console/port_functions.h"
#include "fake_session.h"
#include "host/method_table.h"

namespace console {
namespace {

struct Outcome {
    std::string out;
    std::string err;
};

Outcome RunScript(const std::vector<std::string>& lines, hostsim::SimHost* hostOut = nullptr) {
    hostsim::SimHost ownHost;
    hostsim::SimHost& host = hostOut ? *hostOut : ownHost;
    FakeSession session(host);
    std::ostringstream out;
    std::ostringstream err;
    {
        Interpreter interpreter(host, session, out, err);
        interpreter.SetWaiter([](int32_t) { return std::string(); });
        for (size_t i = 0; i < lines.size(); ++i) {
            interpreter.RunLine(static_cast<int>(i) + 1, lines[i]);
        }
    }
    EXPECT_EQ(host.LiveValues(), 0) << host.LeakReport();
    EXPECT_EQ(host.BadReleases(), 0);
    return {out.str(), err.str()};
}

TEST(ConsoleLanguage, PutPrintsAsTheMessageWindow) {
    const struct {
        const char* statement;
        const char* printed;
    } cases[] = {
        {"put 1", "-- 1\n"},
        {"put -7", "-- -7\n"},
        {"put -2147483648", "-- -2147483648\n"},
        {"put 2147483647", "-- 2147483647\n"},
        {"put 2.5", "-- 2.5000\n"},
        {"put -(2.5)", "-- -2.5000\n"},
        {"put \"Loopback\"", "-- \"Loopback\"\n"},
        {"put \"a -- b\"", "-- \"a -- b\"\n"},
        {"put #noteOn", "-- #noteOn\n"},
        {"put VOID", "-- <Void>\n"},
        {"put void", "-- <Void>\n"},
        {"put []", "-- []\n"},
        {"put [:]", "-- [:]\n"},
        {"put [1, [2, 3], \"x\"]", "-- [1, [2, 3], \"x\"]\n"},
        {"put [#code: 0, #text: \"No error\"]", "-- [#code: 0, #text: \"No error\"]\n"},
        {"put [#a: [#b: [:]]]", "-- [#a: [#b: [:]]]\n"},
        {"put count([1, 2, 3])", "-- 3\n"},
        {"put count([#a: 1])", "-- 1\n"},
        {"put count([])", "-- 0\n"},
        {"put wait(5)", "-- <Void>\n"},
        {"put (4)  -- a comment after a statement", "-- 4\n"},
        {"-- only a comment", ""},
        {"", ""},
        {"   ", ""},
    };
    for (const auto& c : cases) {
        const Outcome run = RunScript({c.statement});
        EXPECT_EQ(run.out, c.printed) << c.statement;
        EXPECT_EQ(run.err, "") << c.statement;
    }
}

TEST(ConsoleLanguage, VariablesMethodsAndTheInterface) {
    const Outcome run = RunScript({
        "m = new(xtra \"tesmar\")",
        "x = [1, 2]",
        "X = [3]  -- names ignore case",
        "put x",
        "put ECHO(m, x, #s)",
        "put echo(m, 1)",
        "put echo(m)",
        "echo(m, 1, 2)",
        "put the milliseconds >= 0",
        "put interface(xtra \"Tesmar\")",
    });
    EXPECT_EQ(run.out,
              "-- [3]\n"
              "-- [[3], #s]\n"
              "-- [1, <Void>]\n"
              "-- [<Void>, <Void>]\n"
              "-- 1\n"
              "xtra Tesmar -- test\nnew object me\n\nEcho object me, any a, any b -- two\n"
              "Fail object me\n   -- the end\n");
    EXPECT_EQ(run.err, "");
}

TEST(ConsoleLanguage, ErrorsNameLineAndColumnAndTheScriptGoesOn) {
    const struct {
        const char* statement;
        const char* message;  // after "line 1, column "
    } cases[] = {
        {"put [1, 2", "10: syntax error: expected ',' or ']', found end of line"},
        {"put \"open", "5: syntax error: string is not closed"},
        {"put 1 2", "7: syntax error: unexpected '2' after the statement"},
        {"put 2147483648", "5: syntax error: integer 2147483648 is out of range"},
        {"put -2147483649", "6: syntax error: integer 2147483649 is out of range"},
        {"put [#a: 1, 2]", "13: syntax error: expected #property: in a property list"},
        {"put [1, #a: 2]", "11: syntax error: a property list has #property: before every"},
        {"put #", "5: syntax error: a symbol needs a name after '#'"},
        {"put 1 ? 2", "7: syntax error: unexpected character '?'"},
        {"put the time", "5: syntax error: 'the time' is not part of the console's language"},
        {"put sprite(1)", "5: syntax error: 'sprite' is not part of the console's language"},
        {"x", "1: syntax error: expected put, an assignment or a call"},
        {"put = 3", "5: syntax error: expected a value, found '='"},
        {"the = 3", "1: syntax error: 'the' cannot be assigned to"},
        {"put nothing", "5: variable 'nothing' has no value"},
        {"put Frobnicate(1)", "5: unknown handler 'Frobnicate'"},
        {"put count(5)", "11: count() needs a list, not 5"},
        {"put count()", "5: count() takes one list"},
        {"wait(-1)", "6: wait() needs a non-negative integer, not -1"},
        {"wait(\"a\")", "6: wait() needs a non-negative integer, not \"a\""},
        {"put -\"a\"", "5: only a number can be negated"},
        {"put -x", "6: variable 'x' has no value"},
        {"put new(xtra \"Other\")", "9: no xtra named \"Other\""},
        {"put new(5)", "5: new() takes one argument: xtra \"Tesmar\""},
        {"put xtra \"Tesmar\"", "5: an xtra reference can only be given to new() or interface()"},
        {"put Echo()", "5: Echo() needs the instance made by new() first"},
        {"put Echo(3, 4)", "10: Echo() needs an instance made by new(), not 3"},
        {"put Echo(VOID, [1, 2], 3, 4)", "27: Echo() takes 2 arguments after the instance"},
    };
    for (const auto& c : cases) {
        const Outcome run = RunScript({c.statement, "put 42"});
        EXPECT_EQ(run.out, "-- 42\n") << c.statement;
        const std::string expected = std::string("line 1, column ") + c.message;
        EXPECT_EQ(run.err.rfind(expected, 0), 0u) << c.statement << "\n" << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line only: " << run.err;
    }
}

// Leading zeros do not count towards an integer's size; a float literal too
// long for a double is refused rather than read as infinity.
TEST(ConsoleLanguage, NumbersAtTheEdgesOfTheirRange) {
    const std::string nines(400, '9');
    const struct {
        std::string statement;
        const char* printed;
        const char* error;
    } cases[] = {
        {"put 00000000000007", "-- 7\n", ""},
        {"put -000000000002147483648", "-- -2147483648\n", ""},
        {"put 000000000002147483648", "",
         "line 1, column 5: syntax error: integer 000000000002147483648 is out of range\n"},
        {"put 0000000000000.25", "-- 0.2500\n", ""},
        {"put " + nines + ".5", "",
         "line 1, column 5: syntax error: number too large for a float\n"},
        {"put -" + nines + ".0", "",
         "line 1, column 6: syntax error: number too large for a float\n"},
        {"put [1, ." + nines + "]", "-- [1, 1.0000]\n", ""},
    };
    for (const auto& c : cases) {
        const Outcome run = RunScript({c.statement});
        EXPECT_EQ(run.out, c.printed) << c.statement;
        EXPECT_EQ(run.err, c.error) << c.statement;
    }
}

// Parentheses, lists, call arguments and minus signs all nest; beyond the
// limit the line is a syntax error at the first expression too deep, however
// deep the line goes (thousands of levels would overflow the stack).
TEST(ConsoleLanguage, NestingBeyondTheLimitIsASyntaxError) {
    static_assert(kMaxNesting == 100, "the columns below count 100 levels");
    const struct {
        const char* open;
        const char* inner;
        const char* close;
        int levelsPerOpen;
        int column;  // where the 101st level starts
    } forms[] = {
        {"(", "1", ")", 1, 105},        {"[", "1", "]", 1, 105},   {"[#a: ", "1", "]", 1, 505},
        {"count([", "1", "])", 2, 355}, {"- ", "1.5", "", 1, 205},
    };
    const auto nested = [](const auto& form, int opens) {
        std::string line = "put ";
        for (int i = 0; i < opens; ++i) {
            line += form.open;
        }
        line += form.inner;
        for (int i = 0; i < opens; ++i) {
            line += form.close;
        }
        return line;
    };
    for (const auto& form : forms) {
        // The statement's own expression is the first level.
        const Outcome fits = RunScript({nested(form, (kMaxNesting - 1) / form.levelsPerOpen)});
        EXPECT_EQ(fits.err, "") << form.open;
        EXPECT_FALSE(fits.out.empty()) << form.open;
        for (const int opens : {kMaxNesting / form.levelsPerOpen, 5000}) {
            const Outcome run = RunScript({nested(form, opens), "put 42"});
            EXPECT_EQ(run.err, "line 1, column " + std::to_string(form.column) +
                                   ": syntax error: nesting deeper than 100 levels\n")
                << form.open << opens;
            EXPECT_EQ(run.out, "-- 42\n") << form.open << opens;
        }
    }
}

TEST(ConsoleLanguage, EchoWritesEachStatementBeforeItsResult) {
    hostsim::SimHost host;
    FakeSession session(host);
    std::ostringstream out;
    std::ostringstream err;
    {
        Interpreter interpreter(host, session, out, err);
        interpreter.SetEcho(true);
        const std::vector<std::string> lines = {
            "-- a comment is no statement",
            "",
            "  x = [1, \"a -- b\"]   -- the comment is not echoed",
            "put x",
            "put y",
            "put [1",
        };
        for (size_t i = 0; i < lines.size(); ++i) {
            interpreter.RunLine(static_cast<int>(i) + 1, lines[i]);
        }
    }
    EXPECT_EQ(out.str(),
              "x = [1, \"a -- b\"]\n"
              "put x\n"
              "-- [1, \"a -- b\"]\n"
              "put y\n"
              "put [1\n");
    EXPECT_NE(err.str().find("line 5, column 5: variable 'y' has no value"), std::string::npos);
    EXPECT_EQ(host.LiveValues(), 0);
}

TEST(ConsoleLanguage, HostErrorsOfMethodsAndLeaksOnEveryPath) {
    hostsim::SimHost host;
    const Outcome run = RunScript(
        {
            "m = new(xtra \"Tesmar\")",
            "put Fail(m)",
            "x = [Echo(m, [1], \"a\"), Fail(m)]",
            "x = [#k: [1, 2], #j: Frob(1)]",
            "y = [#k: [1, 2]]",
            "y = 3",
            "put y",
        },
        &host);
    EXPECT_EQ(run.out, "-- 3\n");
    EXPECT_NE(run.err.find("line 2, column 5: Fail() failed with host code 0x80040005"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("line 3, column 25: Fail() failed"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("line 4, column 22: unknown handler 'Frob'"), std::string::npos)
        << run.err;
}

// The console hands the name to its ports and reports what they refuse
// (the Windows build refuses every name) as the statement's error.
TEST(ConsoleLanguage, UnplugAndReplugReachThePortsOrSayWhy) {
    const struct {
        const char* statement;
        const char* call;  // what reached the ports, "" for nothing
        const char* error;
    } cases[] = {
        {"unplug(\"Loopback\")", "unplug Loopback", ""},
        {"REPLUG \"Loopback\"", "replug Loopback", ""},
        {"put unplug(\"Loop\" & \"back\")", "unplug Loopback", ""},
        {"unplug(\"Gone\")", "unplug Gone", "line 1, column 8: unplug(): refused Gone\n"},
        {"replug(\"Gone\")", "replug Gone", "line 1, column 8: replug(): refused Gone\n"},
        {"unplug(1)", "", "line 1, column 8: unplug() needs a port name as a string, not 1\n"},
        {"replug([\"Loopback\"])", "",
         "line 1, column 8: replug() needs a port name as a string, not [\"Loopback\"]\n"},
        {"unplug(VOID)", "",
         "line 1, column 8: unplug() needs a port name as a string, not <Void>\n"},
        {"unplug()", "",
         "line 1, column 1: unplug() takes the name of one virtual port, e.g. "
         "unplug(\"Loopback\")\n"},
        {"unplug(\"A\", \"B\")", "",
         "line 1, column 1: unplug() takes the name of one virtual port, e.g. "
         "unplug(\"Loopback\")\n"},
    };
    for (const auto& c : cases) {
        hostsim::SimHost host;
        FakeSession session(host);
        std::ostringstream out;
        std::ostringstream err;
        std::string calls;
        {
            Interpreter interpreter(host, session, out, err);
            DefinePortFunctions(interpreter,
                                [&calls](bool plug, const std::string& name, std::string* error) {
                                    calls += std::string(plug ? "replug " : "unplug ") + name;
                                    if (name == "Gone") {
                                        *error = "refused " + name;
                                        return false;
                                    }
                                    return true;
                                });
            interpreter.RunLine(1, c.statement);
            interpreter.RunLine(2, "put 2");
        }
        EXPECT_EQ(calls, c.call) << c.statement;
        EXPECT_EQ(err.str(), c.error) << c.statement;
        EXPECT_NE(out.str().find("-- 2\n"), std::string::npos) << c.statement;
        EXPECT_EQ(host.LiveValues(), 0) << c.statement << host.LeakReport();
    }
}

TEST(ConsoleOptions, PortSpecsAndCommandLine) {
    std::vector<PortSpec> ports;
    std::string error;
    ASSERT_TRUE(ParsePortSpecs("loop:Loopback,in:Keys,out:Synth A", &ports, &error));
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].kind, PortSpec::Kind::Loopback);
    EXPECT_EQ(ports[1].kind, PortSpec::Kind::Input);
    EXPECT_EQ(ports[2].kind, PortSpec::Kind::Output);
    EXPECT_EQ(ports[2].name, "Synth A");
    for (const char* bad :
         {"", "Loopback", "loop:", "thru:X", "in:A,,out:B",
          "in:1234567890123456789012345678901234567890123456789012345678901234", "loop:X+pieces",
          "loop:X+pieces=0", "loop:X+pieces=513", "loop:X+packed=1", "loop:X+wobbly", "loop:X+",
          "out:Y+pull-error=gone", "out:Y+block-limit=-1"}) {
        EXPECT_FALSE(ParsePortSpecs(bad, &ports, &error)) << bad;
        EXPECT_FALSE(error.empty());
    }
    // Behaviours of real stacks after the name; names longer than a device
    // can report are taken (the device cuts them).
    ASSERT_TRUE(ParsePortSpecs(
        "loop:Synth+pieces=6+packed+empty=3+realtime-inside+clock-every=65,out:Y+block-limit=2048+"
        "done-inline+pull-cost=5000+pull-error=error,in:" +
            std::string(40, 'k') + "+no-caps",
        &ports, &error))
        << error;
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].name, "Synth");
    EXPECT_EQ(ports[0].stack.pieceBytes, 6u);
    EXPECT_EQ(ports[0].stack.packMessages, 1u);
    EXPECT_EQ(ports[0].stack.emptyEvery, 3u);
    EXPECT_EQ(ports[0].stack.realTimeInSysEx, 1u);
    EXPECT_EQ(ports[0].stack.clockEvery, 65u);
    EXPECT_EQ(ports[1].stack.blockLimit, 2048u);
    EXPECT_EQ(ports[1].stack.doneInline, 1u);
    EXPECT_EQ(ports[1].pullCostMs, 5000u);
    EXPECT_EQ(ports[1].pullResult, 1u);
    EXPECT_EQ(ports[2].name, std::string(40, 'k'));
    EXPECT_TRUE(ports[2].capsFail);
    EXPECT_EQ(ports[2].stack.pieceBytes, 0u);

    Options options;
    const char* argv[] = {"tesmar-host", "--module", "m.so", "s.script"};
    ASSERT_TRUE(ParseOptions(4, const_cast<char**>(argv), "default.so", &options, &error));
    EXPECT_EQ(options.modulePath, "m.so");
    EXPECT_EQ(options.script, "s.script");
    const char* twoScripts[] = {"tesmar-host", "a", "b"};
    EXPECT_FALSE(ParseOptions(3, const_cast<char**>(twoScripts), "d", &options, &error));
    const char* unknown[] = {"tesmar-host", "--verbose"};
    EXPECT_FALSE(ParseOptions(2, const_cast<char**>(unknown), "d", &options, &error));
    const char* echo[] = {"tesmar-host", "s.script", "--echo"};
    ASSERT_TRUE(ParseOptions(3, const_cast<char**>(echo), "d", &options, &error));
    EXPECT_TRUE(options.echo);
    const char* missing[] = {"tesmar-host", "--module"};
    EXPECT_FALSE(ParseOptions(2, const_cast<char**>(missing), "d", &options, &error));
}

}  // namespace
}  // namespace console
