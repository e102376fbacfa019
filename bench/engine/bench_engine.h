// A MidiEngine with the platform stubbed out and input open, for benchmarks.
#pragma once

#include "engine/midi_engine.h"
#include "hostsim/sim_host.h"

class BenchEngine : public MidiEngine {
public:
    explicit BenchEngine(hostsim::SimHost& host)
        : BenchEngine(host.values(), host.lists(), host.memory()) {}
    BenchEngine(HostValueService& values, HostListService& lists, HostMemoryService& memory)
        : MidiEngine(values, lists, memory) {
        AllocateQueue(1 << 16);
        inputOpen = true;
    }
    StatusCode Init() override { return kStatusOk; }
    int32_t GetTime() override { return 0; }
    void ResetTimer() override {}
    HostResult GetInputPorts(ScriptValue&) override { return kHostOk; }
    StatusCode OpenInput(int32_t, uint32_t) override { return kStatusOk; }
    StatusCode CloseInput() override { return kStatusOk; }
    HostResult GetOutputPorts(ScriptValue&) override { return kHostOk; }
    StatusCode OpenOutput(int32_t) override { return kStatusOk; }
    StatusCode CloseOutput() override { return kStatusOk; }
    StatusCode SendShortMessage(uint8_t, uint8_t, uint8_t, uint32_t) override { return kStatusOk; }
    StatusCode SendLongMessage(uint8_t, const ScriptValue&, int32_t) override { return kStatusOk; }
    InputQueue& Queue() { return queue; }
};
