// The console's language beyond single statements, against the stand-in
// plug-in: operators, property lists, blocks, handlers and what goes wrong
// in each, with nothing left alive afterwards.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "console/language/interpreter.h"
#include "run_lines.h"

namespace console {
namespace {

std::string Put(const std::string& expression) {
    const Outcome run = RunLines({"put " + expression});
    EXPECT_EQ(run.err, "") << expression;
    return run.out;
}

TEST(ConsoleScript, OperatorsAndTheirPrecedence) {
    const struct {
        const char* expression;
        const char* printed;
    } cases[] = {
        {"1 + 2 * 3", "-- 7\n"},
        {"(1 + 2) * 3", "-- 9\n"},
        {"10 - 4 - 3", "-- 3\n"},
        {"7 / 2", "-- 3\n"},
        {"-7 / 2", "-- -3\n"},
        {"7.0 / 2", "-- 3.5000\n"},
        {"7 mod 3", "-- 1\n"},
        {"1.5 + 1", "-- 2.5000\n"},
        {"2147483647 + 0", "-- 2147483647\n"},
        {"1 = 1", "-- 1\n"},
        {"1 = 1.0", "-- 1\n"},
        {"1 <> 2", "-- 1\n"},
        {"\"Abc\" = \"aBC\"", "-- 1\n"},
        {"\"abc\" < \"abd\"", "-- 1\n"},
        {"#noteOn = #NOTEON", "-- 1\n"},
        {"#a = \"a\"", "-- 0\n"},
        {"[1, [2]] = [1, [2]]", "-- 1\n"},
        {"[#a: 1] = [#b: 1]", "-- 0\n"},
        {"VOID = VOID", "-- 1\n"},
        {"3 >= 3 and 2 <= 1", "-- 0\n"},
        {"0 or 2 > 1", "-- 1\n"},
        {"not 1 = 2", "-- 1\n"},
        {"not 0 and 0", "-- 0\n"},
        {"0 and 1 / 0", "-- 0\n"},  // the right side is not evaluated
        {"1 or x", "-- 1\n"},
        {"\"a\" & \"b\"", "-- \"ab\"\n"},
        {"\"echoed\" && 36 + 12", "-- \"echoed 48\"\n"},
        {"\"a\" & #sym & VOID & 2.5 & [1]", "-- \"asym2.5000[1]\"\n"},
        {"1 & 2 = \"12\"", "-- 1\n"},
        {"TRUE + FALSE", "-- 1\n"},
        {"QUOTE & EMPTY & SPACE", "-- \"\" \"\n"},
        {"- (2 - 5)", "-- 3\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Put(c.expression), c.printed) << c.expression;
    }
}

TEST(ConsoleScript, PropertyListsAndListFunctions) {
    const Outcome run = RunLines({
        "msg = [#type: #noteOn, #channel: 10, #number: 36]",
        "put msg.type",
        "put msg.Channel + 1",
        "put msg[#number]",
        "put msg[2]",
        "put msg.missing",
        "put msg[#missing]",
        "put getProp(msg, #type)",
        "put getaProp(msg, #missing)",
        "put voidP(msg.missing)",
        "put msg.count & \"/\" & count(msg)",
        "l = [10, 20]",
        "put getAt(l, 2) & \",\" & l[1] & \",\" & l.count",
        "shared = l",
        "add l, 30",
        "append(shared, [#k: 1])",
        "put shared",
        "put l.getAt(4).k",
        "p = [:]",
        "addProp p, #first, l",
        "p.addProp(#second, \"x\")",
        "put p",
        "put [[#a: [1, 2]]][1].a[2]",
    });
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "-- #noteOn\n-- 11\n-- 36\n-- 10\n-- <Void>\n-- <Void>\n-- #noteOn\n-- <Void>\n"
              "-- 1\n-- \"3/3\"\n-- \"20,10,2\"\n-- [10, 20, 30, [#k: 1]]\n-- 1\n"
              "-- [#first: [10, 20, 30, [#k: 1]], #second: \"x\"]\n-- 2\n");
}

TEST(ConsoleScript, IfAndRepeatBlocks) {
    const Outcome run = RunLines({
        "on classify n",
        "  if n < 0 then",
        "    return \"negative\"",
        "  else if n = 0 then",
        "    return \"zero\"",
        "  else if n < 10 then return \"small\"",
        "  else",
        "    return \"large\"",
        "  end if",
        "end",
        "on parity n",
        "  if n mod 2 = 0 then return \"even\"",
        "  else return \"odd\"",
        "end parity",
        "put classify(-1) && classify(0) && classify(5) && classify(50)",
        "put parity(3) && parity(4)",
        "if 1 then put \"one-line\" else put \"not this\"",
        "if 0 then put \"not this\" else put \"else part\"",
        "if VOID then",
        "  put \"not this\"",
        "end if",
        "s = \"\"",
        "repeat with i = 1 to 10",
        "  if i = 2 then next repeat",
        "  if i > 5 then exit repeat",
        "  s = s & i",
        "end repeat",
        "put s && i",
        "repeat with i = 3 down to 1",
        "  s = s & i",
        "end repeat",
        "put s",
        "repeat with i = 2 to 1",
        "  put \"never\"",
        "end repeat",
        "n = 0",
        "repeat while n < 4",
        "  n = n + 1",
        "  repeat with x in [#a: 1, #b: 2]",
        "    if x = 2 and n = 4 then put \"inner\" && n && x",
        "  end repeat",
        "end repeat",
        "REPEAT WHILE TRUE",
        "  Exit Repeat",
        "End Repeat",
        "put \"after\"",
    });
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "-- \"negative zero small large\"\n-- \"odd even\"\n-- \"one-line\"\n"
              "-- \"else part\"\n-- \"1345 6\"\n-- \"1345321\"\n-- \"inner 4 2\"\n"
              "-- \"after\"\n");
}

TEST(ConsoleScript, HandlersParametersGlobalsAndReturn) {
    const Outcome run = RunLines({
        "global gCount",
        "gCount = 10",
        "put later(1)  -- a handler may be written below its first use",
        "on later a, b",
        "  gCount = gCount + 1",
        "  return [a, b]",
        "end",
        "on fact n",
        "  if n <= 1 then return 1",
        "  return n * fact(n - 1)",
        "end",
        "on noValue",
        "  x = 1",
        "end",
        "on leaves",
        "  exit",
        "  put \"not this\"",
        "end",
        "on own",
        "  global gOther",
        "  gOther = \"set in a handler\"",
        "  local = 5",
        "  return local",
        "end",
        "put later(1, 2, 3)",
        "put gCount",
        "put fact(10)",
        "put noValue() & leaves()",
        "put own()",
        "put gOther",
        "later 5, 6",
        "put gCount",
    });
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "-- [1, <Void>]\n-- [1, 2]\n-- 12\n-- 3628800\n-- \"\"\n-- 5\n"
              "-- \"set in a handler\"\n-- 13\n");
}

// Locals belong to their call: a handler sees neither the caller's variables
// nor globals it did not declare.
TEST(ConsoleScript, LocalsStayInTheirCall) {
    const Outcome run = RunLines({
        "on peek",
        "  return secret",
        "end",
        "secret = 1",
        "put peek()",
        "put \"goes on\"",
    });
    EXPECT_EQ(run.out, "-- \"goes on\"\n");
    EXPECT_EQ(run.err, "line 2, column 10: variable 'secret' has no value\n");
}

TEST(ConsoleScript, ErrorsNameLineAndColumn) {
    const struct {
        std::vector<std::string> lines;
        const char* err;
    } cases[] = {
        // structure
        {{"end if"}, "line 1, column 1: syntax error: 'end if' without 'if'\n"},
        {{"end repeat"}, "line 1, column 1: syntax error: 'end repeat' without 'repeat'\n"},
        {{"end"}, "line 1, column 1: syntax error: 'end' without 'on'\n"},
        {{"else"}, "line 1, column 1: syntax error: 'else' without 'if'\n"},
        {{"on f", "  repeat while 1", "end"},
         "line 3, column 1: syntax error: 'repeat' of line 2 has no 'end repeat'\n"},
        {{"on f", "  if 1 then", "end"},
         "line 3, column 1: syntax error: 'if' of line 2 has no 'end if'\n"},
        {{"on f", "put 1", "on g", "end"},
         "line 3, column 1: syntax error: handler 'f' of line 1 has no 'end' before this 'on'\n"},
        {{"if 1 then", "on g", "end"},
         "line 2, column 1: syntax error: a handler cannot be defined inside 'if' of line 1\n"},
        {{"on f", "end g"}, "line 2, column 1: syntax error: 'end g' ends handler 'f'\n"},
        {{"if 1 then", "else", "else", "end if"},
         "line 3, column 1: syntax error: a second 'else' in the 'if' of line 1\n"},
        {{"exit repeat"},
         "line 1, column 1: syntax error: 'exit repeat' is only allowed inside a repeat\n"},
        {{"on f", "if 1 then next repeat", "end"},
         "line 2, column 11: syntax error: 'next repeat' is only allowed inside a repeat\n"},
        {{"return 1"},
         "line 1, column 1: syntax error: 'return' is only allowed inside a handler\n"},
        // lines
        {{"if 1 put 2"}, "line 1, column 6: syntax error: expected 'then', found 'put'\n"},
        {{"repeat until 1", "end repeat"},
         "line 1, column 8: syntax error: expected 'while' or 'with' after 'repeat', found "
         "'until'\n"},
        {{"repeat with i = 1 up 3", "end repeat"},
         "line 1, column 19: syntax error: expected 'to', found 'up'\n"},
        {{"on 5", "end"}, "line 1, column 4: syntax error: expected a handler name, found '5'\n"},
        {{"on f then", "end"},
         "line 1, column 6: syntax error: 'then' is a word of the language, not a parameter "
         "name\n"},
        {{"global if"},
         "line 1, column 8: syntax error: 'if' is a word of the language, not a variable name\n"},
        {{"end = 3"}, "line 1, column 5: syntax error: unexpected '=' after the statement\n"},
        {{"put 1 +"}, "line 1, column 8: syntax error: expected a value, found end of line\n"},
        {{"put msg."},
         "line 1, column 9: syntax error: expected a property name after '.', found end of "
         "line\n"},
        {{"put l[1"}, "line 1, column 8: syntax error: expected ']', found end of line\n"},
        {{"if 1 then repeat while 1"},
         "line 1, column 11: syntax error: 'repeat' cannot follow 'then' or 'else' on its line\n"},
        {{"on count", "end"},
         "line 1, column 1: 'count' is a function of the language; no handler can take its "
         "name\n"},
        // running
        {{"put 1 / 0"}, "line 1, column 7: division by zero\n"},
        {{"put 5 mod 0"}, "line 1, column 7: division by zero\n"},
        {{"put 2147483647 + 1"}, "line 1, column 16: integer overflow\n"},
        {{"put 1.5 mod 1"}, "line 1, column 9: 'mod' needs integers\n"},
        {{"put \"a\" + 1"}, "line 1, column 9: '+' needs numbers, not \"a\"\n"},
        {{"put [1] < 2"},
         "line 1, column 9: '<' compares two numbers or two strings, not [1] and 2\n"},
        {{"if \"yes\" then put 1"}, "line 1, column 4: a condition needs a number, not \"yes\"\n"},
        {{"put not [1]"}, "line 1, column 9: a condition needs a number, not [1]\n"},
        {{"n = 5", "put n.type"}, "line 2, column 6: .type needs a property list, not 5\n"},
        {{"put [1, 2][3]"}, "line 1, column 11: position 3 is not in the list (1 to 2)\n"},
        {{"put [1][#a]"}, "line 1, column 8: [] needs a position, not #a\n"},
        {{"put getProp([#a: 1], #b)"}, "line 1, column 22: the property list has no property #b\n"},
        {{"put getAt([#a: 1], \"x\")"}, "line 1, column 20: getAt() needs a position, not \"x\"\n"},
        {{"put getProp([1], #a)"}, "line 1, column 13: getProp() needs a property list, not [1]\n"},
        {{"p = [:]", "add p, 1"}, "line 2, column 5: add() needs a linear list, not [:]\n"},
        {{"p = [:]", "addProp p, 1, 2"}, "line 2, column 12: addProp() needs a #property, not 1\n"},
        {{"append([1])"}, "line 1, column 1: append() takes a list and a value\n"},
        {{"l = [1]", "add l, l"}, "line 2, column 8: a list cannot contain itself\n"},
        {{"l = [1]", "m = [l]", "add l, m"}, "line 3, column 8: a list cannot contain itself\n"},
        {{"p = [:]", "addProp p, #self, [p]"}, "line 2, column 19: a list cannot contain itself\n"},
        {{"repeat with i = 1 to \"x\"", "end repeat"},
         "line 1, column 22: repeat with needs integers, not \"x\"\n"},
        {{"repeat with i in 5", "end repeat"},
         "line 1, column 18: repeat with ... in needs a list, not 5\n"},
        {{"on f", "  return 1 / 0", "end", "put f()"}, "line 2, column 12: division by zero\n"},
        {{"on f n", "  return n.type", "end", "put f(3)"},
         "line 2, column 11: .type needs a property list, not 3\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines = c.lines;
        lines.push_back("put 42");
        const Outcome run = RunLines(lines);
        EXPECT_EQ(run.err, c.err) << lines[0];
        // A script with a syntax error does not compile: nothing runs.
        const bool compiles = run.err.find("syntax error") == std::string::npos;
        EXPECT_EQ(run.out.substr(run.out.size() < 6 ? 0 : run.out.size() - 6),
                  compiles ? "-- 42\n" : "")
            << lines[0] << "\n"
            << run.err;
    }
}

// Values nest and handlers recurse only so deep: an error, never a crash.
TEST(ConsoleScript, DeepValuesAndRecursionAreErrors) {
    const Outcome lists = RunLines({
        "x = []",
        "repeat with i = 1 to 500",
        "  x = [x]",
        "end repeat",
        "put count(x)",
    });
    EXPECT_EQ(lists.err, "line 3, column 8: lists nested deeper than 100 levels\n");
    EXPECT_EQ(lists.out, "-- 1\n");

    const Outcome grown = RunLines({
        "x = []",
        "repeat with i = 1 to 500",
        "  y = []",
        "  add y, x",
        "  x = y",
        "end repeat",
    });
    EXPECT_EQ(grown.err, "line 4, column 10: lists nested deeper than 100 levels\n");

    const Outcome recursion = RunLines({
        "on deeper n",
        "  return deeper(n + 1)",
        "end",
        "put deeper(1)",
        "put 42",
    });
    EXPECT_NE(recursion.err.find("nested deeper than 1000 levels"), std::string::npos)
        << recursion.err;
    EXPECT_EQ(recursion.err.find('\n'), recursion.err.size() - 1) << recursion.err;
    EXPECT_EQ(recursion.out, "-- 42\n");
}

// Lines typed one at a time: a block runs when it ends; --echo shows it.
TEST(ConsoleScript, BlocksTypedLineByLine) {
    hostsim::SimHost host;
    FakeSession session(host);
    std::ostringstream out;
    std::ostringstream err;
    {
        Interpreter interpreter(host, session, out, err);
        interpreter.SetEcho(true);
        const std::vector<std::string> lines = {
            "on twice n",     "  return n * 2", "end",       "repeat with i = 1 to 2  -- a comment",
            "  put twice(i)", "end repeat",     "if 1 then",
        };
        for (size_t i = 0; i < lines.size(); ++i) {
            interpreter.RunLine(static_cast<int>(i) + 1, lines[i]);
            EXPECT_EQ(interpreter.InBlock(), i < 2 || (i >= 3 && i < 5) || i == 6) << i;
        }
        interpreter.Finish();
        EXPECT_FALSE(interpreter.InBlock());
    }
    EXPECT_EQ(out.str(),
              "repeat with i = 1 to 2\n  put twice(i)\nend repeat\n  return n * 2\n-- 2\n  return "
              "n * 2\n-- 4\n");
    EXPECT_EQ(err.str(), "line 7, column 1: syntax error: 'if' of line 7 has no 'end if'\n");
    EXPECT_EQ(host.LiveValues(), 0);
}

}  // namespace
}  // namespace console
