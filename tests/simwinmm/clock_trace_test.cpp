// The millisecond clock and the trace of what crosses the ports.
#include <algorithm>
#include <string>

#include "recorder.h"

namespace {

class ClockAndTrace : public DriverTest {};

TEST_F(ClockAndTrace, ClockCanBeFrozenAdvancedAndWrapped) {
    simwinmm::SetClock(123);
    EXPECT_EQ(timeGetTime(), 123u);
    simwinmm::AdvanceClock(7);
    EXPECT_EQ(timeGetTime(), 130u);
    simwinmm::SetClock(0xFFFFFFF0u);
    simwinmm::AdvanceClock(0x20);
    EXPECT_EQ(timeGetTime(), 0x10u);

    // Input timestamps are taken modulo 2^32 as well.
    simwinmm::AddInputPort("Keys");
    Recorder rec;
    HMIDIIN in = nullptr;
    ASSERT_EQ(midiInOpen(&in, 0, rec.InCallback(), rec.Instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    simwinmm::SetClock(0xFFFFFFFFu);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    simwinmm::AdvanceClock(3);
    simwinmm::InjectShort(0, 0xF8);
    ASSERT_TRUE(simwinmm::WaitIdle(0));
    EXPECT_EQ(rec.Of(MIM_DATA).at(0).param2, 3u);
    ASSERT_EQ(midiInClose(in), MMSYSERR_NOERROR);

    // Back to real time: it moves on from wherever it is.
    simwinmm::UseRealClock();
    const DWORD start = timeGetTime();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (timeGetTime() == start && std::chrono::steady_clock::now() < deadline) {
    }
    EXPECT_NE(timeGetTime(), start);
}

struct TraceLine {
    std::string port;
    bool out;
    std::vector<uint8_t> bytes;
};

struct TraceLog {
    std::mutex mu;
    std::vector<TraceLine> lines;
    static void Add(const char* port, bool out, const uint8_t* bytes, size_t count, void* ctx) {
        auto* self = static_cast<TraceLog*>(ctx);
        std::lock_guard lock(self->mu);
        self->lines.push_back({port, out, {bytes, bytes + count}});
    }
};

TEST_F(ClockAndTrace, TraceSeesEveryMessageOutAndIn) {
    const auto pair = simwinmm::AddLoopbackPort("Loopback");
    TraceLog log;
    simwinmm::SetTrace(&TraceLog::Add, &log);
    Recorder rec;
    HMIDIIN in = nullptr;
    HMIDIOUT out = nullptr;
    ASSERT_EQ(midiInOpen(&in, pair.input, rec.InCallback(), rec.Instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    Buffer slot(16);
    ASSERT_EQ(midiInPrepareHeader(in, &slot.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInAddBuffer(in, &slot.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutOpen(&out, pair.output, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);

    Buffer sysex(std::vector<uint8_t>{0xF0, 0x01, 0xF7});
    ASSERT_EQ(midiOutPrepareHeader(out, &sysex.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutShortMsg(out, 0x642490), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutLongMsg(out, &sysex.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_TRUE(simwinmm::WaitIdle(pair.input));
    ASSERT_EQ(midiOutReset(out), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInReset(in), MMSYSERR_NOERROR);  // returns nothing: the slot came back
    ASSERT_EQ(midiInClose(in), MMSYSERR_NOERROR);

    std::lock_guard lock(log.mu);
    const std::vector<uint8_t> note{0x90, 0x24, 0x64};
    const std::vector<uint8_t> message{0xF0, 0x01, 0xF7};
    // Each message is traced going out before it is traced coming in.
    std::vector<std::pair<bool, std::vector<uint8_t>>> seen;
    for (const auto& line : log.lines) {
        EXPECT_EQ(line.port, "Loopback");
        seen.emplace_back(line.out, line.bytes);
    }
    ASSERT_EQ(seen.size(), 4u);
    auto at = [&](bool out, const std::vector<uint8_t>& bytes) {
        return std::find(seen.begin(), seen.end(), std::make_pair(out, bytes)) - seen.begin();
    };
    EXPECT_LT(at(true, note), at(false, note));
    EXPECT_LT(at(true, message), at(false, message));
    EXPECT_LT(at(true, note), at(true, message));
    EXPECT_LT(at(false, note), at(false, message));
}

TEST_F(ClockAndTrace, TraceFollowsTheWireOrder) {
    simwinmm::AddOutputPort("Synth");
    TraceLog log;
    simwinmm::SetTrace(&TraceLog::Add, &log);
    HMIDIOUT out = nullptr;
    ASSERT_EQ(midiOutOpen(&out, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    Buffer sysex(std::vector<uint8_t>{0xF0, 0x01, 0x02, 0xF7});
    ASSERT_EQ(midiOutPrepareHeader(out, &sysex.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);

    // A note sent while a sysex is still going out follows it on the wire.
    simwinmm::StallOutput(0, 2);
    ASSERT_EQ(midiOutLongMsg(out, &sysex.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutShortMsg(out, 0x643C90), MMSYSERR_NOERROR);
    simwinmm::ResumeOutput(0);
    const std::vector<uint8_t> wire{0xF0, 0x01, 0x02, 0xF7, 0x90, 0x3C, 0x64};
    ASSERT_EQ(simwinmm::SentBytes(0), wire);
    simwinmm::SetTrace(nullptr, nullptr);

    std::vector<uint8_t> traced;
    std::lock_guard lock(log.mu);
    for (const auto& line : log.lines) {
        EXPECT_TRUE(line.out);
        traced.insert(traced.end(), line.bytes.begin(), line.bytes.end());
    }
    EXPECT_EQ(traced, wire);
    EXPECT_EQ(log.lines.back().bytes, (std::vector<uint8_t>{0x90, 0x3C, 0x64}));
    ASSERT_EQ(midiOutReset(out), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutUnprepareHeader(out, &sysex.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

}  // namespace
