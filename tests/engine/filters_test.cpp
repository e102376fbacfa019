// The two filter methods: exact mask bytes, status codes, and what capture
// lets through afterwards.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

#include "queue_helpers.h"
#include "test_engine.h"

namespace {

using Masks = std::array<uint8_t, 16>;

Masks Fill(uint8_t byte) {
    Masks masks;
    masks.fill(byte);
    return masks;
}

Masks With(Masks masks, int index, uint8_t byte) {
    masks[index] = byte;
    return masks;
}

// typeMask after SetSystemFilter from the start: entries in use get bit 7
// only where `passed` has their bit.
Masks SystemMasks(uint16_t passed) {
    Masks masks = Fill(0xFF);
    for (int entry : {0, 1, 2, 3, 6, 7, 8, 10, 11, 12, 14, 15}) {
        masks[entry] = (passed >> entry) & 1 ? 0xFF : 0x7F;
    }
    return masks;
}

class FilterTest : public EngineTest {
public:
    Masks TypeMasks() const {
        Masks masks;
        for (int i = 0; i < 16; ++i) {
            masks[i] = engine->TypeMask(i);
        }
        return masks;
    }
    Masks ModeMasks() const {
        Masks masks;
        for (int i = 0; i < 16; ++i) {
            masks[i] = engine->ModeMask(i);
        }
        return masks;
    }
};

TEST_F(FilterTest, SystemFilterMasks) {
    struct Case {
        const char* name;
        std::function<ScriptValue(FilterTest&)> argument;
        StatusCode code;
        Masks typeMasks;
    };
    const Case cases[] = {
        {"none", [](FilterTest& t) { return t.Sym("none"); }, 0, SystemMasks(0)},
        {"[]", [](FilterTest& t) { return t.List({}); }, 0, SystemMasks(0)},
        {"clock", [](FilterTest& t) { return t.Sym("clock"); }, 0, SystemMasks(1 << 8)},
        {"stop", [](FilterTest& t) { return t.Sym("stop"); }, 0, SystemMasks(1 << 12)},
        {"continue", [](FilterTest& t) { return t.Sym("continue"); }, 0, SystemMasks(1 << 11)},
        {"realTime", [](FilterTest& t) { return t.Sym("realTime"); }, 0, SystemMasks(0xDD00)},
        {"common", [](FilterTest& t) { return t.Sym("common"); }, 0, SystemMasks(0x00CF)},
        {"systemExclusive", [](FilterTest& t) { return t.Sym("systemExclusive"); }, 0,
         SystemMasks(0x0081)},
        {"all", [](FilterTest& t) { return t.Sym("all"); }, 0, Fill(0xFF)},
        {"case-blind", [](FilterTest& t) { return t.Sym("CLOCK"); }, 0, SystemMasks(1 << 8)},
        {"list",
         [](FilterTest& t) {
             return t.List({t.Sym("start"), t.Sym("songSelect"), t.Sym("start")});
         },
         0, SystemMasks(1 << 10 | 1 << 3)},
        {"list with unknown",
         [](FilterTest& t) {
             return t.List({t.Sym("clock"), t.Sym("bogus"), t.Sym("tuneRequest")});
         },
         7, SystemMasks(1 << 8 | 1 << 6)},
        {"list with integer",
         [](FilterTest& t) {
             return t.List({t.Int(3), t.Sym("clock"), t.Sym("noteOn")});
         },
         7, SystemMasks(1 << 8)},
        {"list ending in integer",
         [](FilterTest& t) {
             return t.List({t.Sym("noteOn"), t.Sym("clock"), t.Str("x")});
         },
         4, SystemMasks(1 << 8)},
        {"integer", [](FilterTest& t) { return t.Int(5); }, 4, SystemMasks(0)},
        {"string", [](FilterTest& t) { return t.Str("clock"); }, 4, SystemMasks(0)},
        {"channel word", [](FilterTest& t) { return t.Sym("noteOn"); }, 7, SystemMasks(0)},
    };
    for (const Case& c : cases) {
        NewEngine();
        const ScriptValue argument = c.argument(*this);
        EXPECT_EQ(engine->SetSystemFilter(argument), c.code) << c.name;
        EXPECT_EQ(TypeMasks(), c.typeMasks) << c.name;
        EXPECT_EQ(ModeMasks(), Fill(0xFF)) << c.name;
    }
    // A call replaces the whole earlier setting.
    engine->SetSystemFilter(Sym("all"));
    engine->SetSystemFilter(Sym("clock"));
    EXPECT_EQ(TypeMasks(), SystemMasks(1 << 8));
}

TEST_F(FilterTest, ChannelFilterMasks) {
    struct Case {
        const char* name;
        std::function<ScriptValue(FilterTest&)> types;
        std::function<ScriptValue(FilterTest&)> channels;
        StatusCode code;
        Masks typeMasks;
        Masks modeMasks;
    };
    auto sym = [](const char* name) { return [name](FilterTest& t) { return t.Sym(name); }; };
    auto integer = [](int32_t value) { return [value](FilterTest& t) { return t.Int(value); }; };
    const Masks all = Fill(0xFF);
    const Case cases[] = {
        {"note on 3", sym("note"), integer(3), 0, With(all, 2, 0x83), With(all, 2, 0x80)},
        {"note everywhere", sym("note"), integer(0), 0, Fill(0x83), Fill(0x80)},
        {"noteOff", sym("noteOff"), integer(1), 0, With(all, 0, 0x81), With(all, 0, 0x80)},
        {"polyKeyPressure", sym("polyKeyPressure"), integer(1), 0, With(all, 0, 0x84),
         With(all, 0, 0x80)},
        {"controlChange", sym("controlChange"), integer(1), 0, With(all, 0, 0x88),
         With(all, 0, 0x80)},
        {"programChange", sym("programChange"), integer(1), 0, With(all, 0, 0x90),
         With(all, 0, 0x80)},
        {"channelPressure", sym("channelPressure"), integer(16), 0, With(all, 15, 0xA0),
         With(all, 15, 0x80)},
        {"pitchBend", sym("pitchBend"), integer(1), 0, With(all, 0, 0xC0), With(all, 0, 0x80)},
        {"voice", sym("voice"), integer(1), 0, all, With(all, 0, 0x80)},
        {"localControlOff", sym("localControlOff"), integer(1), 0, With(all, 0, 0x80),
         With(all, 0, 0x81)},
        {"monoModeOn", sym("monoModeOn"), integer(1), 0, With(all, 0, 0x80), With(all, 0, 0xA0)},
        {"polyModeOn", sym("polyModeOn"), integer(1), 0, With(all, 0, 0x80), With(all, 0, 0xC0)},
        {"mode", sym("mode"), integer(1), 0, With(all, 0, 0x80), all},
        {"all", sym("all"), integer(1), 0, all, all},
        {"none", sym("none"), integer(1), 0, With(all, 0, 0x80), With(all, 0, 0x80)},
        {"empty names", [](FilterTest& t) { return t.List({}); }, integer(2), 0, With(all, 1, 0x80),
         With(all, 1, 0x80)},
        {"unknown", sym("bogus"), integer(1), 7, With(all, 0, 0x80), With(all, 0, 0x80)},
        {"system word", sym("realTime"), integer(1), 7, With(all, 0, 0x80), With(all, 0, 0x80)},
        {"names not symbol", integer(3), integer(1), 4, With(all, 0, 0x80), With(all, 0, 0x80)},
        {"name list",
         [](FilterTest& t) {
             return t.List({t.Sym("noteOn"), t.Int(1), t.Sym("allNotesOff")});
         },
         integer(1), 4, With(all, 0, 0x82), With(all, 0, 0x84)},
        {"channel list", [](FilterTest& t) { return t.List({t.Sym("noteOn")}); },
         [](FilterTest& t) {
             return t.IntList({2, 4, 2});
         },
         0, With(With(all, 1, 0x82), 3, 0x82), With(With(all, 1, 0x80), 3, 0x80)},
        // Failures in the channels change nothing.
        {"channel 17", sym("all"), integer(17), 6, all, all},
        {"channel -1", sym("all"), integer(-1), 6, all, all},
        {"channel list with 17", sym("none"),
         [](FilterTest& t) {
             return t.IntList({1, 17});
         },
         6, all, all},
        {"channel list with 0", sym("none"), [](FilterTest& t) { return t.IntList({0}); }, 6, all,
         all},
        {"channel list with symbol", sym("none"),
         [](FilterTest& t) {
             return t.List({t.Sym("x"), t.Int(99)});
         },
         6, all, all},
        {"channel list ending in symbol", sym("none"),
         [](FilterTest& t) {
             return t.List({t.Int(99), t.Sym("x")});
         },
         5, all, all},
        {"empty channel list", sym("none"), [](FilterTest& t) { return t.List({}); }, 0, all, all},
        {"empty channel list, bad name", sym("bogus"), [](FilterTest& t) { return t.List({}); }, 0,
         all, all},
        {"channels a symbol", sym("none"), sym("all"), 4, all, all},
        {"channels a string", sym("none"), [](FilterTest& t) { return t.Str("1"); }, 4, all, all},
    };
    for (const Case& c : cases) {
        NewEngine();
        const ScriptValue types = c.types(*this);
        const ScriptValue channels = c.channels(*this);
        EXPECT_EQ(engine->SetChannelFilter(types, channels), c.code) << c.name;
        EXPECT_EQ(TypeMasks(), c.typeMasks) << c.name;
        EXPECT_EQ(ModeMasks(), c.modeMasks) << c.name;
    }
}

TEST_F(FilterTest, HostFailuresGiveTheirCodes) {
    struct Case {
        const char* name;
        bool system;
        const char* operation;
        uint32_t nth;
        StatusCode code;
    };
    // Element fetches: 5 among names, 4 among channels. Conversions: 5 for a
    // lone symbol or integer and a channel element, 4 for a name element.
    const Case cases[] = {
        {"name element fetch", true, "GetValueByIndex", 1, 5},
        {"name element symbol", true, "ValueToSymbol", 2, 4},
        {"lone symbol", false, "ValueToSymbol", 1, 5},
        {"channel element fetch", false, "GetValueByIndex", 1, 4},
        {"channel element integer", false, "ValueToInteger", 1, 5},
    };
    for (const Case& c : cases) {
        NewEngine();
        host.FailCall(c.operation, c.nth);
        StatusCode code;
        if (c.system) {
            code = engine->SetSystemFilter(List({Sym("clock"), Sym("start")}));
        } else if (std::string(c.operation) == "ValueToSymbol") {
            code = engine->SetChannelFilter(Sym("note"), Int(0));
        } else {
            code = engine->SetChannelFilter(Sym("note"), IntList({1, 2}));
        }
        EXPECT_EQ(code, c.code) << c.name;
        host.ClearFaults();
    }
    NewEngine();
    host.FailCall("ValueToInteger", 1);
    EXPECT_EQ(engine->SetChannelFilter(Sym("note"), Int(1)), 5);
    EXPECT_EQ(engine->TypeMask(0), 0xFF);
    host.FailCall("ValueToSymbol", 1);
    EXPECT_EQ(engine->SetSystemFilter(Sym("clock")), 5);
    EXPECT_EQ(engine->TypeMask(8), 0x7F);
}

TEST_F(FilterTest, CaptureObeysTheMasks) {
    ASSERT_EQ(engine->OpenInput(0, 1024), kStatusOk);
    InputQueue& queue = engine->Queue();
    auto passes = [&](uint8_t status, uint8_t data1, uint8_t data2) {
        queue.CaptureShortMessage(status, data1, data2, 0);
        return !Drain(queue).empty();
    };
    auto sysExPasses = [&] {
        const uint8_t bytes[] = {0xF0, 0x01, 0xF7};
        queue.CaptureSysExStart(bytes, 3, 0);
        return !Drain(queue).empty();
    };
    // Everything passes at first.
    EXPECT_TRUE(passes(0x90, 1, 1) && passes(0xB0, 123, 0) && passes(0xF8, 0, 0) && sysExPasses());

    engine->SetChannelFilter(Sym("note"), Int(0));
    EXPECT_TRUE(passes(0x95, 60, 0));  // velocity 0 passes as a note-off
    EXPECT_FALSE(passes(0xA5, 60, 1));
    EXPECT_TRUE(passes(0xF8, 0, 0));  // system messages untouched
    engine->SetChannelFilter(Sym("noteOn"), Int(0));
    EXPECT_TRUE(passes(0x95, 60, 1));
    EXPECT_FALSE(passes(0x95, 60, 0));  // counts as a note-off

    // Channel-mode messages answer to modeMask alone.
    engine->SetChannelFilter(Sym("controlChange"), Int(1));
    EXPECT_TRUE(passes(0xB0, 121, 0));
    EXPECT_FALSE(passes(0xB0, 123, 0));
    engine->SetChannelFilter(Sym("mode"), Int(1));
    EXPECT_FALSE(passes(0xB0, 7, 0));
    EXPECT_TRUE(passes(0xB0, 122, 0) && passes(0xB0, 122, 127) && passes(0xB0, 127, 0));
    EXPECT_FALSE(passes(0xB0, 122, 64));
    engine->SetChannelFilter(Sym("allNotesOff"), Int(1));
    EXPECT_TRUE(passes(0xB0, 123, 0));
    EXPECT_FALSE(passes(0xB0, 124, 0));

    engine->SetSystemFilter(Sym("stop"));
    EXPECT_TRUE(passes(0xFC, 0, 0));
    EXPECT_FALSE(passes(0xFB, 0, 0));
    EXPECT_FALSE(sysExPasses());
    EXPECT_TRUE(passes(0x91, 1, 1));  // channel messages untouched
    engine->SetSystemFilter(Sym("common"));
    EXPECT_TRUE(sysExPasses() && passes(0xF1, 0, 0) && passes(0xF6, 0, 0));
    EXPECT_FALSE(passes(0xF8, 0, 0));
    engine->SetSystemFilter(Sym("realTime"));
    EXPECT_FALSE(sysExPasses());
    EXPECT_FALSE(engine->InputOverflowed());
}

}  // namespace
