// The console's everyday functions, family by family (list edits,
// conversions, maths, strings): what they answer, their edge cases and the
// errors of wrong arguments, with nothing left alive after any of them.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "console/language/interpreter.h"
#include "run_lines.h"

namespace console {
namespace {

struct Case {
    std::vector<std::string> lines;
    const char* printed;
};

void ExpectPrinted(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        const Outcome run = RunLines(c.lines);
        EXPECT_EQ(run.out, c.printed) << c.lines.back();
        EXPECT_EQ(run.err, "") << c.lines.back();
    }
}

// Each case: lines whose last one fails with `error` (after "line N, column
// "); the script goes on, and `put 42` after it prints.
struct ErrorCase {
    std::vector<std::string> lines;
    const char* error;
};

void ExpectErrors(const std::vector<ErrorCase>& cases) {
    for (const ErrorCase& c : cases) {
        std::vector<std::string> lines = c.lines;
        lines.push_back("put 42");
        const Outcome run = RunLines(lines);
        EXPECT_EQ(run.out, "-- 42\n") << c.lines.back();
        const std::string expected =
            "line " + std::to_string(c.lines.size()) + ", column " + c.error + "\n";
        EXPECT_EQ(run.err, expected) << c.lines.back();
    }
}

TEST(ConsoleFunctions, ListEdits) {
    ExpectPrinted({
        {{"p = [#a: 1]", "setaProp(p, #b, 2)", "setaProp(p, #A, 3)", "put p"},
         "-- [#a: 3, #b: 2]\n"},
        {{"p = [#a: 1]", "p.setProp(#a, [2])", "put p"}, "-- [#a: [2]]\n"},
        {{"l = [1, 2, 3]", "setAt(l, 2, #x)", "put l"}, "-- [1, #x, 3]\n"},
        {{"l = [1]", "setAt(l, 4, 9)", "put l"}, "-- [1, 0, 0, 9]\n"},
        {{"l = []", "setAt l, 1, \"a\"", "put l"}, "-- [\"a\"]\n"},
        {{"p = [#a: 1, #b: 2]", "setAt(p, 2, 5)", "put p"}, "-- [#a: 1, #b: 5]\n"},
        {{"l = [1, 2, 3]", "deleteAt(l, 1)", "put l"}, "-- [2, 3]\n"},
        {{"l = [1, 2, 3]", "deleteAt(l, 3)", "put l"}, "-- [1, 2]\n"},
        {{"p = [#a: 1, #b: 2]", "deleteAt(p, 1)", "put p"}, "-- [#b: 2]\n"},
        {{"l = [1, 2, 1]", "deleteOne(l, 1)", "put l"}, "-- [2, 1]\n"},
        {{"l = [1, 2]", "deleteOne(l, 7)", "put l"}, "-- [1, 2]\n"},
        {{"l = [\"A\", [1]]", "deleteOne(l, \"a\")", "deleteOne(l, [1])", "put l"}, "-- []\n"},
        {{"l = []", "deleteOne(l, 1)", "put l"}, "-- []\n"},
        {{"p = [#a: 1, #b: 2]", "deleteOne(p, 2)", "put p"}, "-- [#a: 1]\n"},
        // Lists are shared: an edit is seen through every variable.
        {{"a = [1]", "b = a", "setAt(a, 1, 2)", "put b"}, "-- [2]\n"},
        {{"put getPos([5, 6, 7], 7)"}, "-- 3\n"},
        {{"put getPos([5, 6, 7], 8)"}, "-- 0\n"},
        {{"put getPos([], 1)"}, "-- 0\n"},
        {{"put getPos([1, 2.0, \"Ab\"], 2)"}, "-- 2\n"},
        {{"put getPos([1, 2.0, \"Ab\"], \"aB\")"}, "-- 3\n"},
        {{"put getPos([[1, 2], [3]], [3])"}, "-- 2\n"},
        {{"put getPos([#a: 4, #b: 5], 5)"}, "-- 2\n"},
        {{"put getOne([5, 6], 6)"}, "-- 2\n"},
        {{"put getOne([5, 6], 9)"}, "-- 0\n"},
        {{"put getOne([#a: 4, #b: 5, #c: 5], 5)"}, "-- #b\n"},
        {{"put getOne([#a: 4], 9)"}, "-- 0\n"},
        {{"put getOne([:], 9)"}, "-- 0\n"},
        {{"put getLast([1, 2, 3])"}, "-- 3\n"},
        {{"put getLast([])"}, "-- <Void>\n"},
        {{"put getLast([:])"}, "-- <Void>\n"},
        {{"put getLast([#a: 1, #b: [2]])"}, "-- [2]\n"},
        {{"put duplicate([1, [2, [3]], [#k: [4]]])"}, "-- [1, [2, [3]], [#k: [4]]]\n"},
        {{"put duplicate([])"}, "-- []\n"},
        {{"put duplicate([:])"}, "-- [:]\n"},
        {{"put duplicate(5)"}, "-- 5\n"},
        {{"put duplicate(\"text\")"}, "-- \"text\"\n"},
        {{"put duplicate(VOID)"}, "-- <Void>\n"},
        // The copy is new all the way down: changing it, or a list inside
        // it, leaves the original alone.
        {{"a = [1, [2, [3]]]", "b = duplicate(a)", "setAt(b[2][2], 1, 9)", "setAt(b, 1, 0)",
          "put a && b"},
         "-- \"[1, [2, [3]]] [0, [2, [9]]]\"\n"},
        {{"a = [#x: [1]]", "b = duplicate(a)", "add(b.x, 2)", "b.y = 3", "put a && b"},
         "-- \"[#x: [1]] [#x: [1, 2], #y: 3]\"\n"},
        // A list held twice becomes two lists.
        {{"s = [1]", "a = [s, s]", "b = duplicate(a)", "add(b[1], 2)", "put a && b"},
         "-- \"[[1], [1]] [[1, 2], [1]]\"\n"},
        // An instance in the list stays the same instance.
        {{"m = new(xtra \"Tesmar\")", "put duplicate([m])[1] = m"}, "-- 1\n"},
    });
}

TEST(ConsoleFunctions, ListEditErrors) {
    ExpectErrors({
        {{"setaProp([1], #a, 2)"}, "10: setaProp() needs a property list, not [1]"},
        {{"setaProp([:], 1, 2)"}, "15: setaProp() needs a #property, not 1"},
        {{"setaProp([:], #a)"}, "1: setaProp() takes a property list, a #property and a value"},
        {{"p = [#a: 1]", "setProp(p, #b, 2)"}, "12: the property list has no property #b"},
        {{"setProp(5, #b, 2)"}, "9: setProp() needs a property list, not 5"},
        {{"p = [:]", "setaProp(p, #me, [p])"}, "18: a list cannot contain itself"},
        {{"setAt(5, 1, 1)"}, "7: setAt() needs a list, not 5"},
        {{"setAt([1], \"2\", 1)"}, "12: setAt() needs a position, not \"2\""},
        {{"setAt([1], 0, 1)"}, "12: position 0 is not in the list (1 to 1)"},
        {{"setAt([1], -3, 1)"}, "12: position -3 is not in the list (1 to 1)"},
        {{"setAt([#a: 1], 2, 1)"}, "16: position 2 is not in the list (1 to 1)"},
        {{"setAt([1], 2000000, 1)"}, "12: position 2000000 is not in the list (1 to 1)"},
        {{"l = [1]", "setAt(l, 1, l)"}, "13: a list cannot contain itself"},
        {{"setAt([1], 1)"}, "1: setAt() takes a list, a position and a value"},
        {{"deleteAt([1, 2], 3)"}, "18: position 3 is not in the list (1 to 2)"},
        {{"deleteAt([], 1)"}, "14: position 1 is not in the list (1 to 0)"},
        {{"deleteAt([1], 1.0)"}, "15: deleteAt() needs a position, not 1.0000"},
        {{"deleteAt(\"abc\", 1)"}, "10: deleteAt() needs a list, not \"abc\""},
        {{"deleteOne(#a, 1)"}, "11: deleteOne() needs a list, not #a"},
        {{"put getPos(VOID, 1)"}, "12: getPos() needs a list, not <Void>"},
        {{"put getPos([1])"}, "5: getPos() takes a list and a value"},
        {{"put getOne(3, 3)"}, "12: getOne() needs a list, not 3"},
        {{"put getLast(\"abc\")"}, "13: getLast() needs a list, not \"abc\""},
        {{"put getLast()"}, "5: getLast() takes one list"},
        {{"put duplicate(1, 2)"}, "5: duplicate() takes one value"},
    });
    // A failed edit changes nothing.
    const Outcome run = RunLines({"l = [1, 2]", "setAt(l, 5, l)", "deleteAt(l, 9)", "put l"});
    EXPECT_EQ(run.out, "-- [1, 2]\n");
}

TEST(ConsoleFunctions, Conversions) {
    ExpectPrinted({
        {{"put string(5)"}, "-- \"5\"\n"},
        {{"put string(-12)"}, "-- \"-12\"\n"},
        {{"put string(2.5)"}, "-- \"2.5000\"\n"},
        {{"put string(\"as is\")"}, "-- \"as is\"\n"},
        {{"put string(#abc)"}, "-- \"abc\"\n"},
        {{"put string(VOID)"}, "-- \"\"\n"},
        {{"put string([1, \"a\", #b])"}, "-- \"[1, \"a\", #b]\"\n"},
        {{"put string([:])"}, "-- \"[:]\"\n"},
        {{"put string(new(xtra \"Tesmar\"))"}, "-- \"<Object \"Tesmar\" 1>\"\n"},
        {{"put integer(7)"}, "-- 7\n"},
        {{"put integer(2.4)"}, "-- 2\n"},
        {{"put integer(2.5)"}, "-- 3\n"},
        {{"put integer(-2.5)"}, "-- -3\n"},
        {{"put integer(-0.4)"}, "-- 0\n"},
        {{"put integer(2147483647.4)"}, "-- 2147483647\n"},
        {{"put integer(\"12\")"}, "-- 12\n"},
        {{"put integer(\" -12 \")"}, "-- -12\n"},
        {{"put integer(\"+3\")"}, "-- 3\n"},
        {{"put integer(\"3.7\")"}, "-- 4\n"},
        {{"put integer(\"-2147483648\")"}, "-- -2147483648\n"},
        {{"put integer(\"x\")"}, "-- <Void>\n"},
        {{"put integer(\"12x\")"}, "-- <Void>\n"},
        {{"put integer(\"1 2\")"}, "-- <Void>\n"},
        {{"put integer(\"\")"}, "-- <Void>\n"},
        {{"put integer(\"-\")"}, "-- <Void>\n"},
        {{"put integer(\".\")"}, "-- <Void>\n"},
        {{"put integer(\"1e3\")"}, "-- <Void>\n"},
        {{"put integer(VOID)"}, "-- <Void>\n"},
        {{"put float(5)"}, "-- 5.0000\n"},
        {{"put float(2.25)"}, "-- 2.2500\n"},
        {{"put float(\"2.5\")"}, "-- 2.5000\n"},
        {{"put float(\".5\")"}, "-- 0.5000\n"},
        {{"put float(\"-7\")"}, "-- -7.0000\n"},
        {{"put float(\"two\")"}, "-- <Void>\n"},
        {{"put float(VOID)"}, "-- <Void>\n"},
        {{"put value(\"12\")"}, "-- 12\n"},
        {{"put value(\" -3 \")"}, "-- -3\n"},
        {{"put value(\"-2.5\")"}, "-- -2.5000\n"},
        {{"put value(\"#noteOn\")"}, "-- #noteOn\n"},
        {{"put value(QUOTE & \"hi\" & QUOTE)"}, "-- \"hi\"\n"},
        {{"put value(\"[1, 2]\")"}, "-- [1, 2]\n"},
        {{"put value(\"[#a: [1, -2], #b: [:], #c: VOID]\")"},
         "-- [#a: [1, -2], #b: [:], #c: <Void>]\n"},
        {{"put value(\"[]\")"}, "-- []\n"},
        {{"put value(\"TRUE\")"}, "-- 1\n"},
        {{"put value(\"VOID\")"}, "-- <Void>\n"},
        {{"put value(\"12 -- a comment\")"}, "-- 12\n"},
        {{"put value(\"\")"}, "-- <Void>\n"},
        {{"put value(\"[1, 2\")"}, "-- <Void>\n"},
        {{"put value(\"1 2\")"}, "-- <Void>\n"},
        {{"put value(\"?\")"}, "-- <Void>\n"},
        // Literals only: no variable is read, nothing is called or computed.
        {{"x = 5", "put value(\"x\")"}, "-- <Void>\n"},
        {{"put value(\"1 + 2\")"}, "-- <Void>\n"},
        {{"put value(\"[1, count([2])]\")"}, "-- <Void>\n"},
        {{"put value(\"new(xtra \" & QUOTE & \"Tesmar\" & QUOTE & \")\")"}, "-- <Void>\n"},
        {{"put value(\"the milliseconds\")"}, "-- <Void>\n"},
        {{"put value(\"sprite(1)\")"}, "-- <Void>\n"},
        // A value that is no text is its own value.
        {{"put value(7)"}, "-- 7\n"},
        {{"put value([1])"}, "-- [1]\n"},
        {{"put symbol(\"noteOn\")"}, "-- #noteOn\n"},
        {{"put symbol(#a)"}, "-- #a\n"},
        {{"put symbol(\"\")"}, "-- <Void>\n"},
        {{"put symbol(\"noteon\") = #noteOn"}, "-- 1\n"},
        {{"put ilk(1)"}, "-- #integer\n"},
        {{"put ilk(1.5)"}, "-- #float\n"},
        {{"put ilk(\"a\")"}, "-- #string\n"},
        {{"put ilk(#a)"}, "-- #symbol\n"},
        {{"put ilk(VOID)"}, "-- #void\n"},
        {{"put ilk([])"}, "-- #list\n"},
        {{"put ilk([:])"}, "-- #propList\n"},
        {{"put ilk(new(xtra \"Tesmar\"))"}, "-- #instance\n"},
        {{"put [integerP(1), integerP(1.0), integerP(\"1\"), integerP(VOID)]"},
         "-- [1, 0, 0, 0]\n"},
        {{"put [floatP(1.0), floatP(1)]"}, "-- [1, 0]\n"},
        {{"put [stringP(\"\"), stringP(#a)]"}, "-- [1, 0]\n"},
        {{"put [symbolP(#a), symbolP(\"a\")]"}, "-- [1, 0]\n"},
        {{"put [listP([]), listP([:]), listP(\"[]\"), listP(VOID)]"}, "-- [1, 1, 0, 0]\n"},
    });
}

TEST(ConsoleFunctions, ConversionErrors) {
    ExpectErrors({
        {{"put integer([1])"}, "13: integer() needs a number or a string, not [1]"},
        {{"put integer(#a)"}, "13: integer() needs a number or a string, not #a"},
        {{"put integer(2147483647.5)"},
         "13: integer() needs a number within 32 bits, not 2147483647.5000"},
        {{"put integer(\"3000000000\")"},
         "13: integer() needs a number within 32 bits, not \"3000000000\""},
        {{"put integer()"}, "5: integer() takes one value"},
        {{"put float([:])"}, "11: float() needs a number or a string, not [:]"},
        {{"put symbol(5)"}, "12: symbol() needs a string, not 5"},
        {{"put symbol(VOID)"}, "12: symbol() needs a string, not <Void>"},
        {{"put value(\"1\", 2)"}, "5: value() takes one text"},
        {{"put string()"}, "5: string() takes one value"},
        {{"put ilk(1, #integer)"}, "5: ilk() takes one value"},
        {{"put listP()"}, "5: listP() takes one value"},
    });
}

TEST(ConsoleFunctions, Maths) {
    ExpectPrinted({
        {{"put abs(-5)"}, "-- 5\n"},
        {{"put abs(5)"}, "-- 5\n"},
        {{"put abs(0)"}, "-- 0\n"},
        {{"put abs(-2.5)"}, "-- 2.5000\n"},
        {{"put abs(2147483647)"}, "-- 2147483647\n"},
        {{"put max(1, 5, 3)"}, "-- 5\n"},
        {{"put max(-1, -5)"}, "-- -1\n"},
        {{"put max(7)"}, "-- 7\n"},
        {{"put max(1, 2.5)"}, "-- 2.5000\n"},
        {{"put max(2, 2.0)"}, "-- 2\n"},
        {{"put max([4, 9, 2])"}, "-- 9\n"},
        {{"put max([#a: 4, #b: 9])"}, "-- 9\n"},
        {{"put max([])"}, "-- <Void>\n"},
        {{"put max([:])"}, "-- <Void>\n"},
        {{"put max(\"b\", \"A\", \"c\")"}, "-- \"c\"\n"},
        {{"put max(\"B\", \"b\")"}, "-- \"B\"\n"},
        {{"put min(1, 5, 3)"}, "-- 1\n"},
        {{"put min([4, 2.5, 9])"}, "-- 2.5000\n"},
        {{"put min([])"}, "-- <Void>\n"},
        {{"put min(\"b\", \"A\")"}, "-- \"A\"\n"},
        {{"put min(-2147483648, 0)"}, "-- -2147483648\n"},
        {{"put random(1)"}, "-- 1\n"},
        {{"put bitAnd(12, 10)"}, "-- 8\n"},
        {{"put bitOr(12, 10)"}, "-- 14\n"},
        {{"put bitXor(12, 10)"}, "-- 6\n"},
        {{"put bitNot(0)"}, "-- -1\n"},
        {{"put bitNot(-1)"}, "-- 0\n"},
        {{"put bitNot(5)"}, "-- -6\n"},
        {{"put bitNot(2147483647)"}, "-- -2147483648\n"},
        {{"put bitAnd(-1, 255)"}, "-- 255\n"},
        {{"put bitAnd(-256, 511)"}, "-- 256\n"},
        {{"put bitOr(-2147483648, 1)"}, "-- -2147483647\n"},
        {{"put bitXor(-1, 15)"}, "-- -16\n"},
        {{"put bitXor(-2147483648, -1)"}, "-- 2147483647\n"},
    });
}

TEST(ConsoleFunctions, MathErrors) {
    ExpectErrors({
        {{"put abs(\"5\")"}, "9: abs() needs a number, not \"5\""},
        {{"put abs(-2147483648)"}, "9: integer overflow"},
        {{"put abs()"}, "5: abs() takes one number"},
        {{"put max()"}, "5: max() takes a list, or values to compare"},
        {{"put max(1, \"a\")"}, "12: max() compares numbers or strings, not 1 and \"a\""},
        {{"put min([1, #a])"}, "9: min() needs numbers or strings, not #a"},
        {{"put max([1], 2)"}, "9: max() needs numbers or strings, not [1]"},
        {{"put max(VOID)"}, "9: max() needs numbers or strings, not <Void>"},
        {{"put random(0)"}, "12: random() needs a positive integer, not 0"},
        {{"put random(-5)"}, "12: random() needs a positive integer, not -5"},
        {{"put random(2.5)"}, "12: random() needs a positive integer, not 2.5000"},
        {{"put random()"}, "5: random() takes one positive integer"},
        {{"put bitAnd(1, 2.0)"}, "15: bitAnd() needs integers, not 2.0000"},
        {{"put bitOr(\"1\", 2)"}, "11: bitOr() needs integers, not \"1\""},
        {{"put bitXor(1)"}, "5: bitXor() takes two integers"},
        {{"put bitNot(VOID)"}, "12: bitNot() needs an integer, not <Void>"},
    });
}

// The same seed on every run: two consoles draw the same numbers, each from
// 1 to n, every one of them in time.
TEST(ConsoleFunctions, RandomIsTheSameOnEveryRun) {
    std::vector<std::string> lines = {"r = []", "repeat with i = 1 to 600", "  add(r, random(6))",
                                      "end repeat", "put r"};
    const Outcome first = RunLines(lines);
    const Outcome second = RunLines(lines);
    ASSERT_EQ(first.err, "");
    EXPECT_EQ(first.out, second.out);
    std::set<char> seen;
    for (const char c : first.out) {
        if (c >= '0' && c <= '9') {
            EXPECT_TRUE(c >= '1' && c <= '6') << first.out;
            seen.insert(c);
        }
    }
    EXPECT_EQ(seen.size(), 6U);
    // The first draws of the fixed seed, as docs/console.md promises them.
    EXPECT_EQ(RunLines({"put [random(10), random(10), random(10), random(100)]"}).out,
              "-- [3, 3, 5, 86]\n");
    // Large ranges reach the top of the integers.
    EXPECT_EQ(RunLines({"put random(2147483647) > 0"}).out, "-- 1\n");
}

TEST(ConsoleFunctions, Strings) {
    ExpectPrinted({
        {{"put length(\"abc\")"}, "-- 3\n"},
        {{"put length(\"\")"}, "-- 0\n"},
        {{"put length(EMPTY)"}, "-- 0\n"},
        {{"put chars(\"abcdef\", 2, 4)"}, "-- \"bcd\"\n"},
        {{"put chars(\"abcdef\", 1, 1)"}, "-- \"a\"\n"},
        {{"put chars(\"abcdef\", 6, 6)"}, "-- \"f\"\n"},
        {{"put chars(\"abcdef\", 1, 6)"}, "-- \"abcdef\"\n"},
        {{"put chars(\"abcdef\", 4, 99)"}, "-- \"def\"\n"},
        {{"put chars(\"abcdef\", -5, 2)"}, "-- \"ab\"\n"},
        {{"put chars(\"abcdef\", 7, 9)"}, "-- \"\"\n"},
        {{"put chars(\"abcdef\", 4, 3)"}, "-- \"\"\n"},
        {{"put chars(\"abcdef\", 0, 0)"}, "-- \"\"\n"},
        {{"put chars(\"abc\", -2147483648, 2147483647)"}, "-- \"abc\"\n"},
        {{"put chars(\"\", 1, 1)"}, "-- \"\"\n"},
        {{"put offset(\"cd\", \"abcdcd\")"}, "-- 3\n"},
        {{"put offset(\"CD\", \"abcd\")"}, "-- 3\n"},
        {{"put offset(\"b\", \"ABC\")"}, "-- 2\n"},
        {{"put offset(\"x\", \"abc\")"}, "-- 0\n"},
        {{"put offset(\"abcd\", \"abc\")"}, "-- 0\n"},
        {{"put offset(\"\", \"abc\")"}, "-- 1\n"},
        {{"put offset(\"a\", \"\")"}, "-- 0\n"},
        {{"put numToChar(65)"}, "-- \"A\"\n"},
        {{"put numToChar(32) = SPACE"}, "-- 1\n"},
        {{"put charToNum(\"A\")"}, "-- 65\n"},
        {{"put charToNum(\"abc\")"}, "-- 97\n"},
        {{"put charToNum(\"\")"}, "-- 0\n"},
        {{"put charToNum(numToChar(255))"}, "-- 255\n"},
        {{"put charToNum(numToChar(1))"}, "-- 1\n"},
    });
}

TEST(ConsoleFunctions, StringErrors) {
    ExpectErrors({
        {{"put length(5)"}, "12: length() needs a string, not 5"},
        {{"put length(#abc)"}, "12: length() needs a string, not #abc"},
        {{"put length()"}, "5: length() takes one string"},
        {{"put chars([1], 1, 1)"}, "11: chars() needs a string, not [1]"},
        {{"put chars(\"abc\", \"1\", 2)"}, "18: chars() needs a position, not \"1\""},
        {{"put chars(\"abc\", 1, 2.0)"}, "21: chars() needs a position, not 2.0000"},
        {{"put chars(\"abc\", 1)"}, "5: chars() takes a string and two positions"},
        {{"put offset(1, \"abc\")"}, "12: offset() needs a string, not 1"},
        {{"put offset(\"a\", VOID)"}, "17: offset() needs a string, not <Void>"},
        {{"put numToChar(0)"}, "15: numToChar() needs a character code from 1 to 255, not 0"},
        {{"put numToChar(256)"}, "15: numToChar() needs a character code from 1 to 255, not 256"},
        {{"put numToChar(\"A\")"},
         "15: numToChar() needs a character code from 1 to 255, not \"A\""},
        {{"put charToNum(65)"}, "15: charToNum() needs a string, not 65"},
    });
}

// The functions are the language's: no handler takes their names, and a
// call with the dot or without parentheses reaches them as any other.
TEST(ConsoleFunctions, NamesAndCallForms) {
    const Outcome run =
        RunLines({"on max a", "  return a", "end", "l = [3, 1]", "l.deleteAt(1)", "deleteOne l, 1",
                  "put [l, l.getLast()]", "put \"abc\".length()"});
    EXPECT_EQ(run.out, "-- [[], <Void>]\n-- 3\n");
    EXPECT_EQ(run.err,
              "line 1, column 1: 'max' is a function of the language; no handler can take its "
              "name\n");
}

}  // namespace
}  // namespace console
