// The value store through the services the plug-in sees: printing, symbols,
// conversions, list access and reference accounting.
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "hostsim/sim_host.h"

namespace {

using hostsim::Kind;
using hostsim::SimHost;

struct PrintCase {
    const char* expected;
    std::function<ScriptValue(SimHost&)> make;
};

TEST(SimHostValues, PrintsAsTheMessageWindow) {
    const PrintCase cases[] = {
        {"0", [](SimHost& h) { return h.Integer(0); }},
        {"-2147483648", [](SimHost& h) { return h.Integer(INT32_MIN); }},
        {"2.5000", [](SimHost& h) { return h.Float(2.5); }},
        {"-0.1250", [](SimHost& h) { return h.Float(-0.125); }},
        {"\"Loopback\"", [](SimHost& h) { return h.String("Loopback"); }},
        {"\"\"", [](SimHost& h) { return h.String(""); }},
        {"#noteOn", [](SimHost& h) { return h.SymbolValue("noteOn"); }},
        {"<Void>", [](SimHost& h) { return h.Void(); }},
        {"<Object Tesmar>", [](SimHost& h) { return h.Object("Tesmar", 7); }},
        {"[]", [](SimHost& h) { return h.NewList(); }},
        {"[:]", [](SimHost& h) { return h.NewPropList(); }},
        {"[1, \"a\", #b, <Void>]",
         [](SimHost& h) {
             ScriptValue list = h.NewList();
             ScriptValue items[] = {h.Integer(1), h.String("a"), h.SymbolValue("b"), h.Void()};
             for (ScriptValue& item : items) {
                 h.Append(list, item);
                 h.Release(item);
             }
             return list;
         }},
        {"[#code: 0, #text: \"No error\"]",
         [](SimHost& h) {
             ScriptValue prop = h.NewPropList();
             ScriptValue code = h.Integer(0);
             ScriptValue text = h.String("No error");
             h.AppendPair(prop, "code", code);
             h.AppendPair(prop, "text", text);
             h.Release(code);
             h.Release(text);
             return prop;
         }},
        {"[[1.0000], [#data: []]]",
         [](SimHost& h) {
             ScriptValue outer = h.NewList();
             ScriptValue inner = h.NewList();
             ScriptValue real = h.Float(1);
             h.Append(inner, real);
             ScriptValue prop = h.NewPropList();
             ScriptValue empty = h.NewList();
             h.AppendPair(prop, "data", empty);
             h.Append(outer, inner);
             h.Append(outer, prop);
             for (ScriptValue* v : {&inner, &real, &prop, &empty}) {
                 h.Release(*v);
             }
             return outer;
         }},
    };
    for (const PrintCase& c : cases) {
        SimHost host;
        ScriptValue value = c.make(host);
        EXPECT_EQ(host.Print(value), c.expected);
        host.Release(value);
        EXPECT_EQ(host.LiveValues(), 0) << c.expected;
        EXPECT_EQ(host.BadReleases(), 0) << c.expected;
    }
}

TEST(SimHostValues, SymbolsIgnoreCaseAndKeepTheirFirstSpelling) {
    SimHost host;
    HostValueService& values = host.values();
    Symbol first = 0;
    Symbol second = 0;
    Symbol other = 0;
    ASSERT_EQ(values.StringToSymbol("noteOn", &first), kHostOk);
    ASSERT_EQ(values.StringToSymbol("NOTEON", &second), kHostOk);
    ASSERT_EQ(values.StringToSymbol("noteOff", &other), kHostOk);
    EXPECT_EQ(first, second);
    EXPECT_NE(first, other);
    EXPECT_EQ(host.Intern("noteon"), first);
    EXPECT_EQ(host.SymbolName(first), "noteOn");

    ScriptValue value{};
    ASSERT_EQ(values.SymbolToValue(second, &value), kHostOk);
    EXPECT_EQ(host.Print(value), "#noteOn");
    Symbol back = 0;
    EXPECT_EQ(values.ValueToSymbol(&value, &back), kHostOk);
    EXPECT_EQ(back, first);
    values.ValueRelease(&value);

    // An unknown Symbol makes no value.
    EXPECT_NE(values.SymbolToValue(9999, &value), kHostOk);
    EXPECT_EQ(host.KindOf(value), Kind::Void);
    EXPECT_EQ(host.LiveValues(), 0);
}

TEST(SimHostValues, TypesAndConversionsAcceptOnlyTheirKind) {
    SimHost host;
    HostValueService& values = host.values();
    struct Row {
        ScriptValue value;
        int32_t type;
        bool isInteger;
        bool isSymbol;
    };
    Row rows[] = {
        {host.Integer(-5), 1, true, false},     {host.SymbolValue("a"), 2, false, true},
        {host.String("a"), 3, false, false},    {host.Float(3.0), 4, false, false},
        {host.NewPropList(), 6, false, false},  {host.NewList(), 7, false, false},
        {host.Object("x", 1), 8, false, false}, {host.Void(), 0, false, false},
    };
    for (Row& row : rows) {
        const std::string printed = host.Print(row.value);
        int32_t type = -1;
        values.ValueType(&row.value, &type);
        EXPECT_EQ(type, row.type) << printed;
        int32_t integer = 77;
        EXPECT_EQ(values.ValueToInteger(&row.value, &integer) == kHostOk, row.isInteger) << printed;
        EXPECT_EQ(integer, row.isInteger ? -5 : 77) << printed;
        Symbol symbol = 0;
        EXPECT_EQ(values.ValueToSymbol(&row.value, &symbol) == kHostOk, row.isSymbol) << printed;
        EXPECT_EQ(host.lists().CountElements(&row.value), 0) << printed;
        host.Release(row.value);
    }
    EXPECT_EQ(host.LiveValues(), 0);
    EXPECT_EQ(host.BadReleases(), 0);
}

TEST(SimHostValues, ListsAreReadByPositionAndKeepTheirOwnReferences) {
    SimHost host;
    HostValueService& values = host.values();
    HostListService& lists = host.lists();

    ScriptValue list{};
    ScriptValue prop{};
    ASSERT_EQ(lists.NewList(&list), kHostOk);
    ASSERT_EQ(lists.NewPropList(&prop), kHostOk);
    Symbol keySymbol = 0;
    values.StringToSymbol("velocity", &keySymbol);
    ScriptValue key{};
    values.SymbolToValue(keySymbol, &key);
    for (int32_t i = 1; i <= 3; ++i) {
        ScriptValue item{};
        values.IntegerToValue(i * 10, &item);
        EXPECT_EQ(lists.AppendToList(&list, &item), kHostOk);
        EXPECT_EQ(lists.AppendToPropList(&prop, &key, &item), kHostOk);
        values.ValueRelease(&item);  // the lists still hold it
    }
    values.ValueRelease(&key);
    EXPECT_EQ(host.LiveValues(), 2);
    EXPECT_EQ(host.Print(list), "[10, 20, 30]");
    EXPECT_EQ(host.Print(prop), "[#velocity: 10, #velocity: 20, #velocity: 30]");
    EXPECT_EQ(lists.CountElements(&list), 3);
    EXPECT_EQ(lists.CountElements(&prop), 3);
    EXPECT_EQ(host.KeyAt(prop, 2), "velocity");

    for (ScriptValue* source : {&list, &prop}) {
        ScriptValue got{};
        ASSERT_EQ(lists.GetValueByIndex(source, 2, &got), kHostOk);
        int32_t integer = 0;
        EXPECT_EQ(values.ValueToInteger(&got, &integer), kHostOk);
        EXPECT_EQ(integer, 20);
        EXPECT_EQ(host.LiveValues(), 3);  // a new reference for the caller
        values.ValueRelease(&got);
        for (int32_t position : {0, -1, 4, INT32_MAX}) {
            EXPECT_NE(lists.GetValueByIndex(source, position, &got), kHostOk) << position;
            EXPECT_EQ(host.KindOf(got), Kind::Void);
        }
    }
    ScriptValue notList = host.Integer(1);
    ScriptValue got{};
    EXPECT_NE(lists.GetValueByIndex(&notList, 1, &got), kHostOk);
    EXPECT_NE(lists.AppendToList(&notList, &notList), kHostOk);
    EXPECT_NE(lists.AppendToList(&prop, &notList), kHostOk);  // a pair needs a key
    EXPECT_NE(lists.AppendToPropList(&list, &notList, &notList), kHostOk);
    host.Release(notList);

    // A list cannot be put inside itself: it would never be freed.
    EXPECT_NE(lists.AppendToList(&list, &list), kHostOk);
    ScriptValue outer = host.NewList();
    host.Append(outer, list);
    EXPECT_NE(lists.AppendToList(&list, &outer), kHostOk);
    host.Release(outer);

    values.ValueRelease(&list);
    values.ValueRelease(&prop);
    EXPECT_EQ(host.LiveValues(), 0);
    EXPECT_EQ(host.BadReleases(), 0);
}

TEST(SimHostValues, BadReleasesAreCountedNeverFollowed) {
    SimHost host;
    SimHost other;
    HostValueService& values = host.values();

    ScriptValue integer{};
    values.IntegerToValue(1, &integer);  // even integers are live values
    EXPECT_EQ(host.LiveValues(), 1);
    ScriptValue copy = host.Copy(integer);
    EXPECT_EQ(host.LiveValues(), 2);
    EXPECT_EQ(values.ValueRelease(&integer), kHostOk);
    EXPECT_NE(values.ValueRelease(&integer), kHostOk);  // double release
    EXPECT_EQ(host.BadReleases(), 1);
    EXPECT_EQ(host.IntegerOf(copy), 1);

    // A stale handle whose slot was taken again does not release the newcomer.
    ScriptValue stale = copy;
    values.ValueRelease(&copy);
    ScriptValue newcomer = host.String("new");
    EXPECT_NE(values.ValueRelease(&stale), kHostOk);
    EXPECT_EQ(host.Print(newcomer), "\"new\"");
    int32_t type = -1;
    values.ValueType(&stale, &type);
    EXPECT_EQ(type, 0);
    EXPECT_GE(host.BadUses(), 1);

    // A value of another host is foreign here.
    ScriptValue foreign = other.Integer(3);
    EXPECT_NE(values.ValueRelease(&foreign), kHostOk);
    EXPECT_EQ(other.LiveValues(), 1);
    other.Release(foreign);

    ScriptValue garbage = {{0xFFFFFFFFu, 0x12345678u}};
    EXPECT_NE(values.ValueRelease(&garbage), kHostOk);
    EXPECT_NE(values.ValueRelease(nullptr), kHostOk);
    EXPECT_EQ(host.BadReleases(), 5);

    // The Void a result slot starts as is no value: releasing it is harmless.
    ScriptValue empty = host.Void();
    EXPECT_EQ(values.ValueRelease(&empty), kHostOk);
    EXPECT_EQ(host.BadReleases(), 5);

    host.Release(newcomer);
    EXPECT_EQ(host.LiveValues(), 0);
    EXPECT_EQ(other.LiveValues(), 0);
}

TEST(SimHostValues, LeakReportNamesEveryLiveValueAndBlock) {
    SimHost host;
    EXPECT_EQ(host.LeakReport(), "");
    ScriptValue list = host.NewList();
    ScriptValue text = host.String("kept");
    host.Append(list, text);
    void* block = host.memory().Alloc(24);
    const std::string report = host.LeakReport();
    EXPECT_NE(report.find("list: [\"kept\"]"), std::string::npos) << report;
    EXPECT_NE(report.find("string: \"kept\""), std::string::npos) << report;
    EXPECT_NE(report.find("24 bytes"), std::string::npos) << report;
    host.Release(list);
    host.Release(text);
    host.memory().Free(block);
    EXPECT_EQ(host.LeakReport(), "");
}

}  // namespace
