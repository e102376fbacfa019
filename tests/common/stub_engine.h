// A MidiEngine whose platform does nothing, for programs that drive the
// queue's writer themselves and read through the engine's decoding (the queue
// fuzz target, the engine benchmarks).
#pragma once

#include "engine/midi_engine.h"

class StubEngine : public MidiEngine {
public:
    using MidiEngine::MidiEngine;

    StatusCode Init() override { return kStatusOk; }
    int32_t GetTime() override { return 0; }
    void ResetTimer() override {}
    HostResult GetInputPorts(ScriptValue&) override { return kHostOk; }
    StatusCode OpenInput(int32_t, uint32_t bufSize) override {
        const StatusCode result = AllocateQueue(bufSize);
        inputOpen = result == kStatusOk;
        return result;
    }
    StatusCode CloseInput() override {
        inputOpen = false;
        return kStatusOk;
    }
    HostResult GetOutputPorts(ScriptValue&) override { return kHostOk; }
    StatusCode OpenOutput(int32_t) override { return kStatusOk; }
    StatusCode CloseOutput() override { return kStatusOk; }
    StatusCode SendShortMessage(uint8_t, uint8_t, uint8_t, uint32_t) override { return kStatusOk; }
    StatusCode SendLongMessage(uint8_t, const ScriptValue&, int32_t) override { return kStatusOk; }

    using MidiEngine::Queue;
    void SetTypeMask(int channel, uint8_t mask) {
        Masks().typeMask[channel & 15].store(mask, std::memory_order_relaxed);
    }
    void SetModeMask(int channel, uint8_t mask) {
        Masks().modeMask[channel & 15].store(mask, std::memory_order_relaxed);
    }
};
