// A cable pulled while a port is open, at every point that matters, and
// plugged back in: the engine never crashes, hangs or leaks, keeps what the
// driver may still touch, and opens the port again on the same object.
#include <cstring>

#include "tests/winmm/device_fixture.h"
#include "winmm/api.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Pull = simwinmm::PullBehaviour;

constexpr uint32_t kNoDriver = 6;  // MMSYSERR_NODRIVER
constexpr uint32_t kError = 1;     // MMSYSERR_ERROR

struct Variant {
    const char* name;
    Pull pull;
};

// What real stacks do: buffers handed back or not, the old handle's close
// succeeding or failing for good.
const Variant kVariants[] = {
    {"hands back, closes", {kNoDriver, 0, true, false}},
    {"hands back, will not close", {kError, 0, true, true}},
    {"keeps its buffers, closes", {kNoDriver, 0, false, false}},
    {"keeps its buffers, will not close", {kError, 0, false, true}},
};

class PulledPortTest : public DeviceTest {
protected:
    void SetUp() override {
        simwinmm::AddOutputPort("Synth");
        simwinmm::AddLoopbackPort("Cable");
        simwinmm::AddInputPort("Keys");
        Initialised();
    }

    // The port's number (0-based) in the current list; -1 if not listed.
    int32_t PortNumber(bool input, const std::string& name) {
        const UINT count = input ? midiInGetNumDevs() : midiOutGetNumDevs();
        for (UINT i = 0; i < count; ++i) {
            char text[32] = {};
            if (input) {
                MIDIINCAPSA caps{};
                midiInGetDevCapsA(i, &caps, sizeof caps);
                std::memcpy(text, caps.szPname, sizeof text);
            } else {
                MIDIOUTCAPSA caps{};
                midiOutGetDevCapsA(i, &caps, sizeof caps);
                std::memcpy(text, caps.szPname, sizeof text);
            }
            if (name == text) {
                return static_cast<int32_t>(i);
            }
        }
        return -1;
    }
    uint32_t CableIn() { return static_cast<uint32_t>(PortNumber(true, "Cable")); }
    uint32_t CableOut() { return static_cast<uint32_t>(PortNumber(false, "Cable")); }

    // After the pull: the port is no longer listed; once back it is listed
    // again (under its new numbers).
    void ReplugCable() {
        EXPECT_EQ(InputPorts().find("Cable"), std::string::npos);
        EXPECT_EQ(OutputPorts().find("Cable"), std::string::npos);
        ASSERT_TRUE(simwinmm::ReplugPort("Cable"));
        EXPECT_NE(InputPorts().find("Cable"), std::string::npos);
        EXPECT_NE(OutputPorts().find("Cable"), std::string::npos);
    }

    // The cable opens on the same object and works both ways.
    void ExpectTheCableWorks() {
        ASSERT_EQ(engine->OpenInput(static_cast<int32_t>(CableIn()), 4096), 0);
        ASSERT_EQ(engine->OpenOutput(static_cast<int32_t>(CableOut())), 0);
        EXPECT_EQ(Send(List({"noteOn", 2, 64, 90})), 0);
        EXPECT_EQ(Send(SysEx(0x41, {1, 2, 3})), 0);
        ASSERT_TRUE(simwinmm::WaitIdle(CableIn()));
        EXPECT_EQ(NextMessage().substr(0, 46), "[#type: #noteOn, #channel: 2, #number: 64, #ve");
        EXPECT_EQ(NextMessage().substr(0, 54),
                  "[#type: #systemExclusive, #manufacturerID: 65, #data: ");
        EXPECT_FALSE(engine->MessagesPending());
        EXPECT_EQ(engine->CloseInput(), 0);
        EXPECT_EQ(engine->CloseOutput(), 0);
    }

    void ExpectTheCableWorksAgain() {
        ReplugCable();
        ExpectTheCableWorks();
    }
};

TEST_F(PulledPortTest, AnIdleOutputAnswers3ThenClosesAndOpensAgain) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        simwinmm::SetPullBehaviour(v.pull);
        ASSERT_EQ(engine->OpenOutput(static_cast<int32_t>(CableOut())), 0);
        const int64_t blocks = host.LiveBlocks();  // the input queue of a round before
        ASSERT_TRUE(simwinmm::UnplugPort("Cable"));
        EXPECT_EQ(Send(List({"noteOn", 1, 60, 100})), 3);
        EXPECT_EQ(Send(SysEx(0x41, {1, 2})), 3);
        EXPECT_EQ(host.LiveBlocks(), blocks);
        EXPECT_EQ(engine->CloseOutput(), v.pull.closeFails ? 3 : 0);
        EXPECT_EQ(engine->CloseOutput(), 14);
        EXPECT_EQ(Send(List({"clock"})), 14);
        ExpectTheCableWorksAgain();
        simwinmm::LetPulledDevicesClose();
    }
}

TEST_F(PulledPortTest, AnOutputPulledWhileSendingASysExKeepsTheBlockWhileTheDriverMay) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        simwinmm::SetPullBehaviour(v.pull);
        ASSERT_EQ(engine->OpenOutput(static_cast<int32_t>(CableOut())), 0);
        const int64_t blocks = host.LiveBlocks();  // the input queue of a round before
        simwinmm::ClearSentBytes(CableOut());
        simwinmm::StallOutput(CableOut(), 100);
        EXPECT_EQ(Send(SysEx(0x41, std::vector<int32_t>(1000, 7))), 0);
        ASSERT_EQ(simwinmm::SentBytes(CableOut()).size(), 100u);  // stalled mid-message
        ASSERT_TRUE(simwinmm::UnplugPort("Cable"));

        EXPECT_EQ(Send(List({"stop"})), 3);
        EXPECT_EQ(engine->CloseOutput(), v.pull.closeFails ? 3 : 0);
        // A block the driver never handed back, on a device that never
        // closed, is kept; everything else is released.
        const bool kept = !v.pull.returnBuffers && v.pull.closeFails;
        EXPECT_EQ(host.LiveBlocks(), blocks + (kept ? 1 : 0));
        ReplugCable();
        simwinmm::ResumeOutput(CableOut());
        ExpectTheCableWorks();
        // Still kept: the retry at the open failed.
        EXPECT_EQ(host.LiveBlocks(), 1 + (kept ? 1 : 0));
        simwinmm::LetPulledDevicesClose();
        ASSERT_EQ(engine->OpenOutput(static_cast<int32_t>(CableOut())), 0);
        EXPECT_EQ(host.LiveBlocks(), 1);  // the old device closed: its block went
        EXPECT_EQ(engine->CloseOutput(), 0);
    }
}

TEST_F(PulledPortTest, AnIdleInputClosesAndOpensAgain) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        simwinmm::SetPullBehaviour(v.pull);
        ASSERT_EQ(engine->OpenInput(static_cast<int32_t>(CableIn()), 4096), 0);
        simwinmm::InjectShort(CableIn(), 0x00403C90);
        ASSERT_TRUE(simwinmm::WaitIdle(CableIn()));
        ASSERT_TRUE(simwinmm::UnplugPort("Cable"));
        // What came before the pull can still be read, and nothing else.
        EXPECT_EQ(NextMessage().substr(0, 17), "[#type: #noteOn, ");
        EXPECT_FALSE(engine->MessagesPending());
        EXPECT_EQ(engine->CloseInput(), 3);  // its reset answers the pull's code
        EXPECT_EQ(engine->CloseInput(), 13);
        EXPECT_FALSE(engine->MessagesPending());
        EXPECT_FALSE(engine->InputOverflowed());
        ExpectTheCableWorksAgain();
        simwinmm::LetPulledDevicesClose();
    }
}

TEST_F(PulledPortTest, AnInputPulledWhileReceivingASysExLosesOnlyThatMessage) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        simwinmm::SetPullBehaviour(v.pull);
        ASSERT_EQ(engine->OpenInput(static_cast<int32_t>(CableIn()), 4096), 0);
        simwinmm::InjectShort(CableIn(), 0xF8);
        Bytes first(512, 0x11);
        first[0] = 0xF0;
        simwinmm::InjectChunk(CableIn(), first);
        simwinmm::InjectSysEx(CableIn(), {0x22, 0x33});  // into the next buffer, unfinished
        ASSERT_TRUE(simwinmm::WaitIdle(CableIn()));
        ASSERT_TRUE(simwinmm::UnplugPort("Cable"));
        EXPECT_EQ(NextMessage().substr(0, 16), "[#type: #clock, ");
        EXPECT_FALSE(engine->MessagesPending());
        EXPECT_EQ(engine->CloseInput(), 3);
        EXPECT_FALSE(engine->MessagesPending());
        EXPECT_TRUE(engine->InputOverflowed());  // the message cut off is lost
        ExpectTheCableWorksAgain();
        simwinmm::LetPulledDevicesClose();
    }
}

// Pulled as each step of a close begins.
TEST_F(PulledPortTest, APortPulledDuringItsCloseIsStillClosed) {
    struct Case {
        bool input;
        const char* operation;
    };
    const Case cases[] = {
        {true, "midiInReset"},   {true, "midiInUnprepareHeader"}, {true, "midiInClose"},
        {false, "midiOutReset"}, {false, "midiOutShortMsg"},      {false, "midiOutClose"},
    };
    for (const Variant& v : kVariants) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(v.name) + ", " + c.operation);
            simwinmm::SetPullBehaviour(v.pull);
            if (c.input) {
                ASSERT_EQ(engine->OpenInput(static_cast<int32_t>(CableIn()), 4096), 0);
                simwinmm::UnplugOnCall("Cable", c.operation, 1);
                const StatusCode code = engine->CloseInput();
                EXPECT_TRUE(code == 0 || code == 3) << code;
            } else {
                ASSERT_EQ(engine->OpenOutput(static_cast<int32_t>(CableOut())), 0);
                simwinmm::HoldOutputDone(CableOut(), true);  // the F7 goes at close
                EXPECT_EQ(Send(SysEx(0x41, {1})), 0);
                simwinmm::UnplugOnCall("Cable", c.operation, 1);
                const StatusCode code = engine->CloseOutput();
                EXPECT_TRUE(code == 0 || code == 3) << code;
            }
            ExpectTheCableWorksAgain();
            simwinmm::LetPulledDevicesClose();
        }
    }
}

// Each call on the pulled device answers only after a while: sending is
// slow, never stuck, and a close gives up the steps it has no time for.
TEST_F(PulledPortTest, ASlowPulledDriverKeepsEveryCallBounded) {
    simwinmm::SetPullBehaviour({kError, 250, false, false});
    ASSERT_EQ(engine->OpenInput(static_cast<int32_t>(CableIn()), 4096), 0);
    ASSERT_EQ(engine->OpenOutput(static_cast<int32_t>(CableOut())), 0);
    ASSERT_TRUE(simwinmm::UnplugPort("Cable"));
    EXPECT_EQ(Send(List({"noteOn", 1, 60, 100})), 3);
    EXPECT_EQ(Send(SysEx(0x41, {1, 2})), 3);
    const uint32_t unprepares = simwinmm::CallCount("midiInUnprepareHeader");
    EXPECT_EQ(engine->CloseInput(), 3);
    // 64 unprepares would take 16 s; each takes 250 ms at least, so the
    // deadline lets only a few go.
    EXPECT_LT(simwinmm::CallCount("midiInUnprepareHeader") - unprepares, 64u);
    EXPECT_EQ(engine->CloseOutput(), 0);
    ExpectTheCableWorksAgain();
}

TEST_F(PulledPortTest, DestroyingTheObjectAfterAPullIsSafe) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        simwinmm::SetPullBehaviour(v.pull);
        const uint32_t openBefore = simwinmm::PulledDevicesOpen();
        Initialised();
        ASSERT_EQ(engine->OpenInput(static_cast<int32_t>(CableIn()), 4096), 0);
        ASSERT_EQ(engine->OpenOutput(static_cast<int32_t>(CableOut())), 0);
        simwinmm::HoldOutputDone(CableOut(), true);
        EXPECT_EQ(Send(SysEx(0x41, {1, 2})), 0);
        simwinmm::HoldOutputDone(CableOut(), false);
        ASSERT_TRUE(simwinmm::UnplugPort("Cable"));
        if (!v.pull.returnBuffers && v.pull.closeFails) {
            // The driver may read that block for good: destroyed now, the
            // object would have to keep it for the life of the process.
            simwinmm::LetPulledDevicesClose();
        }
        DestroyEngine();
        EXPECT_EQ(host.LiveBlocks(), 0) << host.LeakReport();
        EXPECT_EQ(host.LiveValues(), 0);
        const bool stillOpen = v.pull.closeFails && v.pull.returnBuffers;
        EXPECT_EQ(simwinmm::PulledDevicesOpen() - openBefore, stillOpen ? 2u : 0u);
        simwinmm::LetPulledDevicesClose();
        ASSERT_TRUE(simwinmm::ReplugPort("Cable"));
    }
    // Devices kept by destroyed objects stay with the driver, harmless.
    simwinmm::Reset();
}

}  // namespace
