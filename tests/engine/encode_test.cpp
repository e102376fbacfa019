// SendMessage: the table of message types, every boundary, and the order of
// the checks.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "test_engine.h"
#include "tests/common/message_list.h"

namespace {

class EncodeTest : public EngineTest {
public:
    void SetUp() override {
        EngineTest::SetUp();
        engine->OpenOutput(0);
    }
    // [#type, numbers...] as a linear list.
    ScriptValue Message(const char* type, const std::vector<int32_t>& numbers) {
        return Keep(tesmar_test::MessageList(host, type, numbers));
    }
};

TEST_F(EncodeTest, ShortMessagesAndBoundaries) {
    struct Case {
        const char* type;
        std::vector<int32_t> numbers;
        StatusCode code;
        SentShort sent;  // checked when code is 0
    };
    const Case cases[] = {
        {"noteOn", {1, 60, 100}, 0, {0x90, 0x3C, 0x64, 3}},
        {"noteOn", {16, 0, 0}, 0, {0x9F, 0, 0, 3}},  // velocity 0 sent as written
        {"noteOn", {0, 60, 100}, 12, {}},
        {"noteOn", {17, 60, 100}, 12, {}},
        {"noteOn", {1, 128, 100}, 12, {}},
        {"noteOn", {1, -1, 100}, 12, {}},
        {"noteOn", {1, 60, 128}, 12, {}},
        {"noteOn", {1, 60}, 11, {}},
        {"noteOff", {2, 127, 127}, 0, {0x81, 0x7F, 0x7F, 3}},
        {"polyKeyPressure", {3, 1, 2}, 0, {0xA2, 1, 2, 3}},
        {"controlChange", {4, 123, 0}, 0, {0xB3, 0x7B, 0, 3}},
        {"programChange", {5, 127}, 0, {0xC4, 0x7F, 0, 2}},
        {"programChange", {5}, 11, {}},
        {"channelPressure", {6, 64}, 0, {0xD5, 0x40, 0, 2}},
        {"channelPressure", {6, 128}, 12, {}},
        {"pitchBend", {7, 0}, 0, {0xE6, 0x00, 0x40, 3}},
        {"pitchBend", {7, -8192}, 0, {0xE6, 0x00, 0x00, 3}},
        {"pitchBend", {7, 8191}, 0, {0xE6, 0x7F, 0x7F, 3}},
        {"pitchBend", {7, 8192}, 12, {}},
        {"pitchBend", {7, -8193}, 12, {}},
        {"pitchBend", {7, 2147483647}, 12, {}},  // no overflow of the offset sum
        {"localControlOff", {1}, 0, {0xB0, 0x7A, 0x00, 3}},
        {"localControlOn", {1}, 0, {0xB0, 0x7A, 0x7F, 3}},
        {"allNotesOff", {4}, 0, {0xB3, 0x7B, 0x00, 3}},
        {"omniModeOff", {1}, 0, {0xB0, 0x7C, 0x00, 3}},
        {"omniModeOn", {1}, 0, {0xB0, 0x7D, 0x00, 3}},
        {"monoModeOn", {1, 0}, 0, {0xB0, 0x7E, 0x00, 3}},
        {"monoModeOn", {1, 128}, 12, {}},
        {"monoModeOn", {1}, 11, {}},
        {"polyModeOn", {16}, 0, {0xBF, 0x7F, 0x00, 3}},
        {"polyModeOn", {}, 11, {}},
        {"mtcQuarterFrame", {7, 15}, 0, {0xF1, 0x7F, 0, 2}},
        {"mtcQuarterFrame", {3, 5}, 0, {0xF1, 0x35, 0, 2}},
        {"mtcQuarterFrame", {8, 0}, 12, {}},
        {"mtcQuarterFrame", {0, 16}, 12, {}},
        {"songPositionPointer", {16383}, 0, {0xF2, 0x7F, 0x7F, 3}},
        {"songPositionPointer", {128}, 0, {0xF2, 0x00, 0x01, 3}},
        {"songPositionPointer", {16384}, 12, {}},
        {"songPositionPointer", {-1}, 12, {}},
        {"songSelect", {127}, 0, {0xF3, 0x7F, 0, 2}},
        {"songSelect", {128}, 12, {}},
        {"tuneRequest", {}, 0, {0xF6, 0, 0, 1}},
        {"clock", {1, 2, 3}, 0, {0xF8, 0, 0, 1}},  // further entries ignored
        {"start", {}, 0, {0xFA, 0, 0, 1}},
        {"continue", {}, 0, {0xFB, 0, 0, 1}},
        {"stop", {}, 0, {0xFC, 0, 0, 1}},
        {"activeSensing", {}, 0, {0xFE, 0, 0, 1}},
        {"systemReset", {}, 0, {0xFF, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        engine->shortSent.clear();
        const std::string name = std::string(c.type) + " " + std::to_string(c.numbers.size());
        EXPECT_EQ(engine->SendMessage(Message(c.type, c.numbers)), c.code) << name;
        if (c.code == kStatusOk) {
            ASSERT_EQ(engine->shortSent.size(), 1u) << name;
            EXPECT_EQ(engine->shortSent[0], c.sent) << name;
        } else {
            EXPECT_TRUE(engine->shortSent.empty()) << name;
        }
    }
    EXPECT_TRUE(engine->longSent.empty());
}

TEST_F(EncodeTest, SystemExclusive) {
    struct Case {
        const char* name;
        std::function<ScriptValue(EncodeTest&)> message;
        StatusCode code;
        std::vector<uint8_t> data;
    };
    auto sysex = [](int32_t id, std::function<ScriptValue(EncodeTest&)> data) {
        return [id, data](EncodeTest& t) {
            return t.List({t.Sym("systemExclusive"), t.Int(id), data(t)});
        };
    };
    auto bytes = [](std::vector<int32_t> items) {
        return [items](EncodeTest& t) { return t.IntList(items); };
    };
    const Case cases[] = {
        {"empty data", sysex(0x43, bytes({})), 0, {}},
        {"data", sysex(0x43, bytes({16, 76, 0, 127})), 0, {16, 76, 0, 127}},
        {"128 in data", sysex(0x43, bytes({1, 128})), 12, {}},
        {"247 in data", sysex(0x43, bytes({247})), 12, {}},
        {"symbol in data", sysex(0x43, [](EncodeTest& t) { return t.List({t.Sym("x")}); }), 10, {}},
        {"string data", sysex(0x43, [](EncodeTest& t) { return t.Str("abc"); }), 4, {}},
        {"integer data", sysex(0x43, [](EncodeTest& t) { return t.Int(1); }), 4, {}},
        {"id out of range first", sysex(128, [](EncodeTest& t) { return t.Str("abc"); }), 12, {}},
        {"no data",
         [](EncodeTest& t) {
             return t.List({t.Sym("systemExclusive"), t.Int(1)});
         },
         11,
         {}},
        {"no id", [](EncodeTest& t) { return t.List({t.Sym("systemExclusive")}); }, 11, {}},
        {"property list data",
         sysex(0x43,
               [](EncodeTest& t) {
                   ScriptValue props = t.Keep(t.host.NewPropList());
                   t.host.AppendPair(props, "a", t.Int(1));
                   return props;
               }),
         4,
         {}},
        {"void in data",
         sysex(0x43,
               [](EncodeTest& t) {
                   return t.List({t.Int(1), t.host.Void()});
               }),
         10,
         {}},
        {"list in data",
         sysex(0x43, [](EncodeTest& t) { return t.List({t.IntList({1})}); }),
         10,
         {}},
    };
    for (const Case& c : cases) {
        engine->longSent.clear();
        EXPECT_EQ(engine->SendMessage(c.message(*this)), c.code) << c.name;
        if (c.code == kStatusOk) {
            ASSERT_EQ(engine->longSent.size(), 1u) << c.name;
            EXPECT_EQ(engine->longSent[0].manufacturerID, 0x43) << c.name;
            EXPECT_EQ(engine->longSent[0].count, static_cast<int32_t>(c.data.size())) << c.name;
            EXPECT_EQ(engine->longSent[0].data, c.data) << c.name;
        } else {
            EXPECT_TRUE(engine->longSent.empty()) << c.name;
        }
    }
    EXPECT_TRUE(engine->shortSent.empty());
}

TEST_F(EncodeTest, OrderOfChecks) {
    struct Case {
        const char* name;
        std::function<ScriptValue(EncodeTest&)> message;
        StatusCode code;
    };
    const Case cases[] = {
        {"empty list", [](EncodeTest& t) { return t.List({}); }, 9},
        {"void", [](EncodeTest& t) { return t.host.Void(); }, 9},
        {"not a list", [](EncodeTest& t) { return t.Int(3); }, 9},
        {"integers",
         [](EncodeTest& t) {
             return t.IntList({1, 2, 3});
         },
         8},
        {"string type",
         [](EncodeTest& t) {
             return t.List({t.Str("noteOn"), t.Int(1)});
         },
         8},
        {"category", [](EncodeTest& t) { return t.List({t.Sym("all")}); }, 7},
        {"property name", [](EncodeTest& t) { return t.List({t.Sym("channel")}); }, 7},
        {"unknown",
         [](EncodeTest& t) {
             return t.List({t.Sym("bogus"), t.Int(1)});
         },
         7},
        {"channel before the rest",
         [](EncodeTest& t) {
             return t.List({t.Sym("noteOn"), t.Int(17), t.Str("x")});
         },
         12},
        {"number before velocity",
         [](EncodeTest& t) {
             return t.List({t.Sym("noteOn"), t.Int(1), t.Float(1.5), t.Int(200)});
         },
         10},
        {"sub-frame before data",
         [](EncodeTest& t) {
             return t.List({t.Sym("mtcQuarterFrame"), t.Int(8), t.Str("x")});
         },
         12},
        {"channel not an integer",
         [](EncodeTest& t) {
             return t.List({t.Sym("allNotesOff"), t.Sym("channel")});
         },
         10},
        // Read by position: the names do not matter.
        {"own order",
         [](EncodeTest& t) {
             ScriptValue list = t.Keep(t.host.NewPropList());
             t.host.AppendPair(list, "type", t.Sym("noteOn"));
             t.host.AppendPair(list, "velocity", t.Int(100));
             t.host.AppendPair(list, "channel", t.Int(1));
             t.host.AppendPair(list, "number", t.Int(60));
             return list;
         },
         12},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(engine->SendMessage(c.message(*this)), c.code) << c.name;
    }
    EXPECT_TRUE(engine->shortSent.empty());

    // A property list sends what the linear list sends.
    ScriptValue props = Keep(host.NewPropList());
    host.AppendPair(props, "type", Sym("noteOn"));
    host.AppendPair(props, "channel", Int(1));
    host.AppendPair(props, "number", Int(60));
    host.AppendPair(props, "velocity", Int(100));
    host.AppendPair(props, "timestamp", Int(1234));
    EXPECT_EQ(engine->SendMessage(props), 0);
    EXPECT_EQ(engine->shortSent.back(), (SentShort{0x90, 0x3C, 0x64, 3}));

    // A received mode message carries no channel: sent back unchanged, the
    // timestamp at position 2 is read as the channel.
    ScriptValue received = Keep(host.NewPropList());
    host.AppendPair(received, "type", Sym("allNotesOff"));
    host.AppendPair(received, "timestamp", Int(5));
    EXPECT_EQ(engine->SendMessage(received), 0);
    EXPECT_EQ(engine->shortSent.back(), (SentShort{0xB4, 0x7B, 0x00, 3}));

    // The device layer's code comes back.
    engine->sendResult = kStatusDriverError;
    EXPECT_EQ(engine->SendMessage(Message("clock", {})), kStatusDriverError);

    // With no output open nothing is examined.
    engine->CloseOutput();
    engine->shortSent.clear();
    EXPECT_EQ(engine->SendMessage(List({})), 14);
    EXPECT_EQ(engine->SendMessage(Message("noteOn", {1, 60, 100})), 14);
    EXPECT_TRUE(engine->shortSent.empty());
}

TEST_F(EncodeTest, HostFailures) {
    struct Case {
        const char* operation;
        uint32_t nth;
        StatusCode code;
    };
    // [#noteOn, 1, 60, 100]: fetches 1..4, conversions of 2..4.
    const Case cases[] = {
        {"GetValueByIndex", 1, 9}, {"GetValueByIndex", 3, 11}, {"ValueToSymbol", 1, 8},
        {"ValueToInteger", 1, 10}, {"ValueToInteger", 3, 10},
    };
    for (const Case& c : cases) {
        host.FailCall(c.operation, c.nth);
        EXPECT_EQ(engine->SendMessage(Message("noteOn", {1, 60, 100})), c.code)
            << c.operation << c.nth;
        host.ClearFaults();
    }
    host.FailCall("GetValueByIndex", 3);  // the data list
    EXPECT_EQ(engine->SendMessage(List({Sym("systemExclusive"), Int(1), IntList({1})})), 11);
    EXPECT_TRUE(engine->shortSent.empty());
}

TEST_F(EncodeTest, ByteAndFourteenBitProperties) {
    const ScriptValue list = IntList({5, -5, 16383, 0x7FFFFFFF});
    uint8_t byte = 0, low = 0, high = 0;
    EXPECT_EQ(engine->ReadByteProperty(list, 1, 0, 5, byte), 0);
    EXPECT_EQ(byte, 5);
    EXPECT_EQ(engine->ReadByteProperty(list, 2, -5, 0, byte), 0);
    EXPECT_EQ(byte, 0xFB);  // the low 8 bits
    EXPECT_EQ(engine->ReadByteProperty(list, 1, 6, 7, byte), 12);
    EXPECT_EQ(engine->ReadByteProperty(list, 5, 0, 7, byte), 11);
    EXPECT_EQ(engine->Read14BitProperty(list, 3, 0, low, high), 0);
    EXPECT_EQ(low, 0x7F);
    EXPECT_EQ(high, 0x7F);
    EXPECT_EQ(engine->Read14BitProperty(list, 3, 1, low, high), 12);
    EXPECT_EQ(engine->Read14BitProperty(list, 4, 8192, low, high), 12);
    EXPECT_EQ(engine->Read14BitProperty(list, 0, 0, low, high), 11);
}

}  // namespace
