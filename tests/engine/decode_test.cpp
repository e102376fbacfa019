// Decoding queued records into property lists.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "queue_helpers.h"
#include "test_engine.h"

namespace {

class DecodeTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_EQ(engine->OpenInput(0, 1024), kStatusOk);
    }
    InputQueue& queue() { return engine->Queue(); }
    void Short(uint8_t status, uint8_t data1, uint8_t data2, uint32_t timestamp = 5) {
        queue().CaptureShortMessage(status, data1, data2, timestamp);
    }
    void Whole(const std::vector<uint8_t>& bytes, uint32_t timestamp = 5) {
        CaptureWhole(queue(), bytes, timestamp);
    }
};

TEST_F(DecodeTest, EveryTypeAndBoundary) {
    struct Case {
        uint8_t status, data1, data2;
        const char* decoded;
    };
    const Case cases[] = {
        {0x99, 36, 100,
         "[#type: #noteOn, #channel: 10, #number: 36, #velocity: 100, #timestamp: 5]"},
        {0x90, 36, 0, "[#type: #noteOff, #channel: 1, #number: 36, #velocity: 0, #timestamp: 5]"},
        {0x8F, 127, 127,
         "[#type: #noteOff, #channel: 16, #number: 127, #velocity: 127, #timestamp: 5]"},
        {0xA1, 2, 3,
         "[#type: #polyKeyPressure, #channel: 2, #number: 2, #pressure: 3, #timestamp: 5]"},
        {0xB2, 121, 4,
         "[#type: #controlChange, #channel: 3, #number: 121, #value: 4, #timestamp: 5]"},
        {0xB2, 122, 0, "[#type: #localControlOff, #timestamp: 5]"},
        {0xB2, 122, 127, "[#type: #localControlOn, #timestamp: 5]"},
        {0xB2, 123, 0, "[#type: #allNotesOff, #timestamp: 5]"},
        {0xB2, 124, 0, "[#type: #omniModeOff, #timestamp: 5]"},
        {0xB2, 125, 0, "[#type: #omniModeOn, #timestamp: 5]"},
        {0xB2, 126, 4, "[#type: #monoModeOn, #numChannels: 4, #timestamp: 5]"},
        {0xB2, 127, 0, "[#type: #polyModeOn, #timestamp: 5]"},
        {0xC3, 7, 0, "[#type: #programChange, #channel: 4, #number: 7, #timestamp: 5]"},
        {0xD4, 8, 0, "[#type: #channelPressure, #channel: 5, #number: 8, #timestamp: 5]"},
        {0xE5, 0x00, 0x40, "[#type: #pitchBend, #channel: 6, #amount: 0, #timestamp: 5]"},
        {0xE5, 0x00, 0x00, "[#type: #pitchBend, #channel: 6, #amount: -8192, #timestamp: 5]"},
        {0xE5, 0x7F, 0x7F, "[#type: #pitchBend, #channel: 6, #amount: 8191, #timestamp: 5]"},
        {0xF1, 0x35, 0, "[#type: #mtcQuarterFrame, #subFrame: 3, #data: 5, #timestamp: 5]"},
        {0xF2, 0x7F, 0x7F, "[#type: #songPositionPointer, #position: 16383, #timestamp: 5]"},
        {0xF2, 0x00, 0x00, "[#type: #songPositionPointer, #position: 0, #timestamp: 5]"},
        {0xF3, 9, 0, "[#type: #songSelect, #number: 9, #timestamp: 5]"},
        {0xF6, 0, 0, "[#type: #tuneRequest, #timestamp: 5]"},
        {0xF8, 0, 0, "[#type: #clock, #timestamp: 5]"},
        {0xFA, 0, 0, "[#type: #start, #timestamp: 5]"},
        {0xFB, 0, 0, "[#type: #continue, #timestamp: 5]"},
        {0xFC, 0, 0, "[#type: #stop, #timestamp: 5]"},
        {0xFE, 0, 0, "[#type: #activeSensing, #timestamp: 5]"},
        {0xFF, 0, 0, "[#type: #systemReset, #timestamp: 5]"},
    };
    for (const Case& c : cases) {
        Short(c.status, c.data1, c.data2);
        EXPECT_TRUE(engine->MessagesPending());
        EXPECT_EQ(Next(), c.decoded);
        EXPECT_FALSE(engine->MessagesPending());
    }

    Whole({0xF0, 0x43, 0x10, 0x4C, 0xF7});
    EXPECT_EQ(Next(),
              "[#type: #systemExclusive, #manufacturerID: 67, #data: [16, 76], #timestamp: 5]");
    Whole({0xF0, 0x7E, 0xF7});
    EXPECT_EQ(Next(), "[#type: #systemExclusive, #manufacturerID: 126, #data: [], #timestamp: 5]");
    Whole({0xF0, 0xF7});
    EXPECT_EQ(Next(), "[#type: #systemExclusive, #manufacturerID: 0, #data: [], #timestamp: 5]");
    Whole({0xF0, 0x00, 0x20, 0x33, 0x01, 0xF7});  // three-byte identifiers lead #data
    EXPECT_EQ(Next(),
              "[#type: #systemExclusive, #manufacturerID: 0, #data: [32, 51, 1], #timestamp: 5]");

    Short(0xF8, 0, 0, 0x80000000u);
    EXPECT_EQ(Next(), "[#type: #clock, #timestamp: -2147483648]");
    EXPECT_EQ(Next(), "[:]");  // empty queue
}

TEST_F(DecodeTest, WrappedSysExDecodesAsUnwrapped) {
    const std::vector<uint8_t> message = {0xF0, 0x43, 1, 2, 3, 4, 5, 6, 0xF7};
    for (uint32_t offset : {1015u, 1016u, 1018u, 1020u, 1021u, 1022u, 1023u}) {
        engine->OpenInput(0, 1024);
        MoveTo(queue(), offset);
        Whole(message, 0x01020304);
        EXPECT_EQ(Next(),
                  "[#type: #systemExclusive, #manufacturerID: 67, #data: [1, 2, 3, 4, 5, 6], "
                  "#timestamp: 16909060]")
            << offset;
    }

    // Longer than the decoder copies out at a time, wrapping in each piece.
    std::vector<uint8_t> longer = {0xF0, 0x43};
    std::string data;
    for (uint32_t i = 0; i < 200; ++i) {
        longer.push_back(static_cast<uint8_t>(i & 0x7F));
        data += (i == 0 ? "" : ", ") + std::to_string(i & 0x7F);
    }
    longer.push_back(0xF7);
    for (uint32_t offset : {800u, 850u, 894u, 900u, 958u, 1000u}) {
        engine->OpenInput(0, 1024);
        MoveTo(queue(), offset);
        Whole(longer, 9);
        EXPECT_EQ(Next(), "[#type: #systemExclusive, #manufacturerID: 67, #data: [" + data +
                              "], #timestamp: 9]")
            << offset;
    }
}

TEST_F(DecodeTest, PendingMessagesAndClosedInput) {
    Short(0xF8, 0, 0, 1);
    Short(0xF8, 0, 0, 2);
    Short(0x90, 60, 100, 3);
    EXPECT_EQ(Pending(),
              "[[#type: #clock, #timestamp: 1], [#type: #clock, #timestamp: 2], "
              "[#type: #noteOn, #channel: 1, #number: 60, #velocity: 100, #timestamp: 3]]");
    EXPECT_FALSE(engine->MessagesPending());
    EXPECT_EQ(Pending(), "[]");

    Short(0xF8, 0, 0, 4);
    engine->CloseInput();
    EXPECT_TRUE(engine->MessagesPending());
    EXPECT_EQ(Next(), "[:]");
    EXPECT_EQ(Pending(), "[]");
    EXPECT_TRUE(engine->MessagesPending());  // nothing consumed
}

TEST_F(DecodeTest, DamagedRecordsResynchronise) {
    uint8_t* ring = queue().storage();
    // Whatever lies past the published records must never be read: make it
    // look like the end of a system-exclusive message.
    std::memset(ring, 0xF7, queue().size());

    // A status byte below 0x80: skipped with the data bytes after it.
    Short(0x90, 0x3C, 0x64, 0x01020304);
    Short(0xF8, 0, 0, 7);
    ring[0] = 0x10;
    EXPECT_EQ(Next(), "[:]");
    EXPECT_TRUE(engine->MessagesPending());
    EXPECT_EQ(Next(), "[#type: #clock, #timestamp: 7]");

    // A local-control value other than 0 and 127 yields no type.
    Short(0xB0, 122, 0, 0x01020304);
    ring[12 + 2] = 0x40;
    Short(0xFA, 0, 0, 8);
    EXPECT_EQ(Pending(), "[[#type: #start, #timestamp: 8]]");

    // A system-exclusive record with no 0xF7 before the published end.
    Whole({0xF0, 0x43, 0x10, 0xF7}, 0x01020304);
    const uint32_t start = 24;
    ring[start + 3] = 0x11;
    EXPECT_EQ(Next(), "[:]");
    EXPECT_FALSE(engine->MessagesPending());

    // Statuses that never form a record.
    for (uint8_t status : {0xF4, 0xF5, 0xF7, 0xF9, 0xFD}) {
        Short(0xF8, 0, 0, 0x01020304);
        uint32_t at = 0;
        RawRecord record;
        ASSERT_TRUE(queue().Peek(record));
        at = record.next == 0 ? queue().size() - 5 : record.next - 5;
        ring[at] = status;
        EXPECT_EQ(Next(), "[:]") << int{status};
        EXPECT_FALSE(engine->MessagesPending());
    }
}

TEST_F(DecodeTest, HostFailuresLeakNothing) {
    // No property list can be made: stop and hand back what was collected.
    for (uint32_t i = 0; i < 3; ++i) {
        Short(0xF8, 0, 0, i);
    }
    host.FailCall("NewPropList", 2);
    EXPECT_EQ(Pending(), "[[#type: #clock, #timestamp: 0]]");
    EXPECT_TRUE(engine->MessagesPending());
    EXPECT_EQ(Pending(), "[[#type: #clock, #timestamp: 1], [#type: #clock, #timestamp: 2]]");

    // Whatever part of a message the host fails to make or append, nothing
    // partial comes back and the record waits for the next call, whole.
    const std::string sysex =
        "[#type: #systemExclusive, #manufacturerID: 1, #data: [2, 3], #timestamp: 9]";
    struct Case {
        const char* operation;
        uint32_t calls;  // of that operation while the sysex is decoded
    };
    const Case cases[] = {
        {"AppendToPropList", 4},
        {"IntegerToValue", 4},
        {"NewList", 1},
        {"AppendToList", 2},
    };
    for (const Case& c : cases) {
        for (uint32_t nth = 1; nth <= c.calls; ++nth) {
            Whole({0xF0, 0x01, 0x02, 0x03, 0xF7}, 9);
            Short(0xF8, 0, 0, 10);
            host.FailCall(c.operation, nth);
            EXPECT_EQ(Next(), "[:]") << c.operation << " " << nth;
            EXPECT_TRUE(engine->MessagesPending());
            host.FailCall(c.operation, nth);
            EXPECT_EQ(Pending(), "[]") << c.operation << " " << nth;
            EXPECT_EQ(Pending(), "[" + sysex + ", [#type: #clock, #timestamp: 10]]")
                << c.operation << " " << nth;
            EXPECT_FALSE(engine->MessagesPending());
        }
    }

    // The list of pending messages itself cannot take one: it keeps those before.
    Short(0xF8, 0, 0, 1);
    Short(0xFA, 0, 0, 2);
    host.FailCall("AppendToList", 2);
    EXPECT_EQ(Pending(), "[[#type: #clock, #timestamp: 1]]");
    EXPECT_EQ(Next(), "[#type: #start, #timestamp: 2]");

    // Not even the empty list can be made again: VOID, and still nothing lost.
    Short(0xFC, 0, 0, 3);
    host.FailCall("IntegerToValue", 1);
    host.FailCall("NewPropList", 1);
    EXPECT_EQ(Next(), "<Void>");
    EXPECT_EQ(Next(), "[#type: #stop, #timestamp: 3]");
}

}  // namespace
