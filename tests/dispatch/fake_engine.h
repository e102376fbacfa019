// An engine that records the platform operations the dispatcher reaches and
// answers with what the test sets; the engine's own operations (filters,
// queue reading, output encoding, status results) are the real ones.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "engine/midi_engine.h"
#include "tests/common/stub_engine.h"

class FakeEngine final : public StubEngine {
public:
    using StubEngine::StubEngine;

    std::vector<std::string> calls;
    StatusCode answer = kStatusOk;  // what every status operation returns
    int32_t time = 0;

    StatusCode Init() override { return Record("Init"); }
    int32_t GetTime() override {
        Record("GetTime");
        return time;
    }
    void ResetTimer() override { Record("ResetTimer"); }
    HostResult GetInputPorts(ScriptValue& list) override {
        Record("GetInputPorts");
        return AppendNames(list, {"In A", "In B"});
    }
    StatusCode OpenInput(int32_t portIndex, uint32_t bufSize) override {
        return Record("OpenInput(" + std::to_string(portIndex) + ", " + std::to_string(bufSize) +
                      ")");
    }
    StatusCode CloseInput() override { return Record("CloseInput"); }
    HostResult GetOutputPorts(ScriptValue& list) override {
        Record("GetOutputPorts");
        return AppendNames(list, {"Loopback"});
    }
    StatusCode OpenOutput(int32_t portIndex) override {
        return Record("OpenOutput(" + std::to_string(portIndex) + ")");
    }
    StatusCode CloseOutput() override { return Record("CloseOutput"); }
    StatusCode SendShortMessage(uint8_t status, uint8_t data1, uint8_t data2,
                                uint32_t length) override {
        char text[48];
        std::snprintf(text, sizeof text, "Short(%02X %02X %02X, %u)", status, data1, data2,
                      static_cast<unsigned>(length));
        return Record(text);
    }
    StatusCode SendLongMessage(uint8_t manufacturerID, const ScriptValue&, int32_t count) override {
        return Record("Long(" + std::to_string(manufacturerID) + ", " + std::to_string(count) +
                      ")");
    }

    // As an open input device would: the queue exists and the driver has
    // delivered `count` note-ons on channel 10.
    void Receive(int count) {
        inputOpen = true;
        if (Queue().storage() == nullptr) {
            AllocateQueue(1024);
        }
        for (int i = 0; i < count; ++i) {
            Queue().CaptureShortMessage(0x99, 36, 100, 5);
        }
    }
    void MarkOutputOpen() { outputOpen = true; }

private:
    StatusCode Record(std::string call) {
        calls.push_back(std::move(call));
        return answer;
    }
    HostResult AppendNames(ScriptValue& list, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            if (const HostResult code = Values().AppendString(list, name); code != kHostOk) {
                return code;
            }
        }
        return kHostOk;
    }
};
