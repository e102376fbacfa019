// The input device: end to end over loopback, the buffers' life, every
// platform failure with its unwinding, and destruction against a driver that
// will not let go.
#include <atomic>
#include <cstring>
#include <mutex>

#include "tests/winmm/device_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes SysExBytes(uint8_t manufacturer, uint32_t dataCount) {
    Bytes bytes{0xF0, manufacturer};
    for (uint32_t i = 0; i < dataCount; ++i) {
        bytes.push_back(static_cast<uint8_t>(i % 128));
    }
    bytes.push_back(0xF7);
    return bytes;
}

// Sizes of the buffers the driver hands back, from its trace.
struct ChunkSizes {
    std::mutex mutex;
    std::vector<size_t> sizes;

    static void Record(const char*, bool out, const uint8_t* bytes, size_t count, void* context) {
        auto* self = static_cast<ChunkSizes*>(context);
        if (!out && count > 0 && bytes[0] < 0xF8 && (bytes[0] == 0xF0 || bytes[0] < 0x80)) {
            std::lock_guard<std::mutex> lock(self->mutex);
            self->sizes.push_back(count);
        }
    }
};

class InputDeviceTest : public DeviceTest {
protected:
    void SetUp() override {
        loop = simwinmm::AddLoopbackPort("Loop");
        other = simwinmm::AddInputPort("Other");
        Initialised();
    }

    StatusCode OpenLoop(uint32_t bufSize = 8192) {
        return engine->OpenInput(static_cast<int32_t>(loop.input), bufSize);
    }

    // The next message as a property list; the caller releases it.
    ScriptValue NextMessageValue() {
        ScriptValue message = host.NewPropList();
        engine->GetNextMessage(message);
        return message;
    }

    // Count, first and last element of a received sysex's #data.
    void ExpectSysEx(int32_t manufacturer, const Bytes& sent) {
        ScriptValue message = NextMessageValue();
        ASSERT_EQ(host.Count(message), 4) << host.Print(message);
        EXPECT_EQ(host.KeyAt(message, 3), "data");
        ScriptValue id = host.At(message, 2);
        EXPECT_EQ(host.IntegerOf(id), manufacturer);
        ScriptValue data = host.At(message, 3);
        const auto count = static_cast<int32_t>(sent.size()) - 3;
        EXPECT_EQ(host.Count(data), count);
        bool same = true;
        for (int32_t i = 1; i <= host.Count(data); ++i) {
            ScriptValue byte = host.At(data, i);
            same = same && host.IntegerOf(byte) == sent[1 + i];
            host.Release(byte);
        }
        EXPECT_TRUE(same);
        host.Release(data);
        host.Release(id);
        host.Release(message);
    }

    simwinmm::PortPair loop{};
    uint32_t other = 0;
};

TEST_F(InputDeviceTest, ShortAndSysExMessagesArriveOverLoopbackWithRawTimestamps) {
    ChunkSizes chunks;
    simwinmm::SetTrace(&ChunkSizes::Record, &chunks);
    simwinmm::SetClock(123456);
    ASSERT_EQ(OpenLoop(), 0);
    ASSERT_EQ(engine->OpenOutput(static_cast<int32_t>(loop.output)), 0);
    engine->ResetTimer();  // timestamps stay raw clock readings

    EXPECT_EQ(Send(List({"noteOn", 10, 36, 100})), 0);
    EXPECT_EQ(Send(List({"pitchBend", 3, -1})), 0);
    std::vector<int32_t> data;
    for (int32_t i = 0; i < 997; ++i) {
        data.push_back(i % 128);
    }
    EXPECT_EQ(Send(SysEx(0x41, data)), 0);  // 1000 bytes on the wire
    ASSERT_TRUE(simwinmm::WaitIdle(loop.input));

    EXPECT_EQ(NextMessage(),
              "[#type: #noteOn, #channel: 10, #number: 36, #velocity: 100, #timestamp: 123456]");
    EXPECT_EQ(NextMessage(), "[#type: #pitchBend, #channel: 3, #amount: -1, #timestamp: 123456]");
    ExpectSysEx(0x41, SysExBytes(0x41, 997));
    EXPECT_FALSE(engine->MessagesPending());
    EXPECT_FALSE(engine->InputOverflowed());
    simwinmm::SetTrace(nullptr, nullptr);
    EXPECT_EQ(chunks.sizes, std::vector<size_t>({512, 488}));
    EXPECT_EQ(simwinmm::QueuedInputBuffers(loop.input), 64u);  // both given back
}

TEST_F(InputDeviceTest, AMegabyteSysExComesBackIntact) {
    constexpr uint32_t kLength = 1u << 20;  // F0 and F7 included
    ASSERT_EQ(OpenLoop(2 * kLength), 0);
    ASSERT_EQ(engine->OpenOutput(static_cast<int32_t>(loop.output)), 0);
    std::vector<int32_t> data(kLength - 3);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<int32_t>((i * 7 + i / 128) % 128);
    }
    EXPECT_EQ(Send(SysEx(0x7D, data)), 0);
    ASSERT_TRUE(simwinmm::WaitIdle(loop.input, 60000));
    Bytes sent{0xF0, 0x7D};
    for (int32_t byte : data) {
        sent.push_back(static_cast<uint8_t>(byte));
    }
    sent.push_back(0xF7);
    ExpectSysEx(0x7D, sent);
    EXPECT_FALSE(engine->InputOverflowed());
    EXPECT_EQ(simwinmm::CallCount("midiOutLongMsg"), kLength / 2048);
}

TEST_F(InputDeviceTest, BuffersLiveWithTheDriverWhileOpenAndComeBackAtClose) {
    ASSERT_EQ(OpenLoop(0), 0);
    EXPECT_EQ(simwinmm::QueuedInputBuffers(loop.input), 64u);
    EXPECT_EQ(simwinmm::CallCount("midiInPrepareHeader"), 64u);
    EXPECT_EQ(simwinmm::CallCount("midiInStart"), 1u);
    EXPECT_EQ(host.LiveBlocks(), 1);  // the queue, 1024 bytes at least

    simwinmm::InjectChunk(loop.input, {0xF0, 0x41, 0x01, 0x02});  // cut off by the close
    simwinmm::InjectShort(loop.input, 0x00403C90);
    ASSERT_TRUE(simwinmm::WaitIdle(loop.input));
    EXPECT_EQ(engine->CloseInput(), 0);
    EXPECT_EQ(simwinmm::QueuedInputBuffers(loop.input), 0u);
    EXPECT_EQ(simwinmm::CallCount("midiInUnprepareHeader"), 64u);
    EXPECT_EQ(engine->CloseInput(), 13);
    EXPECT_EQ(host.LiveBlocks(), 1);  // the queue outlives the port

    // Another port starts from an empty queue.
    ASSERT_EQ(engine->OpenInput(static_cast<int32_t>(other), 0), 0);
    EXPECT_FALSE(engine->MessagesPending());
    simwinmm::InjectShort(other, 0xF8);
    ASSERT_TRUE(simwinmm::WaitIdle(other));
    EXPECT_EQ(NextMessage().substr(0, 16), "[#type: #clock, ");
}

TEST_F(InputDeviceTest, OpenFailuresUnwindEverythingTheyPrepared) {
    struct Case {
        const char* operation;
        uint32_t nth;
        uint32_t unprepared;  // headers given back unprepared by the unwinding
    };
    const Case cases[] = {
        {"midiInOpen", 1, 0},      {"midiInPrepareHeader", 1, 0}, {"midiInPrepareHeader", 5, 4},
        {"midiInAddBuffer", 1, 1}, {"midiInAddBuffer", 64, 64},   {"midiInStart", 1, 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.operation) + " #" + std::to_string(c.nth));
        const uint32_t unprepares = simwinmm::CallCount("midiInUnprepareHeader");
        const uint32_t closes = simwinmm::CallCount("midiInClose");
        simwinmm::FailCall(c.operation, c.nth);
        EXPECT_EQ(OpenLoop(), 3);
        EXPECT_EQ(simwinmm::CallCount("midiInUnprepareHeader") - unprepares, c.unprepared);
        EXPECT_EQ(simwinmm::CallCount("midiInClose") - closes,
                  std::strcmp(c.operation, "midiInOpen") == 0 ? 0u : 1u);
        EXPECT_EQ(simwinmm::QueuedInputBuffers(loop.input), 0u);
        EXPECT_EQ(engine->CloseInput(), 13);
        ASSERT_EQ(OpenLoop(), 0);  // the port opens again from scratch
        EXPECT_EQ(simwinmm::QueuedInputBuffers(loop.input), 64u);
        ASSERT_EQ(engine->CloseInput(), 0);
    }

    // No memory for the queue: the device is never touched.
    const uint32_t opens = simwinmm::CallCount("midiInOpen");
    host.FailCall("Alloc", 1);
    EXPECT_EQ(engine->OpenInput(static_cast<int32_t>(other), 1u << 20), 16);
    EXPECT_EQ(simwinmm::CallCount("midiInOpen"), opens);
    EXPECT_EQ(engine->OpenInput(static_cast<int32_t>(other), 0xFFFFFFFFu), 16);  // over 1 GiB
}

// A device the driver would not let go is set aside and tried again at the
// next open, which is never refused for it.
TEST_F(InputDeviceTest, ADeviceTheUnwindingCouldNotCloseIsClosedAtALaterOpen) {
    simwinmm::FailCall("midiInAddBuffer", 3);
    simwinmm::FailCall("midiInClose", 1);
    EXPECT_EQ(OpenLoop(), 3);
    EXPECT_EQ(engine->CloseInput(), 13);
    simwinmm::FailCall("midiInClose", 1);  // and once more at the next open
    EXPECT_EQ(engine->OpenInput(static_cast<int32_t>(other), 0), 0);
    EXPECT_EQ(simwinmm::CallCount("midiInClose"), 2u);
    EXPECT_EQ(OpenLoop(), 17);
    ASSERT_EQ(engine->CloseInput(), 0);
    EXPECT_EQ(OpenLoop(), 0);  // the loop port was let go first
    EXPECT_EQ(simwinmm::CallCount("midiInClose"), 4u);
    ASSERT_EQ(engine->CloseInput(), 0);

    // The unwinding's reset fails too: the two queued headers refuse to be
    // unprepared and stay prepared until a later closing unprepares them.
    simwinmm::FailCall("midiInAddBuffer", 3);
    simwinmm::FailCall("midiInReset", 1);
    EXPECT_EQ(OpenLoop(), 3);
    const uint32_t unprepares = simwinmm::CallCount("midiInUnprepareHeader");
    ASSERT_EQ(engine->OpenInput(static_cast<int32_t>(other), 0), 0);
    EXPECT_EQ(simwinmm::CallCount("midiInUnprepareHeader") - unprepares, 2u);
    EXPECT_EQ(simwinmm::QueuedInputBuffers(loop.input), 0u);
}

TEST_F(InputDeviceTest, AFailedCloseClosesThePortAndTheDriverIsAskedAgain) {
    for (const char* operation : {"midiInReset", "midiInClose"}) {
        SCOPED_TRACE(operation);
        ASSERT_EQ(OpenLoop(), 0);
        simwinmm::FailCall(operation, 1);
        EXPECT_EQ(engine->CloseInput(), 3);
        EXPECT_EQ(engine->CloseInput(), 13);      // closed for the script
        simwinmm::InjectShort(loop.input, 0xFA);  // the device may still deliver: to no one
        ASSERT_TRUE(simwinmm::WaitIdle(loop.input));
        EXPECT_FALSE(engine->MessagesPending());
        ASSERT_EQ(OpenLoop(), 0);  // the old device is closed first
        EXPECT_EQ(simwinmm::QueuedInputBuffers(loop.input), 64u);
        EXPECT_EQ(engine->CloseInput(), 0);
        EXPECT_EQ(simwinmm::QueuedInputBuffers(loop.input), 0u);
    }
}

TEST_F(InputDeviceTest, LongErrorsGiveTheirBufferBackAndAbandonTheMessage) {
    ASSERT_EQ(OpenLoop(), 0);
    for (int i = 0; i < 70; ++i) {
        simwinmm::InjectLongError(loop.input, {0xF0, 0x01, 0x02});
    }
    ASSERT_TRUE(simwinmm::WaitIdle(loop.input));
    EXPECT_EQ(simwinmm::QueuedInputBuffers(loop.input), 64u);
    EXPECT_FALSE(engine->MessagesPending());
    EXPECT_TRUE(engine->InputOverflowed());
    const Bytes small = SysExBytes(0x43, 3);
    simwinmm::InjectSysEx(loop.input, small);
    ASSERT_TRUE(simwinmm::WaitIdle(loop.input));
    ExpectSysEx(0x43, small);

    // An error in the middle of a message drops the whole message.
    Bytes first = SysExBytes(0x44, 600);
    first.resize(512);
    simwinmm::InjectChunk(loop.input, first);
    simwinmm::InjectLongError(loop.input, {0x05, 0x06});
    simwinmm::InjectChunk(loop.input, {0x07, 0xF7});
    ASSERT_TRUE(simwinmm::WaitIdle(loop.input));
    EXPECT_FALSE(engine->MessagesPending());
    EXPECT_TRUE(engine->InputOverflowed());
    EXPECT_EQ(simwinmm::QueuedInputBuffers(loop.input), 64u);
}

TEST_F(InputDeviceTest, TwoEnginesReceiveSysExAtTheSameTimeWithoutLosingChunks) {
    MidiEngine* second = CreateMidiEngine(host.values(), host.lists(), host.memory());
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(second->Init(), 0);
    ASSERT_EQ(OpenLoop(1u << 20), 0);
    ASSERT_EQ(second->OpenInput(static_cast<int32_t>(other), 1u << 20), 0);

    constexpr int kMessages = 60;
    const Bytes message = SysExBytes(0x41, 1400);  // three buffers each
    for (int i = 0; i < kMessages; ++i) {
        simwinmm::InjectSysEx(loop.input, message);
        simwinmm::InjectSysEx(other, message);
    }
    ASSERT_TRUE(simwinmm::WaitIdle(loop.input, 20000));
    ASSERT_TRUE(simwinmm::WaitIdle(other, 20000));

    for (MidiEngine* midi : {engine, second}) {
        EXPECT_FALSE(midi->InputOverflowed());
        ScriptValue all = host.NewList();
        midi->GetPendingMessages(all);
        EXPECT_EQ(host.Count(all), kMessages);
        host.Release(all);
    }
    delete second;
}

TEST_F(InputDeviceTest, DestructionClosesBothPortsAndLeavesNothing) {
    ASSERT_EQ(OpenLoop(), 0);
    ASSERT_EQ(engine->OpenOutput(static_cast<int32_t>(loop.output)), 0);
    EXPECT_EQ(Send(SysEx(0x41, {1, 2, 3})), 0);
    EXPECT_EQ(Send(List({"noteOn", 1, 2, 3})), 0);
    DestroyEngine();
    EXPECT_EQ(simwinmm::CallCount("midiInClose"), 1u);
    EXPECT_EQ(simwinmm::CallCount("midiOutClose"), 1u);
    EXPECT_LT(simwinmm::LastCallOrder("midiInClose"), simwinmm::LastCallOrder("midiOutReset"))
        << "input is closed before output";
    EXPECT_EQ(simwinmm::QueuedInputBuffers(loop.input), 0u);
}

// An input the driver would not stop still delivers what the output's close
// sends back over the loop: the queue must outlive the output's close.
TEST_F(InputDeviceTest, TheQueueOutlivesTheOutputsCloseAtDestruction) {
    constexpr uint32_t kQueueBytes = 64 * 1024;
    ASSERT_EQ(OpenLoop(kQueueBytes), 0);
    ASSERT_EQ(engine->OpenOutput(static_cast<int32_t>(loop.output)), 0);
    simwinmm::StallOutput(loop.output, 0);
    EXPECT_EQ(Send(SysEx(0x41, {1, 2})), 0);           // stalled: nothing goes yet
    EXPECT_EQ(Send(List({"noteOn", 1, 60, 100})), 0);  // queued behind it

    // When the note comes back in, the queue it lands in must still be there.
    struct Arrival {
        hostsim::SimHost* host;
        std::atomic<int64_t> liveBytes{-1};
        static void Seen(const char*, bool out, const uint8_t* bytes, size_t, void* context) {
            auto* self = static_cast<Arrival*>(context);
            if (!out && bytes[0] == 0x90) {
                self->liveBytes = self->host->LiveBytes();
            }
        }
    } arrival{&host};
    simwinmm::SetTrace(&Arrival::Seen, &arrival);
    simwinmm::FailCall("midiInReset", 1);  // the input keeps running
    DestroyEngine();
    simwinmm::SetTrace(nullptr, nullptr);
    EXPECT_GE(arrival.liveBytes.load(), int64_t{kQueueBytes});
    simwinmm::Reset();
}

TEST_F(InputDeviceTest, DestructionAgainstADriverThatWillNotLetGoKeepsCallbacksHarmless) {
    // Refused at the close (buffers back) and at the reset (buffers still
    // with the driver, inside the engine's memory).
    for (const char* operation : {"midiInClose", "midiInReset"}) {
        SCOPED_TRACE(operation);
        ASSERT_EQ(Initialised().OpenInput(static_cast<int32_t>(loop.input), 0), 0);
        simwinmm::FailCall(operation, 1);
        simwinmm::FailCall(operation, 2);  // and at destruction's last try
        DestroyEngine();
        EXPECT_EQ(host.LiveBlocks(), 0);  // the queue is gone all the same
        EXPECT_EQ(host.LiveValues(), 0);

        // The device still delivers: into kept memory, to no engine.
        simwinmm::InjectShort(loop.input, 0x00403C90);
        simwinmm::InjectSysEx(loop.input, SysExBytes(0x41, 2000));
        simwinmm::InjectLongError(loop.input, {0xF0});
        EXPECT_TRUE(simwinmm::WaitIdle(loop.input));
        simwinmm::Reset();  // closes the device: its last notices find no engine
        loop = simwinmm::AddLoopbackPort("Loop");
    }
}

}  // namespace
