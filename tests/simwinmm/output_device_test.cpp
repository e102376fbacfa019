// The output side: bytes sent, long-message header life cycle, MOM_DONE from
// the driver thread, busy devices, reset and close.
#include "recorder.h"

namespace {

class Output : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        simwinmm::AddOutputPort("Synth");
        ASSERT_EQ(midiOutOpen(&out, 0, rec.OutCallback(), rec.Instance(), CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
    }
    MMRESULT Prepare(Buffer& b) { return midiOutPrepareHeader(out, &b.header, sizeof(MIDIHDR)); }
    MMRESULT Send(Buffer& b) { return midiOutLongMsg(out, &b.header, sizeof(MIDIHDR)); }
    MMRESULT Unprepare(Buffer& b) {
        return midiOutUnprepareHeader(out, &b.header, sizeof(MIDIHDR));
    }

    Recorder rec;
    HMIDIOUT out = nullptr;
};

TEST_F(Output, ShortMessagesTakeTheirLengthFromTheStatusByte) {
    struct Case {
        DWORD packed;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {0x00643C90, {0x90, 0x3C, 0x64}},  // note on
        {0x00007FB3, {0xB3, 0x7F, 0x00}},  // control change keeps a zero value
        {0x00AA05C0, {0xC0, 0x05}},        // program change: one data byte
        {0x00AA11D9, {0xD9, 0x11}},        // channel pressure
        {0x00402000, {}},                  // data byte: refused
        {0x00007FE0, {0xE0, 0x7F, 0x00}},  // pitch bend
        {0x00AA05F1, {0xF1, 0x05}},        // time code quarter frame
        {0x00112233, {}},                  // data byte again
        {0x000201F2, {0xF2, 0x01, 0x02}},  // song position
        {0x00AA03F3, {0xF3, 0x03}},        // song select
        {0x00AAAAF6, {0xF6}},              // tune request
        {0x00AAAAF7, {0xF7}},              // lone end of exclusive
        {0x00AAAAF8, {0xF8}},              // clock
        {0x00AAAAFF, {0xFF}},              // system reset
    };
    std::vector<uint8_t> expected;
    for (const Case& c : cases) {
        simwinmm::ClearSentBytes(0);
        EXPECT_EQ(midiOutShortMsg(out, c.packed),
                  c.bytes.empty() ? MMSYSERR_INVALPARAM : MMSYSERR_NOERROR)
            << std::hex << c.packed;
        EXPECT_EQ(simwinmm::SentBytes(0), c.bytes) << std::hex << c.packed;
    }
    EXPECT_EQ(rec.Count(MOM_DONE), 0u);
}

TEST_F(Output, LongMessageHeaderLifeCycle) {
    ASSERT_EQ(rec.Count(MOM_OPEN), 1u);
    EXPECT_EQ(rec.Of(MOM_OPEN)[0].thread, std::this_thread::get_id());

    Buffer sysex(std::vector<uint8_t>{0xF0, 0x7D, 0x01, 0x02, 0xF7});
    ASSERT_EQ(Prepare(sysex), MMSYSERR_NOERROR);
    EXPECT_EQ(sysex.header.dwFlags, MHDR_PREPARED);
    EXPECT_EQ(Prepare(sysex), MMSYSERR_NOERROR);  // again: harmless

    ASSERT_EQ(midiOutShortMsg(out, 0x643C90), MMSYSERR_NOERROR);
    ASSERT_EQ(Send(sysex), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutShortMsg(out, 0x003C80), MMSYSERR_NOERROR);
    ASSERT_TRUE(rec.WaitFor(MOM_DONE, 1));

    const Delivered done = rec.Of(MOM_DONE)[0];
    EXPECT_EQ(done.param1, reinterpret_cast<DWORD_PTR>(&sysex.header));
    EXPECT_NE(done.thread, std::this_thread::get_id());
    EXPECT_EQ(sysex.header.dwFlags, MHDR_PREPARED | MHDR_DONE);
    // The short message sent after the long one stays behind it.
    EXPECT_EQ(simwinmm::SentBytes(0), (std::vector<uint8_t>{0x90, 0x3C, 0x64, 0xF0, 0x7D, 0x01,
                                                            0x02, 0xF7, 0x80, 0x3C, 0x00}));

    // Done headers can be sent again without preparing anew.
    ASSERT_EQ(Send(sysex), MMSYSERR_NOERROR);
    ASSERT_TRUE(rec.WaitFor(MOM_DONE, 2));
    EXPECT_EQ(Unprepare(sysex), MMSYSERR_NOERROR);
    EXPECT_EQ(sysex.header.dwFlags & MHDR_PREPARED, 0u);
    EXPECT_EQ(Send(sysex), MIDIERR_UNPREPARED);

    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    ASSERT_EQ(rec.Count(MOM_CLOSE), 1u);
    EXPECT_EQ(rec.Of(MOM_CLOSE)[0].thread, std::this_thread::get_id());
}

TEST_F(Output, BusyDeviceHoldsDoneUntilReleased) {
    simwinmm::HoldOutputDone(0, true);
    Buffer a(std::vector<uint8_t>{0xF0, 0x01, 0xF7});
    Buffer b(std::vector<uint8_t>{0xF0, 0x02, 0xF7});
    ASSERT_EQ(Prepare(a), MMSYSERR_NOERROR);
    ASSERT_EQ(Prepare(b), MMSYSERR_NOERROR);
    ASSERT_EQ(Send(a), MMSYSERR_NOERROR);
    ASSERT_EQ(Send(b), MMSYSERR_NOERROR);

    // Sent, but not reported done.
    EXPECT_EQ(simwinmm::SentBytes(0).size(), 6u);
    EXPECT_EQ(simwinmm::PendingLongMessages(0), 2u);
    EXPECT_EQ(rec.Count(MOM_DONE), 0u);
    EXPECT_EQ(Send(a), MIDIERR_STILLPLAYING);
    EXPECT_EQ(Unprepare(a), MIDIERR_STILLPLAYING);
    EXPECT_EQ(midiOutClose(out), MIDIERR_STILLPLAYING);
    EXPECT_EQ(midiOutShortMsg(out, 0xF8), MMSYSERR_NOERROR);  // refused close kept it open

    simwinmm::ReleaseOutputDone(0);
    EXPECT_EQ(rec.Count(MOM_DONE), 2u);  // released synchronously
    const auto done = rec.Of(MOM_DONE);
    EXPECT_EQ(done[0].param1, reinterpret_cast<DWORD_PTR>(&a.header));
    EXPECT_EQ(done[1].param1, reinterpret_cast<DWORD_PTR>(&b.header));
    EXPECT_EQ(simwinmm::PendingLongMessages(0), 0u);

    // Still busy: the next one is held again, until the hold is lifted.
    ASSERT_EQ(Send(a), MMSYSERR_NOERROR);
    EXPECT_EQ(simwinmm::PendingLongMessages(0), 1u);
    simwinmm::HoldOutputDone(0, false);
    EXPECT_EQ(rec.Count(MOM_DONE), 3u);
    EXPECT_EQ(Unprepare(a), MMSYSERR_NOERROR);
    EXPECT_EQ(Unprepare(b), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(Output, ResetCompletesEveryPendingMessageBeforeReturning) {
    simwinmm::HoldOutputDone(0, true);
    std::vector<std::unique_ptr<Buffer>> buffers;
    for (uint8_t i = 0; i < 3; ++i) {
        buffers.push_back(std::make_unique<Buffer>(std::vector<uint8_t>{0xF0, i, 0xF7}));
        ASSERT_EQ(Prepare(*buffers.back()), MMSYSERR_NOERROR);
        ASSERT_EQ(Send(*buffers.back()), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(midiOutReset(out), MMSYSERR_NOERROR);
    EXPECT_EQ(rec.Count(MOM_DONE), 3u);
    for (const auto& b : buffers) {
        EXPECT_EQ(b->header.dwFlags, MHDR_PREPARED | MHDR_DONE);
    }
    for (const auto& d : rec.Of(MOM_DONE)) {
        EXPECT_NE(d.thread, std::this_thread::get_id());
    }
    EXPECT_EQ(simwinmm::SentBytes(0).size(), 9u);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(Output, CallbackMayCallTheDriverBack) {
    // A MOM_DONE handler that resets and sends from the driver's own thread
    // must neither deadlock nor lose anything.
    Buffer sysex(std::vector<uint8_t>{0xF0, 0x10, 0xF7});
    ASSERT_EQ(Prepare(sysex), MMSYSERR_NOERROR);
    std::atomic<int> resets{0};
    rec.onOutput = [&](HMIDIOUT h, UINT message, DWORD_PTR) {
        if (message == MOM_DONE && resets.fetch_add(1) == 0) {
            EXPECT_EQ(midiOutReset(h), MMSYSERR_NOERROR);
            EXPECT_EQ(midiOutShortMsg(h, 0xFE), MMSYSERR_NOERROR);
            rec.Add(kHandlerDone, 0, 0);
        }
    };
    ASSERT_EQ(Send(sysex), MMSYSERR_NOERROR);
    ASSERT_TRUE(rec.WaitFor(kHandlerDone, 1));
    EXPECT_EQ(simwinmm::SentBytes(0), (std::vector<uint8_t>{0xF0, 0x10, 0xF7, 0xFE}));
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(Output, HeldMessagesCompleteOneAtATimeOldestFirst) {
    simwinmm::HoldOutputDone(0, true);
    std::vector<std::unique_ptr<Buffer>> buffers;
    for (uint8_t i = 0; i < 3; ++i) {
        buffers.push_back(std::make_unique<Buffer>(std::vector<uint8_t>{0xF0, i, 0xF7}));
        ASSERT_EQ(Prepare(*buffers.back()), MMSYSERR_NOERROR);
        ASSERT_EQ(Send(*buffers.back()), MMSYSERR_NOERROR);
    }
    simwinmm::ReleaseOldestOutputDone(0);
    ASSERT_EQ(rec.Count(MOM_DONE), 1u);
    EXPECT_EQ(rec.Of(MOM_DONE)[0].param1, reinterpret_cast<DWORD_PTR>(&buffers[0]->header));
    EXPECT_EQ(buffers[0]->header.dwFlags, MHDR_PREPARED | MHDR_DONE);
    EXPECT_EQ(buffers[1]->header.dwFlags, MHDR_PREPARED | MHDR_INQUEUE);
    EXPECT_EQ(simwinmm::PendingLongMessages(0), 2u);

    simwinmm::ReleaseOldestOutputDone(0, 5);  // more than are held: the rest
    ASSERT_EQ(rec.Count(MOM_DONE), 3u);
    EXPECT_EQ(rec.Of(MOM_DONE)[2].param1, reinterpret_cast<DWORD_PTR>(&buffers[2]->header));
    EXPECT_EQ(simwinmm::PendingLongMessages(0), 0u);
    for (const auto& b : buffers) {
        EXPECT_EQ(Unprepare(*b), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(Output, ResetCutsTheMessageAStalledDeviceIsSending) {
    simwinmm::StallOutput(0, 3);
    Buffer first(std::vector<uint8_t>{0xF0, 0x01, 0x02, 0x03, 0x04, 0xF7});
    Buffer second(std::vector<uint8_t>{0xF0, 0x05, 0xF7});
    ASSERT_EQ(Prepare(first), MMSYSERR_NOERROR);
    ASSERT_EQ(Prepare(second), MMSYSERR_NOERROR);
    ASSERT_EQ(Send(first), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutShortMsg(out, 0xF8), MMSYSERR_NOERROR);  // queued behind it
    ASSERT_EQ(Send(second), MMSYSERR_NOERROR);
    EXPECT_EQ(simwinmm::SentBytes(0), (std::vector<uint8_t>{0xF0, 0x01, 0x02}));
    EXPECT_EQ(simwinmm::PendingLongMessages(0), 2u);
    EXPECT_EQ(rec.Count(MOM_DONE), 0u);
    EXPECT_EQ(midiOutClose(out), MIDIERR_STILLPLAYING);

    // The reset cuts the first where it stands; the second never begins; the
    // short message was taken and still goes. Both come back done.
    ASSERT_EQ(midiOutReset(out), MMSYSERR_NOERROR);
    EXPECT_EQ(simwinmm::SentBytes(0), (std::vector<uint8_t>{0xF0, 0x01, 0x02, 0xF8}));
    ASSERT_EQ(rec.Count(MOM_DONE), 2u);
    EXPECT_EQ(first.header.dwFlags, MHDR_PREPARED | MHDR_DONE);
    EXPECT_EQ(second.header.dwFlags, MHDR_PREPARED | MHDR_DONE);

    // Resumed: messages go whole again.
    simwinmm::ResumeOutput(0);
    simwinmm::ClearSentBytes(0);
    ASSERT_EQ(Send(second), MMSYSERR_NOERROR);
    ASSERT_TRUE(rec.WaitFor(MOM_DONE, 3));
    EXPECT_EQ(simwinmm::SentBytes(0), (std::vector<uint8_t>{0xF0, 0x05, 0xF7}));
    EXPECT_EQ(Unprepare(first), MMSYSERR_NOERROR);
    EXPECT_EQ(Unprepare(second), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    EXPECT_EQ(simwinmm::HeadersLeftPrepared(), 0u);
}

TEST_F(Output, SentBytesKeepOnlyTheLatestBytes) {
    // The default bound: a few megabytes through one port keep one megabyte.
    Buffer block(std::vector<uint8_t>(0x10000, 0x11));
    block.data.front() = 0xF0;
    block.data.back() = 0xF7;
    ASSERT_EQ(Prepare(block), MMSYSERR_NOERROR);
    constexpr size_t kBlocks = 3 * simwinmm::kDefaultSentBytesLimit / 0x10000;
    for (size_t i = 0; i < kBlocks; ++i) {
        ASSERT_EQ(Send(block), MMSYSERR_NOERROR);
        ASSERT_TRUE(rec.WaitFor(MOM_DONE, i + 1));
    }
    ASSERT_EQ(midiOutShortMsg(out, 0xFE), MMSYSERR_NOERROR);
    const std::vector<uint8_t> sent = simwinmm::SentBytes(0);
    ASSERT_EQ(sent.size(), simwinmm::kDefaultSentBytesLimit);
    EXPECT_EQ(sent.back(), 0xFE);
    EXPECT_EQ(sent[sent.size() - 2], 0xF7);
    EXPECT_EQ(Unprepare(block), MMSYSERR_NOERROR);

    // A smaller bound, and none at all.
    simwinmm::LimitSentBytes(0, 4);
    EXPECT_EQ(simwinmm::SentBytes(0), (std::vector<uint8_t>{0x11, 0x11, 0xF7, 0xFE}));
    ASSERT_EQ(midiOutShortMsg(out, 0x643C90), MMSYSERR_NOERROR);
    EXPECT_EQ(simwinmm::SentBytes(0), (std::vector<uint8_t>{0xFE, 0x90, 0x3C, 0x64}));
    simwinmm::LimitSentBytes(0, 0);
    EXPECT_TRUE(simwinmm::SentBytes(0).empty());
    ASSERT_EQ(midiOutShortMsg(out, 0xF8), MMSYSERR_NOERROR);
    EXPECT_TRUE(simwinmm::SentBytes(0).empty());
}

TEST_F(Output, HeadersLeftPreparedAtCloseAreCounted) {
    Buffer kept(std::vector<uint8_t>{0xF0, 0x01, 0xF7});
    Buffer released(std::vector<uint8_t>{0xF0, 0x02, 0xF7});
    ASSERT_EQ(Prepare(kept), MMSYSERR_NOERROR);
    ASSERT_EQ(Prepare(released), MMSYSERR_NOERROR);
    ASSERT_EQ(Prepare(released), MMSYSERR_NOERROR);  // twice is still one header
    EXPECT_EQ(simwinmm::PreparedOutputHeaders(0), 2u);
    ASSERT_EQ(Unprepare(released), MMSYSERR_NOERROR);
    EXPECT_EQ(simwinmm::PreparedOutputHeaders(0), 1u);
    ASSERT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    EXPECT_EQ(simwinmm::HeadersLeftPrepared(), 1u);

    // What a driver lost at a reset is not the app's to unprepare.
    simwinmm::HoldOutputDone(0, true);
    simwinmm::LoseOutputDoneOnReset(0, true);
    ASSERT_EQ(midiOutOpen(&out, 0, rec.OutCallback(), rec.Instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    ASSERT_EQ(Prepare(released), MMSYSERR_NOERROR);
    ASSERT_EQ(Send(released), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutReset(out), MMSYSERR_NOERROR);
    EXPECT_EQ(simwinmm::PreparedOutputHeaders(0), 0u);
    ASSERT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    EXPECT_EQ(simwinmm::HeadersLeftPrepared(), 1u);
}

}  // namespace

namespace {

TEST_F(Output, SettledOnlyOnceEveryBlockIsReportedDone) {
    // A block held back by a busy device: the wait gives up, and says where.
    simwinmm::HoldOutputDone(0, true);
    Buffer block(std::vector<uint8_t>{0xF0, 0x43, 0xF7});
    ASSERT_EQ(Prepare(block), MMSYSERR_NOERROR);
    ASSERT_EQ(Send(block), MMSYSERR_NOERROR);
    std::string busy;
    EXPECT_FALSE(simwinmm::WaitSettled(50, &busy));
    EXPECT_EQ(busy, "output \"Synth\": 1 block not yet reported done");

    // Released, it is settled once the app has heard MOM_DONE, not before.
    rec.onOutput = [&](HMIDIOUT, UINT message, DWORD_PTR) {
        if (message == MOM_DONE) {
            rec.Add(kHandlerDone, 0, 0);
        }
    };
    simwinmm::HoldOutputDone(0, false);
    EXPECT_TRUE(simwinmm::WaitSettled(30000, &busy));
    EXPECT_EQ(rec.Count(kHandlerDone), 1u);
    EXPECT_EQ(Unprepare(block), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

}  // namespace
