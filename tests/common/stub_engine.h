// The one engine for tests and programs whose platform does nothing: ports
// open and close on the spot (input allocates the queue), sends succeed, and
// the filter masks can be read and set directly. Test engines that record
// what the platform is asked derive from it (tests/engine, tests/dispatch), as
// do the queue fuzz target and the engine benchmarks.
#pragma once

#include <atomic>
#include <cstdint>

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
    StatusCode OpenOutput(int32_t) override {
        outputOpen = true;
        return kStatusOk;
    }
    StatusCode CloseOutput() override {
        outputOpen = false;
        return kStatusOk;
    }
    StatusCode SendShortMessage(uint8_t, uint8_t, uint8_t, uint32_t) override { return kStatusOk; }
    StatusCode SendLongMessage(uint8_t, const ScriptValue&, int32_t) override { return kStatusOk; }

    using MidiEngine::Queue;
    uint8_t TypeMask(int channel) {
        return Masks().typeMask[channel & 15].load(std::memory_order_relaxed);
    }
    uint8_t ModeMask(int channel) {
        return Masks().modeMask[channel & 15].load(std::memory_order_relaxed);
    }
    void SetTypeMask(int channel, uint8_t mask) {
        Masks().typeMask[channel & 15].store(mask, std::memory_order_relaxed);
    }
    void SetModeMask(int channel, uint8_t mask) {
        Masks().modeMask[channel & 15].store(mask, std::memory_order_relaxed);
    }
};
