// The behaviours of real MIDI stacks that a port can be given: how input
// buffers come back, where real-time bytes go, limits and completions on
// output.
#include <atomic>
#include <memory>
#include <mutex>

#include "recorder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A loopback port whose input callback keeps buffers and short messages in
// the order they came, and gives each buffer back, as the device layer does.
class StackInput : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        rec.onInput = [this](HMIDIIN handle, UINT message, DWORD_PTR param1) {
            std::lock_guard<std::mutex> lock(mutex);
            if (message == MIM_DATA) {
                seen.push_back({0, static_cast<uint8_t>(param1)});
            } else if (message == MIM_LONGDATA) {
                auto* header = reinterpret_cast<MIDIHDR*>(param1);
                const auto* data = reinterpret_cast<const uint8_t*>(header->lpData);
                seen.emplace_back(data, data + header->dwBytesRecorded);
                if (!closing) {
                    midiInAddBuffer(handle, header, sizeof(MIDIHDR));
                }
            }
        };
        loop = simwinmm::AddLoopbackPort("Loop");
        ASSERT_EQ(midiInOpen(&in, loop.input, rec.InCallback(), rec.Instance(), CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        for (int i = 0; i < 16; ++i) {
            buffers.push_back(std::make_unique<Buffer>(512));
            ASSERT_EQ(midiInPrepareHeader(in, &buffers.back()->header, sizeof(MIDIHDR)), 0u);
            ASSERT_EQ(midiInAddBuffer(in, &buffers.back()->header, sizeof(MIDIHDR)), 0u);
        }
        ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    }
    void TearDown() override {
        closing = true;
        midiInReset(in);
        for (auto& buffer : buffers) {
            midiInUnprepareHeader(in, &buffer->header, sizeof(MIDIHDR));
        }
        midiInClose(in);
        DriverTest::TearDown();
    }

    // What the wire bytes gave, in order: each buffer as its bytes, each
    // short message as {0, status}.
    std::vector<Bytes> Run(const standin::StackBehaviour& stack, const Bytes& wire) {
        simwinmm::SetInputStack(loop.input, stack);
        {
            std::lock_guard<std::mutex> lock(mutex);
            seen.clear();
        }
        simwinmm::InjectWire(loop.input, wire);
        EXPECT_TRUE(simwinmm::WaitIdle(loop.input));
        std::lock_guard<std::mutex> lock(mutex);
        return seen;
    }

    Recorder rec;
    simwinmm::PortPair loop{};
    HMIDIIN in = nullptr;
    std::vector<std::unique_ptr<Buffer>> buffers;
    std::atomic<bool> closing{false};
    std::mutex mutex;
    std::vector<Bytes> seen;
};

TEST_F(StackInput, InputBuffersComeBackAsTheStackHandsThemBack) {
    const Bytes wire{0xF0, 1, 2, 3, 4, 5, 0xF7, 0xF0, 6, 7, 0xF7};
    struct Case {
        const char* name;
        standin::StackBehaviour stack;
        std::vector<Bytes> arrivals;
    };
    standin::StackBehaviour pieces;
    pieces.pieceBytes = 3;
    standin::StackBehaviour packed = pieces;
    packed.packMessages = 1;
    standin::StackBehaviour empties = pieces;
    empties.emptyEvery = 2;
    standin::StackBehaviour packedWhole;
    packedWhole.packMessages = 1;
    const Case cases[] = {
        {"as documented", {}, {{0xF0, 1, 2, 3, 4, 5, 0xF7}, {0xF0, 6, 7, 0xF7}}},
        {"pieces of 3", pieces, {{0xF0, 1, 2}, {3, 4, 5}, {0xF7}, {0xF0, 6, 7}, {0xF7}}},
        {"packed pieces of 3", packed, {{0xF0, 1, 2}, {3, 4, 5}, {0xF7, 0xF0, 6}, {7, 0xF7}}},
        {"an empty one after every second",
         empties,
         {{0xF0, 1, 2}, {3, 4, 5}, {}, {0xF7}, {0xF0, 6, 7}, {}, {0xF7}}},
        // Packed without a piece size: back when nothing more is coming.
        {"packed whole", packedWhole, {{0xF0, 1, 2, 3, 4, 5, 0xF7, 0xF0, 6, 7, 0xF7}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Run(c.stack, wire), c.arrivals) << c.name;
    }
}

TEST_F(StackInput, RealTimeBytesGoBetweenOrInsideTheBuffers) {
    const Bytes wire{0xF0, 1, 2, 0xF8, 3, 0xF7, 0xFE};
    standin::StackBehaviour between;
    EXPECT_EQ(Run(between, wire),
              (std::vector<Bytes>{{0, 0xF8}, {0xF0, 1, 2, 3, 0xF7}, {0, 0xFE}}));
    standin::StackBehaviour inside;
    inside.realTimeInSysEx = 1;
    EXPECT_EQ(Run(inside, wire), (std::vector<Bytes>{{0xF0, 1, 2, 0xF8, 3, 0xF7}, {0, 0xFE}}));

    // A clock source on the same cable: one after every 2 bytes after 0xF0,
    // arriving while the buffer that holds the second is still being filled.
    standin::StackBehaviour clocked;
    clocked.clockEvery = 2;
    clocked.pieceBytes = 2;
    EXPECT_EQ(Run(clocked, {0xF0, 1, 2, 3, 4, 0xF7}),
              (std::vector<Bytes>{{0xF0, 1}, {0, 0xF8}, {2, 3}, {0, 0xF8}, {4, 0xF7}}));
}

class StackOutput : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        port = simwinmm::AddOutputPort("Synth");
        ASSERT_EQ(midiOutOpen(&out, port, rec.OutCallback(), rec.Instance(), CALLBACK_FUNCTION),
                  0u);
    }
    void TearDown() override {
        midiOutClose(out);
        DriverTest::TearDown();
    }
    Recorder rec;
    uint32_t port = 0;
    HMIDIOUT out = nullptr;
};

TEST_F(StackOutput, ABlockLimitAndCompletionsInsideTheSend) {
    standin::StackBehaviour stack;
    stack.blockLimit = 2048;
    stack.doneInline = 1;
    simwinmm::SetOutputStack(port, stack);
    Bytes message(2049, 0x11);
    message.front() = 0xF0;
    message.back() = 0xF7;
    Buffer over(message);
    ASSERT_EQ(midiOutPrepareHeader(out, &over.header, sizeof(MIDIHDR)), 0u);
    EXPECT_EQ(midiOutLongMsg(out, &over.header, sizeof(MIDIHDR)), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiOutUnprepareHeader(out, &over.header, sizeof(MIDIHDR)), 0u);

    message.erase(message.begin() + 1);
    Buffer block(message);
    ASSERT_EQ(midiOutPrepareHeader(out, &block.header, sizeof(MIDIHDR)), 0u);
    EXPECT_EQ(midiOutLongMsg(out, &block.header, sizeof(MIDIHDR)), 0u);
    // Done before the call returned, on the calling thread.
    const std::vector<Delivered> done = rec.Of(MOM_DONE);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].thread, std::this_thread::get_id());
    EXPECT_EQ(block.header.dwFlags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
    EXPECT_EQ(simwinmm::SentBytes(port), message);
    EXPECT_EQ(midiOutUnprepareHeader(out, &block.header, sizeof(MIDIHDR)), 0u);
}

}  // namespace
