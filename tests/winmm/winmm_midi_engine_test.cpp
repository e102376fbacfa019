// The engine object: timer, the Init gate, port listing and the order of checks.
#include "tests/winmm/device_fixture.h"

namespace {

using EngineObjectTest = DeviceTest;

TEST_F(EngineObjectTest, TimerCountsFromConstructionAndResetAcrossTheClockWrap) {
    simwinmm::SetClock(1000);
    MidiEngine& midi = Engine();
    EXPECT_EQ(midi.GetTime(), 0);  // no Init needed
    simwinmm::AdvanceClock(25);
    EXPECT_EQ(midi.GetTime(), 25);

    simwinmm::SetClock(0xFFFFFF00u);
    midi.ResetTimer();
    EXPECT_EQ(midi.GetTime(), 0);
    simwinmm::SetClock(0x100u);  // wrapped past 2^32
    EXPECT_EQ(midi.GetTime(), 0x200);
    EXPECT_EQ(midi.Init(), 0);
    EXPECT_EQ(midi.GetTime(), 0x200);  // Init leaves the timer alone
}

TEST_F(EngineObjectTest, EveryPortOperationRefusesBeforeInitAndQueriesNoDevice) {
    simwinmm::AddLoopbackPort("Loop");
    MidiEngine& midi = Engine();
    EXPECT_EQ(midi.OpenInput(0, 1024), 2);
    EXPECT_EQ(midi.CloseInput(), 2);
    EXPECT_EQ(midi.OpenOutput(0), 2);
    EXPECT_EQ(midi.CloseOutput(), 2);
    EXPECT_EQ(midi.OpenInput(-1, 0), 2);  // the gate comes before the port check
    EXPECT_EQ(InputPorts(), "[]");
    EXPECT_EQ(OutputPorts(), "[]");
    EXPECT_EQ(Send(List({"noteOn", 1, 60, 100})), 14);
    EXPECT_EQ(midi.SendShortMessage(0x90, 60, 100, 3), 14);
    for (const char* call : {"midiInGetNumDevs", "midiOutGetNumDevs", "midiInOpen", "midiOutOpen",
                             "midiOutShortMsg"}) {
        EXPECT_EQ(simwinmm::CallCount(call), 0u) << call;
    }
    EXPECT_EQ(host.LiveBlocks(), 0);  // no queue was allocated
}

TEST_F(EngineObjectTest, InitAgainKeepsOpenPortsOpen) {
    const auto loop = simwinmm::AddLoopbackPort("Loop");
    MidiEngine& midi = Initialised();
    ASSERT_EQ(midi.OpenInput(static_cast<int32_t>(loop.input), 0), 0);
    ASSERT_EQ(midi.OpenOutput(static_cast<int32_t>(loop.output)), 0);
    EXPECT_EQ(midi.Init(), 0);
    EXPECT_EQ(midi.OpenInput(0, 0), 17);
    EXPECT_EQ(midi.OpenOutput(0), 18);
    EXPECT_EQ(Send(List({"clock"})), 0);
}

TEST_F(EngineObjectTest, ADeviceWhoseCapsFailIsListedUnderAPlaceholderAtItsNumber) {
    for (const char* name : {"First", "Second", "Third"}) {
        simwinmm::AddInputPort(std::string(name) + " in");
        simwinmm::AddOutputPort(std::string(name) + " out");
    }
    simwinmm::FailInputCaps(1, true);
    simwinmm::FailOutputCaps(1, true);
    MidiEngine& midi = Initialised();
    // The n-th name is port n, and the list counts every device.
    EXPECT_EQ(InputPorts(), "[\"First in\", \"(port 2 unavailable)\", \"Third in\"]");
    EXPECT_EQ(OutputPorts(), "[\"First out\", \"(port 2 unavailable)\", \"Third out\"]");

    // Script port 3 is the third device, the third name.
    ASSERT_EQ(midi.OpenOutput(2), 0);
    EXPECT_EQ(Send(List({"start"})), 0);
    EXPECT_EQ(simwinmm::SentBytes(2), std::vector<uint8_t>({0xFA}));
    EXPECT_TRUE(simwinmm::SentBytes(0).empty());
    ASSERT_EQ(midi.OpenInput(2, 0), 0);
    EXPECT_EQ(simwinmm::QueuedInputBuffers(2), 64u);
}

TEST_F(EngineObjectTest, LongPortNamesAreCutTo31Characters) {
    simwinmm::AddOutputPort(std::string(40, 'x'));
    Initialised();
    EXPECT_EQ(OutputPorts(), "[\"" + std::string(31, 'x') + "\"]");
}

TEST_F(EngineObjectTest, AHostFailureInTheListIsReportedNotSkipped) {
    for (const char* name : {"First", "Second"}) {
        simwinmm::AddInputPort(std::string(name) + " in");
        simwinmm::AddOutputPort(std::string(name) + " out");
    }
    MidiEngine& midi = Initialised();
    for (const char* operation : {"StringToValue", "AppendToList"}) {
        for (const bool input : {true, false}) {
            SCOPED_TRACE(std::string(operation) + (input ? " input" : " output"));
            host.FailCall(operation, 2);
            ScriptValue list = host.NewList();
            const HostResult code = input ? midi.GetInputPorts(list) : midi.GetOutputPorts(list);
            EXPECT_EQ(code, hostsim::SimHost::kInjectedFailure);
            EXPECT_EQ(host.Print(list), input ? "[\"First in\"]" : "[\"First out\"]");
            host.Release(list);
        }
    }
}

TEST_F(EngineObjectTest, PortChecksRunInTheirFixedOrder) {
    simwinmm::AddInputPort("In A");
    simwinmm::AddInputPort("In B");
    simwinmm::AddOutputPort("Out A");
    simwinmm::AddOutputPort("Out B");
    MidiEngine& midi = Initialised();

    struct Case {
        const char* what;
        StatusCode (*call)(MidiEngine&);
        StatusCode expected;
    };
    const Case closedCases[] = {
        {"CloseInput while closed", [](MidiEngine& m) { return m.CloseInput(); }, 13},
        {"CloseOutput while closed", [](MidiEngine& m) { return m.CloseOutput(); }, 14},
        {"OpenInput port -1", [](MidiEngine& m) { return m.OpenInput(-1, 0); }, 15},
        {"OpenInput one past", [](MidiEngine& m) { return m.OpenInput(2, 0); }, 15},
        {"OpenOutput port -1", [](MidiEngine& m) { return m.OpenOutput(-1); }, 15},
        {"OpenOutput one past", [](MidiEngine& m) { return m.OpenOutput(2); }, 15},
        {"OpenOutput far past", [](MidiEngine& m) { return m.OpenOutput(INT32_MAX); }, 15},
    };
    for (const Case& c : closedCases) {
        EXPECT_EQ(c.call(midi), c.expected) << c.what;
    }
    EXPECT_EQ(simwinmm::CallCount("midiInOpen") + simwinmm::CallCount("midiOutOpen"), 0u);

    ASSERT_EQ(midi.OpenInput(0, 0), 0);
    ASSERT_EQ(midi.OpenOutput(0), 0);
    const Case openCases[] = {
        {"OpenInput same port", [](MidiEngine& m) { return m.OpenInput(0, 0); }, 17},
        {"OpenInput bad port", [](MidiEngine& m) { return m.OpenInput(-1, 0); }, 17},
        {"OpenOutput same port", [](MidiEngine& m) { return m.OpenOutput(0); }, 18},
        {"OpenOutput bad port", [](MidiEngine& m) { return m.OpenOutput(5); }, 18},
        {"CloseInput", [](MidiEngine& m) { return m.CloseInput(); }, 0},
        {"CloseInput again", [](MidiEngine& m) { return m.CloseInput(); }, 13},
        {"CloseOutput", [](MidiEngine& m) { return m.CloseOutput(); }, 0},
        {"CloseOutput again", [](MidiEngine& m) { return m.CloseOutput(); }, 14},
    };
    for (const Case& c : openCases) {
        EXPECT_EQ(c.call(midi), c.expected) << c.what;
    }
    EXPECT_EQ(simwinmm::CallCount("midiInOpen"), 1u);
    EXPECT_EQ(simwinmm::CallCount("midiOutOpen"), 1u);
}

TEST_F(EngineObjectTest, FactoryReturnsAWorkingEngineEachTime) {
    simwinmm::AddOutputPort("Out");
    MidiEngine* first = CreateMidiEngine(host.values(), host.lists(), host.memory());
    MidiEngine* second = CreateMidiEngine(host.values(), host.lists(), host.memory());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(first->Init(), 0);
    EXPECT_EQ(first->OpenOutput(0), 0);
    EXPECT_EQ(second->Init(), 0);
    EXPECT_EQ(second->OpenOutput(0), 3);  // the device is taken
    delete first;
    delete second;
}

}  // namespace
