// The input side: short messages, sysex in the app's buffers, reset and stop,
// loopback, and a callback that gives buffers back as the device layer does.
#include <memory>

#include "recorder.h"

namespace {

class Input : public DriverTest {
protected:
    void Open(uint32_t device = 0) {
        ASSERT_EQ(midiInOpen(&in, device, rec.InCallback(), rec.Instance(), CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
    }
    // Prepares and queues `count` buffers of `size` bytes.
    void Queue(size_t count, size_t size) {
        for (size_t i = 0; i < count; ++i) {
            buffers.push_back(std::make_unique<Buffer>(size));
            MIDIHDR* h = &buffers.back()->header;
            ASSERT_EQ(midiInPrepareHeader(in, h, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
            ASSERT_EQ(midiInAddBuffer(in, h, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
        }
    }
    // The bytes of each returned buffer, in the order they came back.
    std::vector<std::vector<uint8_t>> Returned(UINT message = MIM_LONGDATA) {
        std::vector<std::vector<uint8_t>> out;
        for (const Delivered& d : rec.Of(message)) {
            const auto* h = reinterpret_cast<const MIDIHDR*>(d.param1);
            EXPECT_EQ(h->dwFlags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
            const auto* p = reinterpret_cast<const uint8_t*>(h->lpData);
            out.emplace_back(p, p + h->dwBytesRecorded);
        }
        return out;
    }
    void CloseAll() {
        ASSERT_EQ(midiInReset(in), MMSYSERR_NOERROR);
        for (auto& b : buffers) {
            ASSERT_EQ(midiInUnprepareHeader(in, &b->header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
        }
        ASSERT_EQ(midiInClose(in), MMSYSERR_NOERROR);
    }

    Recorder rec;
    HMIDIIN in = nullptr;
    std::vector<std::unique_ptr<Buffer>> buffers;
};

std::vector<uint8_t> SysEx(size_t length) {
    std::vector<uint8_t> bytes(length);
    for (size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<uint8_t>(i % 0x80);
    }
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}

TEST_F(Input, ShortMessagesComeFromTheDriverThreadWithTimeSinceStart) {
    simwinmm::AddInputPort("Keys");
    simwinmm::SetClock(1000);
    Open();
    simwinmm::InjectShort(0, 0x643C90);  // not started: lost, as on a real port
    ASSERT_TRUE(simwinmm::WaitIdle(0));
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    simwinmm::AdvanceClock(25);
    simwinmm::InjectShort(0, 0x003C80);
    simwinmm::InjectShort(0, 0xF8);
    ASSERT_TRUE(simwinmm::WaitIdle(0));

    const auto data = rec.Of(MIM_DATA);
    ASSERT_EQ(data.size(), 2u);
    EXPECT_EQ(data[0].param1, 0x003C80u);
    EXPECT_EQ(data[1].param1, 0xF8u);
    EXPECT_EQ(data[0].param2, 25u);
    EXPECT_NE(data[0].thread, std::this_thread::get_id());
    EXPECT_EQ(rec.Of(MIM_OPEN).at(0).thread, std::this_thread::get_id());
    CloseAll();
    EXPECT_EQ(rec.Of(MIM_CLOSE).at(0).thread, std::this_thread::get_id());
}

TEST_F(Input, SysExIsSplitOverTheQueuedBuffers) {
    struct Case {
        size_t message;
        size_t bufferSize;
        std::vector<size_t> chunks;
    };
    const Case cases[] = {
        {1000, 512, {512, 488}},
        {1024, 512, {512, 512}},
        {10, 4, {4, 4, 2}},
        {3, 512, {3}},
    };
    for (const Case& c : cases) {
        simwinmm::Reset();
        rec.Clear();
        buffers.clear();
        simwinmm::AddInputPort("Keys");
        Open();
        Queue(4, c.bufferSize);
        ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
        const auto message = SysEx(c.message);
        simwinmm::InjectSysEx(0, message);
        ASSERT_TRUE(simwinmm::WaitIdle(0));

        std::vector<uint8_t> joined;
        std::vector<size_t> sizes;
        for (const auto& chunk : Returned()) {
            sizes.push_back(chunk.size());
            joined.insert(joined.end(), chunk.begin(), chunk.end());
        }
        EXPECT_EQ(sizes, c.chunks) << c.message << " in " << c.bufferSize;
        EXPECT_EQ(joined, message);
        EXPECT_EQ(simwinmm::QueuedInputBuffers(0), 4 - c.chunks.size());
        CloseAll();
    }
}

TEST_F(Input, ResetReturnsEveryBufferFilledOrNotAndStops) {
    simwinmm::AddInputPort("Keys");
    Open();
    Queue(3, 8);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    simwinmm::InjectSysEx(0, {0xF0, 0x01, 0x02});  // unfinished: stays in the first buffer
    ASSERT_TRUE(simwinmm::WaitIdle(0));
    EXPECT_EQ(rec.Count(MIM_LONGDATA), 0u);
    EXPECT_EQ(simwinmm::QueuedInputBuffers(0), 3u);
    EXPECT_EQ(midiInClose(in), MIDIERR_STILLPLAYING);

    ASSERT_EQ(midiInReset(in), MMSYSERR_NOERROR);
    EXPECT_EQ(Returned(), (std::vector<std::vector<uint8_t>>{{0xF0, 0x01, 0x02}, {}, {}}));
    EXPECT_EQ(simwinmm::QueuedInputBuffers(0), 0u);
    for (const auto& d : rec.Of(MIM_LONGDATA)) {
        EXPECT_NE(d.thread, std::this_thread::get_id());
    }

    // Stopped: nothing comes until started again.
    Queue(1, 8);
    simwinmm::InjectShort(0, 0xF8);
    ASSERT_TRUE(simwinmm::WaitIdle(0));
    EXPECT_EQ(rec.Count(MIM_DATA), 0u);
    CloseAll();
}

TEST_F(Input, StopReturnsOnlyTheBufferBeingFilled) {
    simwinmm::AddInputPort("Keys");
    Open();
    Queue(2, 8);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    simwinmm::InjectSysEx(0, {0xF0, 0x05});
    ASSERT_EQ(midiInStop(in), MMSYSERR_NOERROR);
    EXPECT_EQ(Returned(), (std::vector<std::vector<uint8_t>>{{0xF0, 0x05}}));
    EXPECT_EQ(simwinmm::QueuedInputBuffers(0), 1u);
    CloseAll();
}

TEST_F(Input, ChunksAndLongErrorsTakeExactlyOneBuffer) {
    simwinmm::AddInputPort("Keys");
    Open();
    Queue(4, 4);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    simwinmm::InjectChunk(0, {0x01, 0x02});                    // no 0xF7, still returned
    simwinmm::InjectChunk(0, {0xF0, 0x01, 0x02, 0x03, 0x04});  // cut to the buffer
    simwinmm::InjectLongError(0, {0xF0, 0x09});
    ASSERT_TRUE(simwinmm::WaitIdle(0));
    EXPECT_EQ(Returned(MIM_LONGDATA),
              (std::vector<std::vector<uint8_t>>{{0x01, 0x02}, {0xF0, 0x01, 0x02, 0x03}}));
    EXPECT_EQ(Returned(MIM_LONGERROR), (std::vector<std::vector<uint8_t>>{{0xF0, 0x09}}));
    EXPECT_EQ(simwinmm::QueuedInputBuffers(0), 1u);
    CloseAll();
}

TEST_F(Input, SysExWithoutQueuedBuffersIsLost) {
    simwinmm::AddInputPort("Keys");
    Open();
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    simwinmm::InjectSysEx(0, SysEx(20));
    simwinmm::InjectChunk(0, {0xF0, 0xF7});
    simwinmm::InjectShort(0, 0xFE);
    ASSERT_TRUE(simwinmm::WaitIdle(0));
    EXPECT_EQ(rec.Count(MIM_LONGDATA), 0u);
    EXPECT_EQ(rec.Count(MIM_DATA), 1u);
    Queue(1, 64);
    simwinmm::InjectSysEx(0, {0xF0, 0x11, 0xF7});
    ASSERT_TRUE(simwinmm::WaitIdle(0));
    EXPECT_EQ(Returned(), (std::vector<std::vector<uint8_t>>{{0xF0, 0x11, 0xF7}}));
    CloseAll();
}

TEST_F(Input, LoopbackDeliversWhatGoesOutInOrder) {
    const auto pair = simwinmm::AddLoopbackPort("Loopback");
    Open(pair.input);
    Queue(8, 4);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    HMIDIOUT out = nullptr;
    ASSERT_EQ(midiOutOpen(&out, pair.output, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);

    // Short, sysex (over two buffers, with a clock byte inside), short, and a
    // long message carrying short messages.
    Buffer sysex(std::vector<uint8_t>{0xF0, 0x7D, 0x01, 0xF8, 0x02, 0x03, 0xF7});
    Buffer shorts(std::vector<uint8_t>{0xB0, 0x07, 0x64, 0xC1, 0x05});
    for (Buffer* b : {&sysex, &shorts}) {
        ASSERT_EQ(midiOutPrepareHeader(out, &b->header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(midiOutShortMsg(out, 0x643C90), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutLongMsg(out, &sysex.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutShortMsg(out, 0x003C80), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutLongMsg(out, &shorts.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_TRUE(simwinmm::WaitIdle(pair.input));

    std::vector<std::vector<uint8_t>> arrived;
    for (const Delivered& d : rec.Of(MIM_DATA)) {
        arrived.push_back({static_cast<uint8_t>(d.param1), static_cast<uint8_t>(d.param1 >> 8),
                           static_cast<uint8_t>(d.param1 >> 16)});
    }
    EXPECT_EQ(arrived, (std::vector<std::vector<uint8_t>>{{0x90, 0x3C, 0x64},
                                                          {0xF8, 0, 0},
                                                          {0x80, 0x3C, 0x00},
                                                          {0xB0, 0x07, 0x64},
                                                          {0xC1, 0x05, 0}}));
    EXPECT_EQ(Returned(),
              (std::vector<std::vector<uint8_t>>{{0xF0, 0x7D, 0x01, 0x02}, {0x03, 0xF7}}));
    EXPECT_EQ(midiOutReset(out), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    CloseAll();
}

// As the device layer does it: each returned buffer goes straight back to the
// driver from inside the callback, until closing begins.
TEST_F(Input, BuffersGivenBackFromTheCallbackUntilClosing) {
    simwinmm::AddInputPort("Keys");
    Open();
    Queue(4, 16);
    std::atomic<bool> closing{false};
    std::atomic<size_t> bytes{0};
    rec.onInput = [&](HMIDIIN h, UINT message, DWORD_PTR param1) {
        if (message != MIM_LONGDATA) {
            return;
        }
        auto* header = reinterpret_cast<MIDIHDR*>(param1);
        bytes += header->dwBytesRecorded;
        if (!closing) {
            EXPECT_EQ(midiInAddBuffer(h, header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
        }
    };
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    for (int i = 0; i < 50; ++i) {
        simwinmm::InjectSysEx(0, SysEx(40));
        simwinmm::InjectShort(0, 0xF8);
    }
    ASSERT_TRUE(simwinmm::WaitIdle(0));
    EXPECT_EQ(bytes.load(), 50u * 40u);
    EXPECT_EQ(rec.Count(MIM_LONGDATA), 50u * 3u);
    EXPECT_EQ(rec.Count(MIM_DATA), 50u);
    EXPECT_EQ(simwinmm::QueuedInputBuffers(0), 4u);
    closing = true;
    CloseAll();
    EXPECT_EQ(rec.Count(MIM_LONGDATA), 50u * 3u + 4u);
}

TEST_F(Input, ResetFromTheCallbackDoesNotDeadlock) {
    simwinmm::AddInputPort("Keys");
    Open();
    Queue(2, 16);
    rec.onInput = [&](HMIDIIN h, UINT message, DWORD_PTR) {
        if (message == MIM_DATA) {
            EXPECT_EQ(midiInReset(h), MMSYSERR_NOERROR);
            rec.Add(kHandlerDone, 0, 0);
        }
    };
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    simwinmm::InjectShort(0, 0xF8);
    simwinmm::InjectShort(0, 0xFA);  // after the reset: dropped
    ASSERT_TRUE(rec.WaitFor(kHandlerDone, 1));
    ASSERT_TRUE(simwinmm::WaitIdle(0));
    EXPECT_EQ(rec.Count(MIM_DATA), 1u);
    EXPECT_EQ(rec.Count(MIM_LONGDATA), 2u);
    CloseAll();
}

}  // namespace
