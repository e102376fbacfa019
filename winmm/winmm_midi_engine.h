// WinMmMidiEngine: the engine over the platform's MIDI API, with one input
// port and one output port. Made only by CreateMidiEngine; every operation
// except the ports' callbacks runs on the host's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "engine/midi_engine.h"
#include "winmm/input_port.h"
#include "winmm/output_port.h"

class WinMmMidiEngine final : public MidiEngine {
public:
    ~WinMmMidiEngine() override;
    StatusCode Init() override;
    int32_t GetTime() override;
    void ResetTimer() override;
    HostResult GetInputPorts(ScriptValue& list) override;
    StatusCode OpenInput(int32_t portIndex, uint32_t bufSize) override;
    StatusCode CloseInput() override;
    HostResult GetOutputPorts(ScriptValue& list) override;
    StatusCode OpenOutput(int32_t portIndex) override;
    StatusCode CloseOutput() override;
    void SetStatusResult(StatusCode code, ScriptValue& destination) override;
    StatusCode SendShortMessage(uint8_t status, uint8_t data1, uint8_t data2,
                                uint32_t length) override;
    StatusCode SendLongMessage(uint8_t manufacturerID, const ScriptValue& data,
                               int32_t count) override;

    // The engine's memory comes from the ordinary heap, never by throwing.
    static void* operator new(size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* block, const std::nothrow_t&) noexcept;
    // Keeps the block instead of freeing it when the destructor quarantined it.
    static void operator delete(void* block) noexcept;

private:
    friend MidiEngine* CreateMidiEngine(HostValueService&, HostListService&, HostMemoryService&);
    WinMmMidiEngine(HostValueService& valueService, HostListService& listService,
                    HostMemoryService& memoryService);

    // The device operations before Init: `refusal`, and nothing done.
    template <typename Result, typename Operation>
    Result WhenInitialised(Result refusal, Operation operation) {
        return initialised ? operation() : refusal;
    }

    // Appends a device's product name to a port list, or, when its
    // capabilities could not be read (`known` false), a placeholder naming
    // its port number.
    HostResult AppendPortName(ScriptValue& list, UINT device, bool known,
                              const char (&productName)[32]);

    bool initialised = false;
    uint32_t timerBase = 0;
    // Ahead of the input port's slots, near the members every send reads.
    OutputPort output{memoryService};
    // The input port's own slots are part of the engine's block: a device the
    // driver keeps may still write into them, so the block is kept with it.
    InputPort input{Queue()};
};
