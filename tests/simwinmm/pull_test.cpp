// A cable pulled while a device is open, and plugged back in.
#include <string>

#include "recorder.h"

namespace {

class Pull : public DriverTest {
protected:
    static std::vector<std::string> OutputNames() {
        std::vector<std::string> names;
        for (UINT i = 0; i < midiOutGetNumDevs(); ++i) {
            MIDIOUTCAPSA caps{};
            EXPECT_EQ(midiOutGetDevCapsA(i, &caps, sizeof caps), MMSYSERR_NOERROR);
            names.emplace_back(caps.szPname);
        }
        return names;
    }
    static std::vector<std::string> InputNames() {
        std::vector<std::string> names;
        for (UINT i = 0; i < midiInGetNumDevs(); ++i) {
            MIDIINCAPSA caps{};
            EXPECT_EQ(midiInGetDevCapsA(i, &caps, sizeof caps), MMSYSERR_NOERROR);
            names.emplace_back(caps.szPname);
        }
        return names;
    }
    using Names = std::vector<std::string>;
};

TEST_F(Pull, PortsAreNumberedAnewAndComeBackLast) {
    simwinmm::AddOutputPort("Synth");
    simwinmm::AddLoopbackPort("Cable");
    simwinmm::AddInputPort("Keys");
    simwinmm::AddOutputPort("Lights");
    EXPECT_EQ(OutputNames(), (Names{"Synth", "Cable", "Lights"}));
    EXPECT_EQ(InputNames(), (Names{"Cable", "Keys"}));

    EXPECT_TRUE(simwinmm::UnplugPort("Cable"));
    EXPECT_EQ(OutputNames(), (Names{"Synth", "Lights"}));
    EXPECT_EQ(InputNames(), (Names{"Keys"}));
    EXPECT_FALSE(simwinmm::UnplugPort("Cable"));  // nothing left of that name
    EXPECT_FALSE(simwinmm::ReplugPort("Keys"));   // never pulled

    EXPECT_TRUE(simwinmm::ReplugPort("Cable"));
    EXPECT_EQ(OutputNames(), (Names{"Synth", "Lights", "Cable"}));
    EXPECT_EQ(InputNames(), (Names{"Keys", "Cable"}));
    EXPECT_FALSE(simwinmm::ReplugPort("Cable"));

    // Still a loopback pair under its new numbers.
    Recorder rec;
    HMIDIIN in = nullptr;
    HMIDIOUT out = nullptr;
    ASSERT_EQ(midiInOpen(&in, 1, rec.InCallback(), rec.Instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutOpen(&out, 2, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutShortMsg(out, 0xF8), MMSYSERR_NOERROR);
    ASSERT_TRUE(rec.WaitFor(MIM_DATA, 1));
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
}

TEST_F(Pull, APulledOutputAnswersEveryCallAsToldAndHandsBackOrKeeps) {
    struct Case {
        const char* name;
        simwinmm::PullBehaviour pull;
    };
    const Case cases[] = {
        {"older stack", {MMSYSERR_NODRIVER, 0, true, false}},
        {"newer stack, slow", {MMSYSERR_ERROR, 20, true, false}},
        {"keeps what it held, will not close", {MMSYSERR_NODRIVER, 0, false, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        simwinmm::Reset();
        simwinmm::AddOutputPort("Synth");
        simwinmm::SetPullBehaviour(c.pull);
        Recorder rec;
        HMIDIOUT out = nullptr;
        ASSERT_EQ(midiOutOpen(&out, 0, rec.OutCallback(), rec.Instance(), CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        simwinmm::HoldOutputDone(0, true);
        Buffer sent(std::vector<uint8_t>{0xF0, 0x01, 0xF7});
        Buffer stalled(std::vector<uint8_t>{0xF0, 0x02, 0x03, 0xF7});
        ASSERT_EQ(midiOutPrepareHeader(out, &sent.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(midiOutPrepareHeader(out, &stalled.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(midiOutLongMsg(out, &sent.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(simwinmm::SentBytes(0).size(), 3u);  // held, not done
        simwinmm::StallOutput(0, 1);
        ASSERT_EQ(midiOutLongMsg(out, &stalled.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);

        ASSERT_TRUE(simwinmm::UnplugPort("Synth"));
        EXPECT_EQ(midiOutGetNumDevs(), 0u);
        if (c.pull.returnBuffers) {
            ASSERT_TRUE(rec.WaitFor(MOM_DONE, 2));
            EXPECT_EQ(rec.Of(MOM_DONE)[0].param1, reinterpret_cast<DWORD_PTR>(&sent.header));
            EXPECT_EQ(stalled.header.dwFlags, MHDR_PREPARED | MHDR_DONE);
        } else {
            EXPECT_EQ(rec.Count(MOM_DONE), 0u);
            EXPECT_EQ(stalled.header.dwFlags, MHDR_PREPARED | MHDR_INQUEUE);
        }
        Buffer fresh(std::vector<uint8_t>{0xF0, 0x04, 0xF7});
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(midiOutShortMsg(out, 0x643C90), c.pull.result);
        EXPECT_GE(std::chrono::steady_clock::now() - started,
                  std::chrono::milliseconds(c.pull.delayMs));
        EXPECT_EQ(midiOutPrepareHeader(out, &fresh.header, sizeof(MIDIHDR)), c.pull.result);
        EXPECT_EQ(midiOutLongMsg(out, &sent.header, sizeof(MIDIHDR)), c.pull.result);
        EXPECT_EQ(midiOutUnprepareHeader(out, &sent.header, sizeof(MIDIHDR)), c.pull.result);
        EXPECT_EQ(midiOutReset(out), c.pull.result);
        EXPECT_EQ(simwinmm::PulledDevicesOpen(), 1u);

        if (c.pull.closeFails) {
            EXPECT_EQ(midiOutClose(out), c.pull.result);
            EXPECT_EQ(simwinmm::PulledDevicesOpen(), 1u);
            simwinmm::LetPulledDevicesClose();
        }
        EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
        EXPECT_EQ(simwinmm::PulledDevicesOpen(), 0u);
        EXPECT_EQ(midiOutClose(out), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(rec.Count(MOM_CLOSE), 1u);
    }
}

TEST_F(Pull, APulledInputDeliversNothingMore) {
    for (bool returnBuffers : {true, false}) {
        SCOPED_TRACE(returnBuffers ? "buffers handed back" : "buffers kept");
        simwinmm::Reset();
        simwinmm::AddInputPort("Keys");
        simwinmm::SetPullBehaviour({MMSYSERR_NODRIVER, 0, returnBuffers, false});
        Recorder rec;
        HMIDIIN in = nullptr;
        ASSERT_EQ(midiInOpen(&in, 0, rec.InCallback(), rec.Instance(), CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        std::vector<std::unique_ptr<Buffer>> buffers;
        for (int i = 0; i < 3; ++i) {
            buffers.push_back(std::make_unique<Buffer>(8));
            ASSERT_EQ(midiInPrepareHeader(in, &buffers.back()->header, sizeof(MIDIHDR)),
                      MMSYSERR_NOERROR);
            ASSERT_EQ(midiInAddBuffer(in, &buffers.back()->header, sizeof(MIDIHDR)),
                      MMSYSERR_NOERROR);
        }
        ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
        simwinmm::InjectSysEx(0, {0xF0, 0x01, 0x02});  // a message being received
        ASSERT_TRUE(simwinmm::WaitIdle(0));

        ASSERT_TRUE(simwinmm::UnplugPort("Keys"));
        if (returnBuffers) {
            ASSERT_TRUE(rec.WaitFor(MIM_LONGDATA, 3));
            EXPECT_EQ(buffers[0]->Recorded(), (std::vector<uint8_t>{0xF0, 0x01, 0x02}));
        }
        for (const char* call : {"start", "add", "prepare", "unprepare", "stop", "reset"}) {
            const std::string what = call;
            MIDIHDR* header = &buffers[0]->header;
            const MMRESULT result =
                what == "start"       ? midiInStart(in)
                : what == "add"       ? midiInAddBuffer(in, header, sizeof(MIDIHDR))
                : what == "prepare"   ? midiInPrepareHeader(in, header, sizeof(MIDIHDR))
                : what == "unprepare" ? midiInUnprepareHeader(in, header, sizeof(MIDIHDR))
                : what == "stop"      ? midiInStop(in)
                                      : midiInReset(in);
            EXPECT_EQ(result, MMSYSERR_NODRIVER) << call;
        }
        EXPECT_EQ(rec.Count(MIM_LONGDATA), returnBuffers ? 3u : 0u);
        EXPECT_EQ(rec.Count(MIM_DATA), 0u);
        for (const auto& b : buffers) {
            EXPECT_EQ(b->header.dwFlags & MHDR_INQUEUE, returnBuffers ? 0u : MHDR_INQUEUE);
        }
        EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);  // the one call that still works
        EXPECT_EQ(rec.Count(MIM_CLOSE), 1u);
    }
}

TEST_F(Pull, APortPulledAsACallBeginsFailsThatCall) {
    simwinmm::AddOutputPort("Synth");
    HMIDIOUT out = nullptr;
    ASSERT_EQ(midiOutOpen(&out, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    simwinmm::UnplugOnCall("Synth", "midiOutReset", 2);
    EXPECT_EQ(midiOutReset(out), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutGetNumDevs(), 1u);
    EXPECT_EQ(midiOutReset(out), MMSYSERR_NODRIVER);
    EXPECT_EQ(midiOutGetNumDevs(), 0u);

    // Back under the same name: a new device, whatever became of the old one.
    ASSERT_TRUE(simwinmm::ReplugPort("Synth"));
    HMIDIOUT again = nullptr;
    ASSERT_EQ(midiOutOpen(&again, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_NE(again, out);
    EXPECT_EQ(midiOutShortMsg(again, 0xF8), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutShortMsg(out, 0xF8), MMSYSERR_NODRIVER);
    EXPECT_EQ(simwinmm::SentBytes(0), (std::vector<uint8_t>{0xF8}));
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutClose(again), MMSYSERR_NOERROR);
}

}  // namespace
