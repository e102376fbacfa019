// The output device: bytes on the wire, the sysex block lifecycle and every
// platform failure.
#include "tests/winmm/device_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

class OutputDeviceTest : public DeviceTest {
protected:
    void SetUp() override {
        port = simwinmm::AddOutputPort("Out");
        ASSERT_EQ(Initialised().OpenOutput(static_cast<int32_t>(port)), 0);
    }

    Bytes Sent() { return simwinmm::SentBytes(port); }

    uint32_t port = 0;
};

TEST_F(OutputDeviceTest, EveryShortMessageTypeGoesOutWithItsBytes) {
    struct Case {
        std::vector<Item> message;
        Bytes wire;
    };
    const Case cases[] = {
        {{"noteOff", 1, 60, 64}, {0x80, 60, 64}},
        {{"noteOn", 10, 36, 100}, {0x99, 36, 100}},
        {{"polyKeyPressure", 16, 127, 0}, {0xAF, 127, 0}},
        {{"controlChange", 2, 7, 127}, {0xB1, 7, 127}},
        {{"programChange", 3, 5}, {0xC2, 5}},
        {{"channelPressure", 4, 99}, {0xD3, 99}},
        {{"pitchBend", 1, -8192}, {0xE0, 0x00, 0x00}},
        {{"pitchBend", 1, 0}, {0xE0, 0x00, 0x40}},
        {{"pitchBend", 1, 8191}, {0xE0, 0x7F, 0x7F}},
        {{"localControlOff", 5}, {0xB4, 0x7A, 0x00}},
        {{"localControlOn", 5}, {0xB4, 0x7A, 0x7F}},
        {{"allNotesOff", 6}, {0xB5, 0x7B, 0x00}},
        {{"omniModeOff", 7}, {0xB6, 0x7C, 0x00}},
        {{"omniModeOn", 8}, {0xB7, 0x7D, 0x00}},
        {{"monoModeOn", 9, 4}, {0xB8, 0x7E, 0x04}},
        {{"polyModeOn", 16}, {0xBF, 0x7F, 0x00}},
        {{"mtcQuarterFrame", 7, 15}, {0xF1, 0x7F}},
        {{"songPositionPointer", 16383}, {0xF2, 0x7F, 0x7F}},
        {{"songPositionPointer", 129}, {0xF2, 0x01, 0x01}},
        {{"songSelect", 127}, {0xF3, 127}},
        {{"tuneRequest"}, {0xF6}},
        {{"clock"}, {0xF8}},
        {{"start"}, {0xFA}},
        {{"continue"}, {0xFB}},
        {{"stop"}, {0xFC}},
        {{"activeSensing"}, {0xFE}},
        {{"systemReset"}, {0xFF}},
    };
    for (const Case& c : cases) {
        simwinmm::ClearSentBytes(port);
        EXPECT_EQ(Send(List(c.message)), 0) << std::get<const char*>(c.message[0]);
        EXPECT_EQ(Sent(), c.wire) << std::get<const char*>(c.message[0]);
    }
}

TEST_F(OutputDeviceTest, ShortMessagesArePackedLowByteFirstWhateverTheLength) {
    const struct {
        uint8_t status, data1, data2;
        uint32_t length;
        Bytes wire;
    } cases[] = {
        {0x90, 0x3C, 0x64, 3, {0x90, 0x3C, 0x64}},
        {0x90, 0x3C, 0x64, 1, {0x90, 0x3C, 0x64}},  // the driver reads the length from status
        {0xC0, 0x05, 0x00, 2, {0xC0, 0x05}},
        {0xFF, 0x00, 0x00, 1, {0xFF}},
    };
    for (const auto& c : cases) {
        simwinmm::ClearSentBytes(port);
        EXPECT_EQ(engine->SendShortMessage(c.status, c.data1, c.data2, c.length), 0);
        EXPECT_EQ(Sent(), c.wire);
    }
}

TEST_F(OutputDeviceTest, SysExCarriesItsDataBetweenF0AndF7OrNothingAtAll) {
    EXPECT_EQ(Send(SysEx(0x41, {})), 0);
    EXPECT_EQ(Send(SysEx(0x7F, {0, 1, 127})), 0);
    ASSERT_TRUE(Eventually([&] { return simwinmm::PendingLongMessages(port) == 0; }));
    EXPECT_EQ(Sent(), Bytes({0xF0, 0x41, 0xF7, 0xF0, 0x7F, 0x00, 0x01, 0x7F, 0xF7}));

    // A bad element stops the send before anything reaches the driver.
    simwinmm::ClearSentBytes(port);
    const uint32_t longMessages = simwinmm::CallCount("midiOutLongMsg");
    EXPECT_EQ(Send(SysEx(0x41, {1, 2, 200})), 12);
    EXPECT_EQ(Send(SysEx(0x41, {1, -1})), 12);
    ScriptValue text = host.String("x");
    ScriptValue data = List({1, 2});
    host.Append(data, text);
    ScriptValue message = List({"systemExclusive", 0x41});
    host.Append(message, data);
    host.Release(text);
    host.Release(data);
    EXPECT_EQ(Send(message), 10);
    EXPECT_EQ(simwinmm::CallCount("midiOutLongMsg"), longMessages);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(simwinmm::PreparedOutputHeaders(port), 0u);  // each discarded one unprepared

    // An element the list cannot hand over.
    host.FailCall("GetValueByIndex", 4);  // message 1..3, then data element 1
    EXPECT_EQ(Send(SysEx(0x41, {1})), 11);
    host.ClearFaults();
    EXPECT_EQ(simwinmm::CallCount("midiOutLongMsg"), longMessages);
}

TEST_F(OutputDeviceTest, SysExLengthsBeyondThirtyTwoBitsAreRefusedNotWrapped) {
    ScriptValue data = host.NewList();
    const uint64_t allocs = host.CallCount("Alloc");
    for (int32_t count : {-1, INT32_MIN, INT32_MAX, INT32_MAX - 2}) {
        EXPECT_EQ(engine->SendLongMessage(0x41, data, count), 16) << count;
    }
    EXPECT_EQ(host.CallCount("Alloc"), allocs);
    EXPECT_EQ(simwinmm::CallCount("midiOutLongMsg"), 0u);
    host.Release(data);
}

TEST_F(OutputDeviceTest, SysExBlocksAreReapedOnceDoneAndKeptWhileBusy) {
    simwinmm::HoldOutputDone(port, true);
    EXPECT_EQ(Send(SysEx(1, {1})), 0);
    EXPECT_EQ(Send(SysEx(2, {2})), 0);
    EXPECT_EQ(Send(SysEx(3, {3})), 0);
    ASSERT_TRUE(Eventually([&] { return simwinmm::PendingLongMessages(port) == 3; }));
    EXPECT_EQ(host.LiveBlocks(), 3);  // all still in the driver's hands

    simwinmm::ReleaseOutputDone(port);
    ASSERT_TRUE(Eventually([&] { return simwinmm::PendingLongMessages(port) == 0; }));
    EXPECT_EQ(Send(SysEx(4, {4})), 0);  // reaps the three first
    EXPECT_EQ(host.LiveBlocks(), 1);
    EXPECT_EQ(simwinmm::CallCount("midiOutUnprepareHeader"), 3u);

    // Closing a busy port: reset, F7 to end the cut message, release, close.
    ASSERT_TRUE(Eventually([&] { return simwinmm::PendingLongMessages(port) == 1; }));
    simwinmm::ClearSentBytes(port);
    EXPECT_EQ(engine->CloseOutput(), 0);
    EXPECT_EQ(host.LiveBlocks(), 0);
    EXPECT_EQ(Sent(), Bytes({0xF7}));
    EXPECT_EQ(simwinmm::HeadersLeftPrepared(), 0u);  // the reset's blocks were unprepared

    // Everything reported done before the close: no F7.
    ASSERT_EQ(engine->OpenOutput(static_cast<int32_t>(port)), 0);
    EXPECT_EQ(Send(SysEx(5, {5})), 0);
    simwinmm::ReleaseOutputDone(port);
    simwinmm::ClearSentBytes(port);
    EXPECT_EQ(engine->CloseOutput(), 0);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(host.LiveBlocks(), 0);
}

// A device finishes its messages one at a time, oldest first, while the list
// holds the newest first: the reap must walk past busy blocks.
TEST_F(OutputDeviceTest, AReapWalksPastBusyBlocksToTheDoneOnes) {
    simwinmm::HoldOutputDone(port, true);
    for (int32_t id = 1; id <= 3; ++id) {
        EXPECT_EQ(Send(SysEx(id, {id})), 0);
    }
    ASSERT_TRUE(Eventually([&] { return simwinmm::PendingLongMessages(port) == 3; }));
    simwinmm::ReleaseOldestOutputDone(port);  // the last of the list
    EXPECT_EQ(Send(SysEx(4, {4})), 0);
    EXPECT_EQ(host.LiveBlocks(), 3);
    EXPECT_EQ(simwinmm::CallCount("midiOutUnprepareHeader"), 1u);
    simwinmm::ReleaseOldestOutputDone(port);  // now in the middle
    EXPECT_EQ(Send(SysEx(5, {5})), 0);
    EXPECT_EQ(host.LiveBlocks(), 3);
    EXPECT_EQ(simwinmm::CallCount("midiOutUnprepareHeader"), 2u);
    EXPECT_EQ(simwinmm::PreparedOutputHeaders(port), 3u);
}

// winmm takes at most 64 KiB per long message: 65,533 data bytes fit one.
TEST_F(OutputDeviceTest, LongSysExGoesAsSuccessiveBlocksOfAtMost2048Bytes) {
    struct Case {
        int32_t dataBytes;
        uint32_t blocks;
    };
    // A stack that refuses longer blocks takes every one of them.
    standin::StackBehaviour stack;
    stack.blockLimit = 2048;
    simwinmm::SetOutputStack(port, stack);
    for (const Case& c : {Case{2045, 1}, Case{2046, 2}, Case{4093, 2}, Case{3 * 2048, 4}}) {
        SCOPED_TRACE(c.dataBytes);
        simwinmm::ClearSentBytes(port);
        simwinmm::HoldOutputDone(port, true);
        const uint32_t longMessages = simwinmm::CallCount("midiOutLongMsg");
        std::vector<int32_t> data(static_cast<size_t>(c.dataBytes));
        for (size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<int32_t>(i % 128);
        }
        EXPECT_EQ(Send(SysEx(0x41, data)), 0);
        EXPECT_EQ(simwinmm::CallCount("midiOutLongMsg") - longMessages, c.blocks);
        ASSERT_TRUE(Eventually([&] { return simwinmm::PendingLongMessages(port) == c.blocks; }));
        EXPECT_EQ(host.LiveBlocks(), c.blocks);

        Bytes wire{0xF0, 0x41};
        for (int32_t byte : data) {
            wire.push_back(static_cast<uint8_t>(byte));
        }
        wire.push_back(0xF7);
        EXPECT_TRUE(Sent() == wire);

        // Done one at a time, reaped as any block: the next send releases them.
        simwinmm::ReleaseOldestOutputDone(port, c.blocks - 1);
        EXPECT_EQ(simwinmm::PendingLongMessages(port), 1u);
        simwinmm::HoldOutputDone(port, false);
        EXPECT_EQ(Send(List({"clock"})), 0);
        EXPECT_EQ(Send(SysEx(0x42, {})), 0);
        EXPECT_EQ(host.LiveBlocks(), 1);
        EXPECT_EQ(simwinmm::PreparedOutputHeaders(port), 1u);
    }
}

TEST_F(OutputDeviceTest, ALongSysExCutByARefusedBlockIsLeftUnfinished) {
    const std::vector<int32_t> data(3000, 5);  // two blocks
    simwinmm::HoldOutputDone(port, true);

    // A bad element in the second block: nothing goes out.
    std::vector<int32_t> bad = data;
    bad.back() = 128;
    EXPECT_EQ(Send(SysEx(0x41, bad)), 12);
    EXPECT_EQ(simwinmm::CallCount("midiOutLongMsg"), 0u);
    EXPECT_EQ(host.LiveBlocks(), 0);
    EXPECT_EQ(simwinmm::PreparedOutputHeaders(port), 0u);

    // The second block refused: the first has gone. An F7 would make the
    // receiving device take it for the whole message; the next status byte
    // makes it drop it instead.
    simwinmm::FailCall("midiOutLongMsg", 2);
    EXPECT_EQ(Send(SysEx(0x41, data)), 3);
    ASSERT_TRUE(Eventually([&] { return simwinmm::PendingLongMessages(port) == 1; }));
    Bytes sent = Sent();
    ASSERT_EQ(sent.size(), 2048u);
    EXPECT_EQ(sent.front(), 0xF0);
    EXPECT_EQ(sent.back(), 5);
    EXPECT_EQ(Send(List({"noteOn", 1, 60, 100})), 0);
    sent = Sent();
    EXPECT_EQ(Bytes(sent.begin() + 2048, sent.end()), Bytes({0x90, 60, 100}));
    EXPECT_EQ(host.LiveBlocks(), 1);
    EXPECT_EQ(simwinmm::PreparedOutputHeaders(port), 1u);
    EXPECT_EQ(engine->CloseOutput(), 0);
    EXPECT_EQ(host.LiveBlocks(), 0);
    EXPECT_EQ(simwinmm::HeadersLeftPrepared(), 0u);
}

TEST_F(OutputDeviceTest, PlatformFailuresBecomeStatusCodesAndLeaveNothingBehind) {
    // Short and long sends.
    simwinmm::FailCall("midiOutShortMsg", 1);
    EXPECT_EQ(Send(List({"noteOn", 1, 60, 100})), 3);
    simwinmm::FailCall("midiOutLongMsg", 1);
    EXPECT_EQ(Send(SysEx(0x41, {1, 2})), 3);
    EXPECT_EQ(host.LiveBlocks(), 0);
    simwinmm::FailCall("midiOutPrepareHeader", 1, 7 /*MMSYSERR_NOMEM*/);
    EXPECT_EQ(Send(SysEx(0x41, {1, 2})), 16);
    simwinmm::FailCall("midiOutPrepareHeader", 1);  // a driver that cannot take it
    EXPECT_EQ(Send(SysEx(0x41, {1, 2})), 3);
    EXPECT_EQ(host.LiveBlocks(), 0);
    const uint32_t prepares = simwinmm::CallCount("midiOutPrepareHeader");
    host.FailCall("Alloc", 1);
    EXPECT_EQ(Send(SysEx(0x41, {1, 2})), 16);
    EXPECT_EQ(simwinmm::CallCount("midiOutPrepareHeader"), prepares);
    EXPECT_EQ(host.LiveBlocks(), 0);
    EXPECT_TRUE(Sent().empty());
    // The port still works.
    EXPECT_EQ(Send(List({"stop"})), 0);
    EXPECT_EQ(Sent(), Bytes({0xFC}));

    // A refused close still closes the port for the script; the next open
    // closes the old device first.
    simwinmm::FailCall("midiOutClose", 1);
    EXPECT_EQ(engine->CloseOutput(), 3);
    EXPECT_EQ(Send(List({"start"})), 14);
    EXPECT_EQ(engine->OpenOutput(static_cast<int32_t>(port)), 0);
    EXPECT_EQ(simwinmm::CallCount("midiOutClose"), 2u);
    EXPECT_EQ(Send(List({"start"})), 0);
    EXPECT_EQ(engine->CloseOutput(), 0);
    EXPECT_EQ(Send(List({"start"})), 14);

    // A refused open leaves it closed; the next open works.
    simwinmm::FailCall("midiOutOpen", 1);
    EXPECT_EQ(engine->OpenOutput(static_cast<int32_t>(port)), 3);
    EXPECT_EQ(Send(List({"start"})), 14);
    EXPECT_EQ(engine->CloseOutput(), 14);
    EXPECT_EQ(engine->OpenOutput(static_cast<int32_t>(port)), 0);
}

TEST_F(OutputDeviceTest, RefusedResetStillClosesOnceTheDriverFinishes) {
    simwinmm::HoldOutputDone(port, true);
    EXPECT_EQ(Send(SysEx(0x41, {1, 2, 3})), 0);
    ASSERT_TRUE(Eventually([&] { return simwinmm::PendingLongMessages(port) == 1; }));
    simwinmm::FailCall("midiOutReset", 1);
    EXPECT_EQ(engine->CloseOutput(), 3);  // the driver still holds the block
    EXPECT_EQ(host.LiveBlocks(), 1);
    simwinmm::ReleaseOutputDone(port);
    EXPECT_EQ(engine->OpenOutput(static_cast<int32_t>(port)), 0);  // closes the old one first
    EXPECT_EQ(host.LiveBlocks(), 0);
    EXPECT_EQ(simwinmm::HeadersLeftPrepared(), 0u);
}

TEST_F(OutputDeviceTest, BlocksADriverNeverReportsDoneAreReleasedOnceItHasClosed) {
    simwinmm::HoldOutputDone(port, true);
    simwinmm::LoseOutputDoneOnReset(port, true);
    EXPECT_EQ(Send(SysEx(0x41, {1, 2})), 0);
    EXPECT_EQ(Send(SysEx(0x42, {3})), 0);
    ASSERT_TRUE(Eventually([&] { return simwinmm::PendingLongMessages(port) == 2; }));
    EXPECT_EQ(engine->CloseOutput(), 0);
    EXPECT_EQ(host.LiveBlocks(), 0);  // the closed device can no longer touch them
}

TEST_F(OutputDeviceTest, DestructionClosesABusyPortAndReleasesItsBlocks) {
    simwinmm::HoldOutputDone(port, true);
    EXPECT_EQ(Send(SysEx(0x41, {1})), 0);
    EXPECT_EQ(Send(SysEx(0x42, {2})), 0);
    DestroyEngine();
    EXPECT_EQ(host.LiveBlocks(), 0);
    EXPECT_EQ(simwinmm::CallCount("midiOutClose"), 1u);
}

TEST_F(OutputDeviceTest, DestructionSurvivesADriverThatRefusesToClose) {
    simwinmm::FailCall("midiOutClose", 1);
    simwinmm::FailCall("midiOutClose", 2);
    EXPECT_EQ(Send(List({"clock"})), 0);
    DestroyEngine();
    // The device is still open; its notices reach no engine when it closes.
    simwinmm::Reset();
}

}  // namespace
