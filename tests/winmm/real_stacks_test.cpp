// The device layer on the MIDI stacks users have, as simwinmm plays them:
// sysex handed back in pieces of any size, real-time messages inside and
// between a dump's buffers, a sysex that never ends, a limit on output
// blocks, completions inside the send, and a removed device whose every call
// is slow to fail.
#include "tests/winmm/device_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A dump whose every data byte differs from its neighbours.
Bytes Dump(uint32_t length, uint8_t manufacturer = 0x43) {
    Bytes bytes{0xF0, manufacturer};
    for (uint32_t i = 2; i + 1 < length; ++i) {
        bytes.push_back(static_cast<uint8_t>((i * 7 + i / 128) % 128));
    }
    bytes.push_back(0xF7);
    return bytes;
}

class RealStacksTest : public DeviceTest {
protected:
    void SetUp() override {
        loop = simwinmm::AddLoopbackPort("Loop");
        Initialised();
    }

    void Open(uint32_t queueBytes) {
        ASSERT_EQ(engine->OpenInput(static_cast<int32_t>(loop.input), queueBytes), 0);
    }

    void Wire(const Bytes& bytes) {
        simwinmm::InjectWire(loop.input, bytes);
        ASSERT_TRUE(simwinmm::WaitIdle(loop.input, 30000));
    }

    // Every message received so far: a sysex as its bytes from 0xF0 to 0xF7
    // (the data checked to be 0-127), anything else as its type's name.
    std::vector<std::string> Received(std::vector<Bytes>* sysex = nullptr) {
        std::vector<std::string> types;
        while (engine->MessagesPending()) {
            ScriptValue message = host.NewPropList();
            engine->GetNextMessage(message);
            ScriptValue type = host.At(message, 1);
            types.push_back(host.Print(type));
            if (types.back() == "#systemExclusive") {
                ScriptValue id = host.At(message, 2);
                ScriptValue data = host.At(message, 3);
                Bytes bytes{0xF0, static_cast<uint8_t>(host.IntegerOf(id))};
                for (int32_t i = 1; i <= host.Count(data); ++i) {
                    ScriptValue element = host.At(data, i);
                    const int32_t byte = host.IntegerOf(element);
                    EXPECT_TRUE(byte >= 0 && byte <= 127) << byte;
                    bytes.push_back(static_cast<uint8_t>(byte));
                    host.Release(element);
                }
                bytes.push_back(0xF7);
                if (sysex != nullptr) {
                    sysex->push_back(bytes);
                }
                host.Release(data);
                host.Release(id);
            }
            host.Release(type);
            host.Release(message);
        }
        return types;
    }

    simwinmm::PortPair loop{};
};

TEST_F(RealStacksTest, ADumpInPiecesOfAnySizeArrivesWholeAndExact) {
    const Bytes dump = Dump(4096);
    const Bytes identity{0xF0, 0x7E, 0x7F, 0x06, 0x02, 0x43, 0x00, 0xF7};
    Bytes wire = dump;
    wire.insert(wire.end(), identity.begin(), identity.end());
    wire.insert(wire.end(), dump.begin(), dump.end());

    struct Case {
        uint32_t piece;
        uint32_t emptyEvery;
        bool pack;  // the end of one message and the start of the next in one buffer
    };
    const Case cases[] = {{1, 0, false},   {3, 0, false},  {6, 0, false}, {256, 0, false},
                          {511, 0, false}, {6, 1, false},  {3, 7, false}, {256, 2, false},
                          {6, 0, true},    {511, 3, true}, {0, 0, true},  {0, 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "pieces of " << c.piece << ", empty after every "
                                        << c.emptyEvery << (c.pack ? ", packed" : ""));
        standin::StackBehaviour stack;
        stack.pieceBytes = c.piece;
        stack.emptyEvery = c.emptyEvery;
        stack.packMessages = c.pack ? 1 : 0;
        simwinmm::SetInputStack(loop.input, stack);
        Open(16384);
        Wire(wire);
        std::vector<Bytes> sysex;
        EXPECT_EQ(Received(&sysex).size(), 3u);
        ASSERT_EQ(sysex.size(), 3u);
        EXPECT_TRUE(sysex[0] == dump);
        EXPECT_TRUE(sysex[1] == identity);
        EXPECT_TRUE(sysex[2] == dump);
        EXPECT_FALSE(engine->InputOverflowed());
        EXPECT_EQ(engine->CloseInput(), 0);
    }
}

TEST_F(RealStacksTest, RealTimeMessagesNeverWaitForADump) {
    // 503 clocks during a 32 KB dump, as at 120 BPM on a DIN cable: every one
    // arrives, each readable before the dump has ended.
    const Bytes dump = Dump(32 * 1024);
    struct Case {
        const char* name;
        bool inside;  // the stack passes them inside the sysex buffer
    };
    for (const Case& c : {Case{"between the buffers", false}, Case{"inside the buffers", true}}) {
        SCOPED_TRACE(c.name);
        standin::StackBehaviour stack;
        stack.realTimeInSysEx = c.inside ? 1 : 0;
        stack.pieceBytes = 256;
        simwinmm::SetInputStack(loop.input, stack);
        Open(64 * 1024);
        // The dump in 504 parts on the wire, a clock after each but the last.
        // Between the buffers each clock is read before the next part comes;
        // inside them, as soon as the stack hands their buffer back. Either
        // way all come before the dump, which is read last.
        uint32_t clocks = 0;
        std::vector<Bytes> sysex;
        for (size_t part = 0; part < 504; ++part) {
            const size_t from = part * dump.size() / 504;
            const size_t to = (part + 1) * dump.size() / 504;
            Bytes bytes(dump.begin() + static_cast<long>(from),
                        dump.begin() + static_cast<long>(to));
            if (part < 503) {
                bytes.push_back(0xF8);
            }
            Wire(bytes);
            const std::vector<std::string> types = Received(&sysex);
            for (size_t i = 0; i < types.size(); ++i) {
                if (types[i] == "#clock") {
                    ++clocks;
                } else {
                    EXPECT_EQ(part, 503u) << "the dump came early";
                    EXPECT_EQ(i + 1, types.size()) << "a clock after the dump";
                }
            }
            if (!c.inside && part < 503) {
                ASSERT_EQ(clocks, part + 1) << "a clock waits";
            }
        }
        ASSERT_EQ(sysex.size(), 1u);
        EXPECT_TRUE(sysex[0] == dump);
        EXPECT_EQ(clocks, 503u);
        EXPECT_FALSE(engine->InputOverflowed());
        EXPECT_EQ(engine->CloseInput(), 0);
    }

    // Active sensing and the transport inside a buffer: messages of their
    // own, and the data stays 0-127.
    standin::StackBehaviour inside;
    inside.realTimeInSysEx = 1;
    simwinmm::SetInputStack(loop.input, inside);
    Open(8192);
    Wire({0xF0, 0x41, 0x10, 0xFE, 0x42, 0xFA, 0x12, 0xF8, 0xF7});
    std::vector<Bytes> sysex;
    EXPECT_EQ(Received(&sysex),
              (std::vector<std::string>{"#activeSensing", "#start", "#clock", "#systemExclusive"}));
    ASSERT_EQ(sysex.size(), 1u);
    EXPECT_TRUE(sysex[0] == (Bytes{0xF0, 0x41, 0x10, 0x42, 0x12, 0xF7}));
    EXPECT_FALSE(engine->InputOverflowed());
}

TEST_F(RealStacksTest, ASysExThatNeverEndsDelaysNothing) {
    // A cable pulled mid-dump on the sender's side: the message stays open,
    // then only clock comes. On a stack that hands pieces back and on one
    // that keeps an unfinished buffer, all 480 clocks arrive.
    for (const uint32_t piece : {0u, 6u}) {
        SCOPED_TRACE(piece);
        standin::StackBehaviour stack;
        stack.pieceBytes = piece;
        simwinmm::SetInputStack(loop.input, stack);
        Open(8192);
        Bytes begun = Dump(3000);
        begun.pop_back();
        Wire(begun);
        Bytes clock(480, 0xF8);
        Wire(clock);
        EXPECT_EQ(Received(), std::vector<std::string>(480, "#clock"));
        EXPECT_FALSE(engine->InputOverflowed());
        // The next status byte gives it up, and says so.
        Wire({0x90, 0x3C, 0x64});
        EXPECT_EQ(Received(), std::vector<std::string>{"#noteOn"});
        EXPECT_TRUE(engine->InputOverflowed());
        EXPECT_EQ(engine->CloseInput(), 0);
    }
    // The close gives up a message left open.
    standin::StackBehaviour pieces;
    pieces.pieceBytes = 6;
    simwinmm::SetInputStack(loop.input, pieces);
    Open(8192);
    Wire({0xF0, 0x43, 0x10, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
    EXPECT_EQ(engine->CloseInput(), 0);
    EXPECT_TRUE(engine->InputOverflowed());
    EXPECT_FALSE(engine->MessagesPending());
}

TEST_F(RealStacksTest, OutputOnStacksThatLimitBlocksOrCompleteInsideTheSend) {
    ASSERT_EQ(engine->OpenOutput(static_cast<int32_t>(loop.output)), 0);
    Open(16384);
    struct Case {
        const char* name;
        uint32_t blockLimit;
        bool doneInline;
    };
    for (const Case& c : {Case{"2,048 bytes a block", 2048, false},
                          Case{"done inside the send", 0, true}, Case{"both", 2048, true}}) {
        SCOPED_TRACE(c.name);
        standin::StackBehaviour stack;
        stack.blockLimit = c.blockLimit;
        stack.doneInline = c.doneInline ? 1 : 0;
        simwinmm::SetOutputStack(loop.output, stack);
        simwinmm::ClearSentBytes(loop.output);
        const Bytes dump = Dump(4096, 0x41);
        std::vector<int32_t> data(dump.begin() + 2, dump.end() - 1);
        ScriptValue message = SysEx(0x41, data);
        EXPECT_EQ(Send(message), 0);
        EXPECT_EQ(Send(List({"noteOn", 1, 60, 100})), 0);
        Bytes wire = dump;
        wire.insert(wire.end(), {0x90, 60, 100});
        EXPECT_TRUE(simwinmm::SentBytes(loop.output) == wire);
        ASSERT_TRUE(simwinmm::WaitIdle(loop.input));
        std::vector<Bytes> sysex;
        EXPECT_EQ(Received(&sysex), (std::vector<std::string>{"#systemExclusive", "#noteOn"}));
        ASSERT_EQ(sysex.size(), 1u);
        EXPECT_TRUE(sysex[0] == dump);
        // Blocks done inside the send are reaped like any other.
        EXPECT_EQ(Send(SysEx(0x41, {1})), 0);
        ASSERT_TRUE(Eventually([&] { return simwinmm::PendingLongMessages(loop.output) == 0; }));
        EXPECT_EQ(Send(SysEx(0x41, {2})), 0);
        EXPECT_LE(host.LiveBlocks(), 2);  // the queue, and at most the last block
        ASSERT_TRUE(simwinmm::WaitIdle(loop.input));
        Received();
    }
    EXPECT_EQ(engine->CloseOutput(), 0);
    EXPECT_EQ(simwinmm::HeadersLeftPrepared(), 0u);
}

TEST_F(RealStacksTest, ARemovedDeviceSlowToFailIsCalledOnceAndThenOnlyClosed) {
    // Every call on the removed device answers after 1.5 s: a show must not
    // pay that for every send. What counts is the calls the driver saw.
    struct Case {
        const char* name;
        uint32_t result;
    };
    for (const Case& c :
         {Case{"slow to fail", 1 /*MMSYSERR_ERROR*/}, Case{"no device", 68 /*NODEVICE*/}}) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(engine->OpenOutput(static_cast<int32_t>(loop.output)), 0);
        Open(8192);
        simwinmm::PullBehaviour pull;
        pull.result = c.result;
        pull.delayMs = c.result == 1 ? 1500 : 0;
        simwinmm::SetPullBehaviour(pull);
        ASSERT_TRUE(simwinmm::UnplugPort("Loop"));

        const uint32_t shorts = simwinmm::CallCount("midiOutShortMsg");
        const uint32_t longs = simwinmm::CallCount("midiOutLongMsg");
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(Send(List({"clock"})), 3);
            EXPECT_EQ(Send(SysEx(0x41, {1, 2, 3})), 3);
        }
        EXPECT_EQ(simwinmm::CallCount("midiOutShortMsg") - shorts, 1u);
        EXPECT_EQ(simwinmm::CallCount("midiOutLongMsg") - longs, 0u);

        // The closes only close: no reset, no 0xF7, no unpreparing.
        const uint32_t outResets = simwinmm::CallCount("midiOutReset");
        const uint32_t inResets = simwinmm::CallCount("midiInReset");
        const uint32_t inUnprepares = simwinmm::CallCount("midiInUnprepareHeader");
        const uint32_t outShorts = simwinmm::CallCount("midiOutShortMsg");
        EXPECT_EQ(engine->CloseOutput(), 0);
        EXPECT_EQ(simwinmm::CallCount("midiOutReset"), outResets);
        EXPECT_EQ(simwinmm::CallCount("midiOutShortMsg"), outShorts);
        // The input heard it from the buffers the pull handed back.
        EXPECT_EQ(engine->CloseInput(), 3);
        EXPECT_EQ(simwinmm::CallCount("midiInReset"), inResets);
        EXPECT_EQ(simwinmm::CallCount("midiInUnprepareHeader"), inUnprepares);

        // Plugged back in, the same object opens the port anew, and it works.
        ASSERT_TRUE(simwinmm::ReplugPort("Loop"));
        ASSERT_EQ(engine->OpenOutput(static_cast<int32_t>(loop.output)), 0);
        EXPECT_EQ(Send(List({"clock"})), 0);
        EXPECT_EQ(engine->CloseOutput(), 0);
    }
}

}  // namespace
