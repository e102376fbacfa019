// Every refusal answers the real winmm code and leaves the device usable.
#include <functional>
#include <string>

#include "recorder.h"

namespace {

class ResultCodes : public DriverTest {};

TEST_F(ResultCodes, EachRefusalAnswersItsCode) {
    simwinmm::AddOutputPort("Out");
    simwinmm::AddInputPort("In");
    Recorder rec;
    HMIDIOUT out = nullptr;
    HMIDIIN in = nullptr;
    ASSERT_EQ(midiOutOpen(&out, 0, rec.OutCallback(), rec.Instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    ASSERT_EQ(midiInOpen(&in, 0, rec.InCallback(), rec.Instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);

    // A handle that was valid once, and one that never was.
    simwinmm::AddOutputPort("Stale");
    HMIDIOUT stale = nullptr;
    ASSERT_EQ(midiOutOpen(&stale, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutClose(stale), MMSYSERR_NOERROR);
    const auto bogusOut = reinterpret_cast<HMIDIOUT>(uintptr_t{0xDEAD0});
    const auto asIn = reinterpret_cast<HMIDIIN>(out);

    Buffer unprepared(16);
    Buffer queued(16);
    ASSERT_EQ(midiInPrepareHeader(in, &queued.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInAddBuffer(in, &queued.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    Buffer noData(16);
    noData.header.lpData = nullptr;
    MIDIOUTCAPSA outCaps{};
    MIDIINCAPSA inCaps{};
    HMIDIOUT second = nullptr;
    HMIDIIN secondIn = nullptr;

    struct Case {
        std::string what;
        std::function<MMRESULT()> call;
        MMRESULT expected;
    };
    const Case cases[] = {
        {"out caps, bad id", [&] { return midiOutGetDevCapsA(2, &outCaps, sizeof outCaps); },
         MMSYSERR_BADDEVICEID},
        {"out caps, null", [&] { return midiOutGetDevCapsA(0, nullptr, sizeof outCaps); },
         MMSYSERR_INVALPARAM},
        {"in caps, bad id", [&] { return midiInGetDevCapsA(1, &inCaps, sizeof inCaps); },
         MMSYSERR_BADDEVICEID},
        {"out open, bad id", [&] { return midiOutOpen(&second, 7, 0, 0, CALLBACK_NULL); },
         MMSYSERR_BADDEVICEID},
        {"out open, mapper", [&] { return midiOutOpen(&second, 0xFFFFFFFF, 0, 0, 0); },
         MMSYSERR_BADDEVICEID},
        {"out open, null handle", [&] { return midiOutOpen(nullptr, 0, 0, 0, CALLBACK_NULL); },
         MMSYSERR_INVALPARAM},
        {"out open, twice", [&] { return midiOutOpen(&second, 0, 0, 0, CALLBACK_NULL); },
         MMSYSERR_ALLOCATED},
        {"out open, window callback", [&] { return midiOutOpen(&second, 1, 1, 0, 0x00010000); },
         MMSYSERR_INVALFLAG},
        {"out open, null function",
         [&] { return midiOutOpen(&second, 1, 0, 0, CALLBACK_FUNCTION); }, MMSYSERR_INVALPARAM},
        {"in open, twice", [&] { return midiInOpen(&secondIn, 0, 0, 0, CALLBACK_NULL); },
         MMSYSERR_ALLOCATED},
        {"short, stale handle", [&] { return midiOutShortMsg(stale, 0x90); }, MMSYSERR_INVALHANDLE},
        {"short, bogus handle", [&] { return midiOutShortMsg(bogusOut, 0x90); },
         MMSYSERR_INVALHANDLE},
        {"short, null handle", [&] { return midiOutShortMsg(nullptr, 0x90); },
         MMSYSERR_INVALHANDLE},
        {"short, no status byte", [&] { return midiOutShortMsg(out, 0x7F); }, MMSYSERR_INVALPARAM},
        {"long, unprepared",
         [&] { return midiOutLongMsg(out, &unprepared.header, sizeof(MIDIHDR)); },
         MIDIERR_UNPREPARED},
        {"long, null header", [&] { return midiOutLongMsg(out, nullptr, sizeof(MIDIHDR)); },
         MMSYSERR_INVALPARAM},
        {"long, short size", [&] { return midiOutLongMsg(out, &unprepared.header, 8); },
         MMSYSERR_INVALPARAM},
        {"out prepare, no data",
         [&] { return midiOutPrepareHeader(out, &noData.header, sizeof(MIDIHDR)); },
         MMSYSERR_INVALPARAM},
        {"out prepare, stale",
         [&] { return midiOutPrepareHeader(stale, &unprepared.header, sizeof(MIDIHDR)); },
         MMSYSERR_INVALHANDLE},
        {"out reset, stale", [&] { return midiOutReset(stale); }, MMSYSERR_INVALHANDLE},
        {"out close, stale", [&] { return midiOutClose(stale); }, MMSYSERR_INVALHANDLE},
        {"in function, out handle", [&] { return midiInStart(asIn); }, MMSYSERR_INVALHANDLE},
        {"add, unprepared",
         [&] { return midiInAddBuffer(in, &unprepared.header, sizeof(MIDIHDR)); },
         MIDIERR_UNPREPARED},
        {"add, already queued",
         [&] { return midiInAddBuffer(in, &queued.header, sizeof(MIDIHDR)); },
         MIDIERR_STILLPLAYING},
        {"add, short size", [&] { return midiInAddBuffer(in, &queued.header, 4); },
         MMSYSERR_INVALPARAM},
        {"in unprepare, queued",
         [&] { return midiInUnprepareHeader(in, &queued.header, sizeof(MIDIHDR)); },
         MIDIERR_STILLPLAYING},
        {"in close, buffer queued", [&] { return midiInClose(in); }, MIDIERR_STILLPLAYING},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.call(), c.expected) << c.what;
    }

    // Nothing refused did anything: both devices still work and close cleanly.
    EXPECT_EQ(midiOutShortMsg(out, 0x643C90), MMSYSERR_NOERROR);
    EXPECT_EQ(simwinmm::SentBytes(0), (std::vector<uint8_t>{0x90, 0x3C, 0x64}));
    EXPECT_EQ(midiInReset(in), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInUnprepareHeader(in, &queued.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_INVALHANDLE);
}

TEST_F(ResultCodes, FailNthCallAnswersTheGivenResultAndDoesNothing) {
    simwinmm::AddOutputPort("Out");
    HMIDIOUT out = nullptr;
    simwinmm::FailCall("midiOutOpen", 1, MMSYSERR_NOMEM);
    EXPECT_EQ(midiOutOpen(&out, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOMEM);
    EXPECT_EQ(out, nullptr);
    ASSERT_EQ(midiOutOpen(&out, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);

    simwinmm::FailCall("midiOutShortMsg", 2, MMSYSERR_ERROR);
    EXPECT_EQ(midiOutShortMsg(out, 0xF8), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutShortMsg(out, 0xFA), MMSYSERR_ERROR);
    EXPECT_EQ(midiOutShortMsg(out, 0xFC), MMSYSERR_NOERROR);
    EXPECT_EQ(simwinmm::SentBytes(0), (std::vector<uint8_t>{0xF8, 0xFC}));
    EXPECT_EQ(simwinmm::CallCount("midiOutShortMsg"), 3u);
    EXPECT_EQ(simwinmm::CallCount("midiOutOpen"), 2u);

    // A failed close leaves the device open.
    simwinmm::FailCall("midiOutClose", 1);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_ERROR);
    EXPECT_EQ(midiOutShortMsg(out, 0xF8), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);

    simwinmm::FailCall("midiOutGetNumDevs", 1, 0);
    EXPECT_EQ(midiOutGetNumDevs(), 0u);
    EXPECT_EQ(midiOutGetNumDevs(), 1u);

    // Reset clears counts and pending faults.
    simwinmm::FailCall("midiInGetNumDevs", 1, 9);
    simwinmm::Reset();
    EXPECT_EQ(simwinmm::CallCount("midiOutShortMsg"), 0u);
    EXPECT_EQ(midiInGetNumDevs(), 0u);
}

TEST_F(ResultCodes, CapsNameTheDevicesAndCanBeMadeToFail) {
    simwinmm::AddOutputPort("First");
    simwinmm::AddOutputPort("Second");
    simwinmm::AddOutputPort("A name that is much longer than thirty-one characters");
    simwinmm::AddInputPort("Keys");
    simwinmm::FailOutputCaps(1, true);
    simwinmm::FailInputCaps(0, true);

    MIDIOUTCAPSA caps{};
    ASSERT_EQ(midiOutGetNumDevs(), 3u);
    EXPECT_EQ(midiOutGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "First");
    EXPECT_EQ(midiOutGetDevCapsA(1, &caps, sizeof caps), MMSYSERR_ERROR);
    EXPECT_EQ(midiOutGetDevCapsA(2, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(caps.szPname), "A name that is much longer than");
    MIDIINCAPSA inCaps{};
    EXPECT_EQ(midiInGetDevCapsA(0, &inCaps, sizeof inCaps), MMSYSERR_ERROR);
    simwinmm::FailInputCaps(0, false);
    EXPECT_EQ(midiInGetDevCapsA(0, &inCaps, sizeof inCaps), MMSYSERR_NOERROR);
    EXPECT_STREQ(inCaps.szPname, "Keys");

    // A device whose caps fail still opens.
    HMIDIOUT out = nullptr;
    EXPECT_EQ(midiOutOpen(&out, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

}  // namespace
