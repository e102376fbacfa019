// The loopback driver through the real winmm: what the device layer relies on
// (callback threads, buffer splitting, header rules, reset and refused close).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <mmsystem.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "loopdrv/control.h"

namespace {

constexpr DWORD kBufferSize = 512;
// Generous: emulation on a loaded machine is slow, not broken.
constexpr DWORD kDeadlineMs = 30000;

UINT FindInput() {
    for (UINT id = 0; id < midiInGetNumDevs(); ++id) {
        MIDIINCAPSA caps{};
        if (midiInGetDevCapsA(id, &caps, sizeof caps) == MMSYSERR_NOERROR &&
            std::strcmp(caps.szPname, "Loopback") == 0) {
            return id;
        }
    }
    return UINT(-1);
}

UINT FindOutput() {
    for (UINT id = 0; id < midiOutGetNumDevs(); ++id) {
        MIDIOUTCAPSA caps{};
        if (midiOutGetDevCapsA(id, &caps, sizeof caps) == MMSYSERR_NOERROR &&
            std::strcmp(caps.szPname, "Loopback") == 0) {
            return id;
        }
    }
    return UINT(-1);
}

// What the callbacks saw. The callbacks only record and signal.
struct Recorder {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<DWORD> shorts;
    std::vector<MIDIHDR*> returned;  // input buffers, in order
    std::vector<MIDIHDR*> done;      // output headers
    std::vector<UINT> arrivals;      // MIM_DATA and MIM_LONGDATA, in order
    std::vector<BOOL> idleInCallback;
    LoopbackWaitIdleProc waitIdleInCallback = nullptr;
    DWORD openThread = 0;
    DWORD dataThread = 0;
    DWORD doneThread = 0;

    template <typename Pred>
    bool WaitFor(Pred pred) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(kDeadlineMs), pred);
    }
};

void CALLBACK InputProc(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
    auto* rec = reinterpret_cast<Recorder*>(instance);
    std::lock_guard<std::mutex> lock(rec->mutex);
    if (message == MIM_OPEN)
        rec->openThread = GetCurrentThreadId();
    if (message == MIM_DATA) {
        rec->shorts.push_back(static_cast<DWORD>(param1));
        rec->dataThread = GetCurrentThreadId();
    }
    if (message == MIM_LONGDATA)
        rec->returned.push_back(reinterpret_cast<MIDIHDR*>(param1));
    if (message == MIM_DATA || message == MIM_LONGDATA) {
        rec->arrivals.push_back(message);
        // A delivery is in progress: the driver is not idle, and must not
        // wait for itself.
        if (rec->waitIdleInCallback != nullptr)
            rec->idleInCallback.push_back(rec->waitIdleInCallback(0));
    }
    rec->changed.notify_all();
}

void CALLBACK OutputProc(HMIDIOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
    auto* rec = reinterpret_cast<Recorder*>(instance);
    std::lock_guard<std::mutex> lock(rec->mutex);
    if (message == MOM_DONE) {
        rec->done.push_back(reinterpret_cast<MIDIHDR*>(param1));
        rec->doneThread = GetCurrentThreadId();
    }
    rec->changed.notify_all();
}

struct Buffer {
    MIDIHDR header{};
    char data[kBufferSize]{};
    Buffer() {
        header.lpData = data;
        header.dwBufferLength = kBufferSize;
    }
};

class LoopbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        inputId = FindInput();
        outputId = FindOutput();
        ASSERT_NE(inputId, UINT(-1)) << "no \"Loopback\" input port: is wineloop.drv chosen?";
        ASSERT_NE(outputId, UINT(-1)) << "no \"Loopback\" output port";
        ASSERT_EQ(midiInOpen(&in, inputId, reinterpret_cast<DWORD_PTR>(&InputProc),
                             reinterpret_cast<DWORD_PTR>(&inRec), CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        ASSERT_EQ(midiOutOpen(&out, outputId, reinterpret_cast<DWORD_PTR>(&OutputProc),
                              reinterpret_cast<DWORD_PTR>(&outRec), CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        waitIdle = FindLoopbackExport<LoopbackWaitIdleProc>("LoopbackWaitIdle");
        inject = FindLoopbackExport<LoopbackInjectProc>("LoopbackInject");
        setBehaviour = FindLoopbackExport<LoopbackSetBehaviourProc>("LoopbackSetBehaviour");
        ASSERT_NE(waitIdle, nullptr);
        ASSERT_NE(inject, nullptr);
        ASSERT_NE(setBehaviour, nullptr);
    }
    void TearDown() override {
        if (setBehaviour != nullptr) {
            const standin::StackBehaviour documented{};
            setBehaviour(&documented);
        }
        if (in != nullptr) {
            midiInReset(in);
            for (Buffer& b : buffers)
                midiInUnprepareHeader(in, &b.header, sizeof b.header);
            midiInClose(in);
        }
        if (out != nullptr) {
            midiOutReset(out);
            midiOutClose(out);
        }
    }
    void QueueBuffers(size_t count) {
        buffers = std::vector<Buffer>(count);
        for (Buffer& b : buffers) {
            ASSERT_EQ(midiInPrepareHeader(in, &b.header, sizeof b.header), MMSYSERR_NOERROR);
            ASSERT_EQ(midiInAddBuffer(in, &b.header, sizeof b.header), MMSYSERR_NOERROR);
        }
    }
    MMRESULT SendLong(MIDIHDR& header, std::vector<char>& bytes) {
        header = MIDIHDR{};
        header.lpData = bytes.data();
        header.dwBufferLength = static_cast<DWORD>(bytes.size());
        MMRESULT prepared = midiOutPrepareHeader(out, &header, sizeof header);
        if (prepared != MMSYSERR_NOERROR)
            return prepared;
        return midiOutLongMsg(out, &header, sizeof header);
    }

    UINT inputId = 0;
    UINT outputId = 0;
    HMIDIIN in = nullptr;
    HMIDIOUT out = nullptr;
    Recorder inRec;
    Recorder outRec;
    std::vector<Buffer> buffers;
    LoopbackWaitIdleProc waitIdle = nullptr;
    LoopbackInjectProc inject = nullptr;
    LoopbackSetBehaviourProc setBehaviour = nullptr;
};

std::vector<char> SysExBytes(std::initializer_list<int> bytes) {
    std::vector<char> out;
    for (int byte : bytes)
        out.push_back(static_cast<char>(byte));
    return out;
}

TEST_F(LoopbackTest, ShortMessagesComeBackInOrderFromTheDriverThread) {
    EXPECT_EQ(inRec.openThread, GetCurrentThreadId());
    // Nothing arrives before the input is started.
    ASSERT_EQ(midiOutShortMsg(out, 0x7F3C90), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitIdle(kDeadlineMs));
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    constexpr DWORD kCount = 2000;
    for (DWORD i = 0; i < kCount; ++i) {
        DWORD message = 0x90u | ((i % 16) << 0) | ((i % 128) << 8) | (((i / 128) % 128) << 16);
        ASSERT_EQ(midiOutShortMsg(out, message), MMSYSERR_NOERROR);
    }
    ASSERT_TRUE(inRec.WaitFor([&] { return inRec.shorts.size() >= kCount; }));
    std::lock_guard<std::mutex> lock(inRec.mutex);
    ASSERT_EQ(inRec.shorts.size(), kCount);
    for (DWORD i = 0; i < kCount; ++i) {
        DWORD message = 0x90u | ((i % 16) << 0) | ((i % 128) << 8) | (((i / 128) % 128) << 16);
        ASSERT_EQ(inRec.shorts[i], message) << "message " << i;
    }
    EXPECT_NE(inRec.dataThread, GetCurrentThreadId());
}

TEST_F(LoopbackTest, SysExIsSplitOverTheQueuedBuffers) {
    QueueBuffers(8);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    const size_t sizes[] = {2, 511, 512, 513, 2000};
    size_t returnedBefore = 0;
    for (size_t size : sizes) {
        std::vector<char> bytes(size);
        bytes.front() = static_cast<char>(0xF0);
        for (size_t i = 1; i + 1 < size; ++i)
            bytes[i] = static_cast<char>(i % 128);
        bytes.back() = static_cast<char>(0xF7);
        MIDIHDR header;
        ASSERT_EQ(SendLong(header, bytes), MMSYSERR_NOERROR);
        ASSERT_TRUE(outRec.WaitFor([&] { return !outRec.done.empty(); })) << size;

        const size_t chunks = (size + kBufferSize - 1) / kBufferSize;
        ASSERT_TRUE(
            inRec.WaitFor([&] { return inRec.returned.size() >= returnedBefore + chunks; }));
        std::vector<char> received;
        {
            std::lock_guard<std::mutex> lock(inRec.mutex);
            ASSERT_EQ(inRec.returned.size(), returnedBefore + chunks) << size;
            for (size_t c = returnedBefore; c < inRec.returned.size(); ++c) {
                MIDIHDR* h = inRec.returned[c];
                EXPECT_TRUE(h->dwFlags & MHDR_DONE);
                EXPECT_FALSE(h->dwFlags & MHDR_INQUEUE);
                received.insert(received.end(), h->lpData, h->lpData + h->dwBytesRecorded);
                ASSERT_EQ(midiInAddBuffer(in, h, sizeof *h), MMSYSERR_NOERROR);
            }
            returnedBefore = inRec.returned.size();
        }
        EXPECT_EQ(received, bytes) << size;

        std::lock_guard<std::mutex> lock(outRec.mutex);
        EXPECT_EQ(outRec.done.front(), &header);
        EXPECT_TRUE(header.dwFlags & MHDR_DONE);
        EXPECT_FALSE(header.dwFlags & MHDR_INQUEUE);
        EXPECT_NE(outRec.doneThread, GetCurrentThreadId());
        outRec.done.clear();
        EXPECT_EQ(midiOutUnprepareHeader(out, &header, sizeof header), MMSYSERR_NOERROR);
        EXPECT_FALSE(header.dwFlags & MHDR_PREPARED);
    }
}

TEST_F(LoopbackTest, HeadersFollowTheRulesOfPreparation) {
    char data[16] = {};
    MIDIHDR header{};
    header.lpData = data;
    header.dwBufferLength = sizeof data;

    EXPECT_EQ(midiOutLongMsg(out, &header, sizeof header), MIDIERR_UNPREPARED);
    EXPECT_EQ(midiInAddBuffer(in, &header, sizeof header), MIDIERR_UNPREPARED);

    ASSERT_EQ(midiInPrepareHeader(in, &header, sizeof header), MMSYSERR_NOERROR);
    EXPECT_TRUE(header.dwFlags & MHDR_PREPARED);
    EXPECT_EQ(midiInPrepareHeader(in, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInAddBuffer(in, &header, sizeof header), MMSYSERR_NOERROR);
    EXPECT_TRUE(header.dwFlags & MHDR_INQUEUE);
    EXPECT_EQ(midiInAddBuffer(in, &header, sizeof header), MIDIERR_STILLPLAYING);
    EXPECT_EQ(midiInUnprepareHeader(in, &header, sizeof header), MIDIERR_STILLPLAYING);

    ASSERT_EQ(midiInReset(in), MMSYSERR_NOERROR);
    EXPECT_FALSE(header.dwFlags & MHDR_INQUEUE);
    EXPECT_EQ(midiInUnprepareHeader(in, &header, sizeof header), MMSYSERR_NOERROR);
    EXPECT_FALSE(header.dwFlags & MHDR_PREPARED);
}

TEST_F(LoopbackTest, ResetReturnsEveryQueuedBufferBeforeItReturns) {
    QueueBuffers(4);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    // An unfinished message stays in the first buffer.
    std::vector<char> bytes(100, 0x11);
    bytes.front() = static_cast<char>(0xF0);
    MIDIHDR header;
    ASSERT_EQ(SendLong(header, bytes), MMSYSERR_NOERROR);
    ASSERT_TRUE(outRec.WaitFor([&] { return !outRec.done.empty(); }));

    ASSERT_EQ(midiInReset(in), MMSYSERR_NOERROR);
    {
        std::lock_guard<std::mutex> lock(inRec.mutex);
        ASSERT_EQ(inRec.returned.size(), 4u);
        EXPECT_EQ(inRec.returned[0], &buffers[0].header);
        EXPECT_EQ(inRec.returned[0]->dwBytesRecorded, 100u);
        for (size_t i = 1; i < 4; ++i)
            EXPECT_EQ(inRec.returned[i]->dwBytesRecorded, 0u);
        for (MIDIHDR* h : inRec.returned)
            EXPECT_EQ(h->dwFlags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
    }
    midiOutUnprepareHeader(out, &header, sizeof header);
}

TEST_F(LoopbackTest, RefusedCloseStillReleasesThePort) {
    QueueBuffers(2);
    EXPECT_EQ(midiInClose(in), MIDIERR_STILLPLAYING);
    for (Buffer& b : buffers)
        EXPECT_FALSE(b.header.dwFlags & MHDR_INQUEUE);
    in = nullptr;
    // The port can be opened again at once.
    HMIDIIN again = nullptr;
    ASSERT_EQ(midiInOpen(&again, inputId, reinterpret_cast<DWORD_PTR>(&InputProc),
                         reinterpret_cast<DWORD_PTR>(&inRec), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    EXPECT_EQ(midiInClose(again), MMSYSERR_NOERROR);

    // One user at a time.
    HMIDIOUT second = nullptr;
    EXPECT_EQ(midiOutOpen(&second, outputId, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
}

TEST_F(LoopbackTest, WaitIdleReturnsOnceEverythingSentHasBeenDelivered) {
    QueueBuffers(4);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    inRec.waitIdleInCallback = waitIdle;
    constexpr DWORD kCount = 500;
    for (DWORD i = 0; i < kCount; ++i)
        ASSERT_EQ(midiOutShortMsg(out, 0x90u | (i % 128) << 8 | 0x40u << 16), MMSYSERR_NOERROR);
    std::vector<char> bytes = SysExBytes({0xF0, 0x43, 0x10, 0x4C, 0xF7});
    MIDIHDR header;
    ASSERT_EQ(SendLong(header, bytes), MMSYSERR_NOERROR);

    ASSERT_TRUE(waitIdle(kDeadlineMs));
    {
        std::lock_guard<std::mutex> lock(inRec.mutex);
        EXPECT_EQ(inRec.shorts.size(), kCount);
        ASSERT_EQ(inRec.returned.size(), 1u);
        EXPECT_EQ(inRec.returned[0]->dwBytesRecorded, 5u);
        EXPECT_EQ(inRec.idleInCallback, std::vector<BOOL>(kCount + 1, FALSE));
        inRec.waitIdleInCallback = nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(outRec.mutex);
        EXPECT_EQ(outRec.done.size(), 1u);
    }
    // Idle stays idle.
    EXPECT_TRUE(waitIdle(0));
    midiOutUnprepareHeader(out, &header, sizeof header);
}

TEST_F(LoopbackTest, InjectedBytesArriveAsFromTheWire) {
    QueueBuffers(4);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    // Real-time bytes may come inside a sysex message; they arrive on their
    // own, before the message they interrupted.
    const BYTE wire[] = {0x90, 0x3C, 0x64, 0xF0, 0x43, 0x10, 0x4C, 0xF7, 0xC0, 0x05,
                         0xF8, 0xF0, 0x7E, 0xF8, 0x01, 0xF7, 0xF6, 0xE1, 0x00, 0x40};
    ASSERT_TRUE(inject(wire, sizeof wire));
    ASSERT_TRUE(waitIdle(kDeadlineMs));

    std::lock_guard<std::mutex> lock(inRec.mutex);
    EXPECT_EQ(inRec.shorts, (std::vector<DWORD>{0x643C90, 0x05C0, 0xF8, 0xF8, 0xF6, 0x4000E1}));
    EXPECT_EQ(inRec.arrivals, (std::vector<UINT>{MIM_DATA, MIM_LONGDATA, MIM_DATA, MIM_DATA,
                                                 MIM_DATA, MIM_LONGDATA, MIM_DATA, MIM_DATA}));
    ASSERT_EQ(inRec.returned.size(), 2u);
    const std::vector<char> first(inRec.returned[0]->lpData,
                                  inRec.returned[0]->lpData + inRec.returned[0]->dwBytesRecorded);
    const std::vector<char> second(inRec.returned[1]->lpData,
                                   inRec.returned[1]->lpData + inRec.returned[1]->dwBytesRecorded);
    EXPECT_EQ(first, SysExBytes({0xF0, 0x43, 0x10, 0x4C, 0xF7}));
    EXPECT_EQ(second, SysExBytes({0xF0, 0x7E, 0x01, 0xF7}));
}

TEST_F(LoopbackTest, InjectRefusesWhatIsNotWholeMessagesAndQueuesNothing) {
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    const std::vector<std::vector<BYTE>> refused = {
        {0x3C, 0x40},                    // data bytes with no status (no running status)
        {0x90, 0x3C, 0x40, 0x3D, 0x40},  // running status
        {0x90, 0x3C},                    // cut short
        {0x90, 0x3C, 0xC0, 0x01},        // cut by another status
        {0xF0, 0x01, 0x90, 0xF7},        // a sysex cut by a note, then an end with no start
        {0xF7},                          // an end with no start
    };
    for (const std::vector<BYTE>& bytes : refused) {
        EXPECT_FALSE(inject(bytes.data(), static_cast<DWORD>(bytes.size()))) << bytes.size();
    }
    EXPECT_FALSE(inject(nullptr, 3));
    EXPECT_TRUE(inject(nullptr, 0));
    ASSERT_TRUE(waitIdle(kDeadlineMs));
    std::lock_guard<std::mutex> lock(inRec.mutex);
    EXPECT_TRUE(inRec.arrivals.empty());
}

TEST_F(LoopbackTest, InjectNeedsAnOpenInputAndDeliversOnlyOnceStarted) {
    const BYTE note[] = {0x91, 0x40, 0x7F};
    // Open but not started: taken, and dropped at delivery.
    ASSERT_TRUE(inject(note, sizeof note));
    ASSERT_TRUE(waitIdle(kDeadlineMs));
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    ASSERT_TRUE(inject(note, sizeof note));
    ASSERT_TRUE(waitIdle(kDeadlineMs));
    {
        std::lock_guard<std::mutex> lock(inRec.mutex);
        EXPECT_EQ(inRec.shorts, std::vector<DWORD>{0x7F4091});
    }
    ASSERT_EQ(midiInClose(in), MMSYSERR_NOERROR);
    in = nullptr;
    EXPECT_FALSE(inject(note, sizeof note));
}

// The input callback of the behaviour tests: buffers (given back at once)
// and short messages in the order they came.
struct Arrivals {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::vector<int>> seen;  // a buffer's bytes; a short message as {-1, status}
    bool giveBack = true;
};

void CALLBACK ArrivalsProc(HMIDIIN handle, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                           DWORD_PTR) {
    auto* arrivals = reinterpret_cast<Arrivals*>(instance);
    std::lock_guard<std::mutex> lock(arrivals->mutex);
    if (message == MIM_DATA) {
        arrivals->seen.push_back({-1, static_cast<int>(param1 & 0xFF)});
    } else if (message == MIM_LONGDATA) {
        auto* header = reinterpret_cast<MIDIHDR*>(param1);
        std::vector<int> bytes;
        for (DWORD i = 0; i < header->dwBytesRecorded; ++i)
            bytes.push_back(static_cast<uint8_t>(header->lpData[i]));
        arrivals->seen.push_back(bytes);
        if (arrivals->giveBack)
            midiInAddBuffer(handle, header, sizeof *header);
    }
    arrivals->changed.notify_all();
}

class LoopbackBehaviourTest : public LoopbackTest {
protected:
    void SetUp() override {
        LoopbackTest::SetUp();
        // The input again, with the callback that gives buffers back.
        ASSERT_EQ(midiInClose(in), MMSYSERR_NOERROR);
        ASSERT_EQ(midiInOpen(&in, inputId, reinterpret_cast<DWORD_PTR>(&ArrivalsProc),
                             reinterpret_cast<DWORD_PTR>(&arrivals), CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        QueueBuffers(8);
        ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    }
    void TearDown() override {
        {
            std::lock_guard<std::mutex> lock(arrivals.mutex);
            arrivals.giveBack = false;
        }
        LoopbackTest::TearDown();
    }
    std::vector<std::vector<int>> Run(const standin::StackBehaviour& stack,
                                      const std::vector<BYTE>& wire) {
        EXPECT_TRUE(setBehaviour(&stack));
        {
            std::lock_guard<std::mutex> lock(arrivals.mutex);
            arrivals.seen.clear();
        }
        EXPECT_TRUE(inject(wire.data(), static_cast<DWORD>(wire.size())));
        EXPECT_TRUE(waitIdle(kDeadlineMs));
        std::lock_guard<std::mutex> lock(arrivals.mutex);
        return arrivals.seen;
    }
    Arrivals arrivals;
};

TEST_F(LoopbackBehaviourTest, InputComesBackAsTheStackHandsItBack) {
    using Seen = std::vector<std::vector<int>>;
    const std::vector<BYTE> wire = {0xF0, 1, 2, 3, 4, 5, 0xF7, 0xF0, 6, 7, 0xF7};
    standin::StackBehaviour pieces;
    pieces.pieceBytes = 3;
    EXPECT_EQ(Run(pieces, wire), (Seen{{0xF0, 1, 2}, {3, 4, 5}, {0xF7}, {0xF0, 6, 7}, {0xF7}}));
    standin::StackBehaviour packed = pieces;
    packed.packMessages = 1;
    EXPECT_EQ(Run(packed, wire), (Seen{{0xF0, 1, 2}, {3, 4, 5}, {0xF7, 0xF0, 6}, {7, 0xF7}}));
    standin::StackBehaviour empties = pieces;
    empties.emptyEvery = 2;
    EXPECT_EQ(Run(empties, wire),
              (Seen{{0xF0, 1, 2}, {3, 4, 5}, {}, {0xF7}, {0xF0, 6, 7}, {}, {0xF7}}));

    const std::vector<BYTE> clocked = {0xF0, 1, 2, 0xF8, 3, 0xF7, 0xFE};
    standin::StackBehaviour inside;
    inside.realTimeInSysEx = 1;
    EXPECT_EQ(Run(inside, clocked), (Seen{{0xF0, 1, 2, 0xF8, 3, 0xF7}, {-1, 0xFE}}));
    standin::StackBehaviour merged;
    merged.clockEvery = 2;
    EXPECT_EQ(Run(merged, {0xF0, 1, 2, 3, 0xF7}), (Seen{{-1, 0xF8}, {0xF0, 1, 2, 3, 0xF7}}));

    // A sysex left open: later injections go on with it, clocks pass it, and
    // a status byte cuts it, handing its buffer back as it is.
    standin::StackBehaviour documented;
    EXPECT_EQ(Run(documented, {0xF0, 0x43, 0x10}), Seen{});
    EXPECT_EQ(Run(documented, {0x11, 0xF8, 0xF8}), (Seen{{-1, 0xF8}, {-1, 0xF8}}));
    EXPECT_EQ(Run(documented, {0x90, 0x3C, 0x40}), (Seen{{0xF0, 0x43, 0x10, 0x11}, {-1, 0x90}}));
}

TEST_F(LoopbackBehaviourTest, OutputBlocksLimitedAndDoneInsideTheSend) {
    standin::StackBehaviour stack;
    stack.blockLimit = 2048;
    stack.doneInline = 1;
    ASSERT_TRUE(setBehaviour(&stack));
    std::vector<char> over(2049, 0x11);
    over.front() = static_cast<char>(0xF0);
    over.back() = static_cast<char>(0xF7);
    MIDIHDR header;
    EXPECT_EQ(SendLong(header, over), MMSYSERR_INVALPARAM);
    EXPECT_EQ(midiOutUnprepareHeader(out, &header, sizeof header), MMSYSERR_NOERROR);
    std::vector<char> block(over.begin() + 1, over.end());
    block.front() = static_cast<char>(0xF0);
    ASSERT_EQ(SendLong(header, block), MMSYSERR_NOERROR);
    {
        // Done before the call returned, on this thread.
        std::lock_guard<std::mutex> lock(outRec.mutex);
        ASSERT_EQ(outRec.done.size(), 1u);
        EXPECT_EQ(outRec.doneThread, GetCurrentThreadId());
    }
    EXPECT_TRUE(header.dwFlags & MHDR_DONE);
    EXPECT_EQ(midiOutUnprepareHeader(out, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitIdle(kDeadlineMs));
    std::lock_guard<std::mutex> lock(arrivals.mutex);
    size_t bytes = 0;
    for (const std::vector<int>& buffer : arrivals.seen)
        bytes += buffer.size();
    EXPECT_EQ(bytes, block.size());
}

}  // namespace

// A pulled cable: the device cannot be described, opened or used, and the
// handles open when it went stay dead after it is back, until closed; the
// close always works.
TEST_F(LoopbackTest, APulledCableRefusesUntilTheDeadHandlesAreClosed) {
    const auto plug = FindLoopbackExport<LoopbackPlugProc>("LoopbackPlug");
    ASSERT_NE(plug, nullptr);
    ASSERT_FALSE(plug(TRUE)) << "already plugged in";
    ASSERT_TRUE(plug(FALSE));
    MIDIOUTCAPSW caps{};
    EXPECT_EQ(midiOutGetDevCapsW(outputId, &caps, sizeof caps), MMSYSERR_NODRIVER);
    EXPECT_EQ(midiOutShortMsg(out, 0x7F3C90), MMSYSERR_NODRIVER);
    EXPECT_EQ(midiInStart(in), MMSYSERR_NODRIVER);
    const auto inject = FindLoopbackExport<LoopbackInjectProc>("LoopbackInject");
    ASSERT_NE(inject, nullptr);
    const BYTE note[] = {0x90, 0x3C, 0x7F};
    EXPECT_FALSE(inject(note, sizeof note)) << "nothing comes in on a pulled cable";
    ASSERT_TRUE(plug(TRUE));
    EXPECT_FALSE(inject(note, sizeof note)) << "nor into the handle that died with it";
    EXPECT_EQ(midiOutGetDevCapsW(outputId, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutShortMsg(out, 0x7F3C90), MMSYSERR_NODRIVER) << "the old handle stays dead";
    ASSERT_EQ(midiOutReset(out), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInReset(in), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInClose(in), MMSYSERR_NOERROR);
    in = nullptr;
    out = nullptr;
    ASSERT_EQ(midiInOpen(&in, inputId, reinterpret_cast<DWORD_PTR>(&InputProc),
                         reinterpret_cast<DWORD_PTR>(&inRec), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutOpen(&out, outputId, reinterpret_cast<DWORD_PTR>(&OutputProc),
                          reinterpret_cast<DWORD_PTR>(&outRec), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutShortMsg(out, 0x7F3C90), MMSYSERR_NOERROR);
    ASSERT_TRUE(inRec.WaitFor([&] { return !inRec.shorts.empty(); }));
}
