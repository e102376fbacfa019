// WinMmMidiEngine: the engine over the platform's MIDI API. Made only by
// CreateMidiEngine; every operation except the two callbacks runs on the
// host's thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

#include "engine/midi_engine.h"
#include "winmm/api.h"
#include "winmm/sysex_output_record.h"

constexpr int kInputBufferCount = 64;
constexpr uint32_t kInputBufferSize = 512;

struct InputBufferSlot {
    MIDIHDR header;
    uint8_t data[kInputBufferSize];
};

// The layouts the 32-bit product relies on.
static_assert(sizeof(void*) != 4 || sizeof(MIDIHDR) == 64);
static_assert(sizeof(void*) != 4 || sizeof(InputBufferSlot) == 576);

class WinMmMidiEngine;

// What the driver holds as the callbacks' instance data. It lives apart from
// the engine so that it can outlive it: when a device refuses to close, the
// engine detaches itself here and the target is never freed, so a late
// callback finds no engine and returns.
struct CallbackTarget {
    std::atomic<WinMmMidiEngine*> engine{nullptr};
    // Callbacks running right now, counted at entry and exit.
    std::atomic<int32_t> inputCallbacks{0};
    std::atomic<int32_t> outputCallbacks{0};
    CallbackTarget* nextKept = nullptr;  // once kept for good
};

class WinMmMidiEngine final : public MidiEngine {
public:
    ~WinMmMidiEngine() override;
    StatusCode Init() override;
    int32_t GetTime() override;
    void ResetTimer() override;
    void GetInputPorts(ScriptValue& list) override;
    StatusCode OpenInput(int32_t portIndex, uint32_t bufSize) override;
    StatusCode CloseInput() override;
    void GetOutputPorts(ScriptValue& list) override;
    StatusCode OpenOutput(int32_t portIndex) override;
    StatusCode CloseOutput() override;
    void SetStatusResult(StatusCode code, ScriptValue& destination) override;
    StatusCode SendShortMessage(uint8_t status, uint8_t data1, uint8_t data2,
                                uint32_t length) override;
    StatusCode SendLongMessage(uint8_t manufacturerID, const ScriptValue& data,
                               int32_t count) override;

    static void CALLBACK MidiInputCallback(HMIDIIN handle, UINT message, DWORD_PTR instance,
                                           DWORD_PTR param1, DWORD_PTR param2);
    static void CALLBACK MidiOutputCallback(HMIDIOUT handle, UINT message, DWORD_PTR instance,
                                            DWORD_PTR param1, DWORD_PTR param2);

    // The engine's memory comes from the ordinary heap, never by throwing.
    static void* operator new(size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* block, const std::nothrow_t&) noexcept;
    // Keeps the block instead of freeing it when the destructor quarantined it.
    static void operator delete(void* block) noexcept;

private:
    friend MidiEngine* CreateMidiEngine(HostValueService&, HostListService&, HostMemoryService&);
    WinMmMidiEngine(HostValueService& valueService, HostListService& listService,
                    HostMemoryService& memoryService, CallbackTarget* target);

    // Appends a capabilities record's product name to a port list.
    void AppendPortName(ScriptValue& list, const char (&productName)[32]);

    // ---- input (input_device.cpp)
    // Reset, wait for callbacks, unprepare, close. False leaves the device
    // open (inputHandle kept) with inputClosing set.
    bool ShutDownInputDevice(bool resetMustSucceed);
    void OnInputData(DWORD_PTR packed);
    void OnInputBuffer(HMIDIIN handle, MIDIHDR* header, bool error);

    // ---- output (output_device.cpp)
    // A prepared record, not yet listed in pendingSysEx.
    SysExOutputRecord* NewSysExRecord(uint32_t length);
    // Unprepares and frees a chain of records the driver never took.
    void DiscardSysExRecords(SysExOutputRecord* blocks);
    void ReapCompletedSysEx();
    void FreeSysExRecord(SysExOutputRecord* record);

    bool initialised = false;
    uint32_t timerBase = 0;
    // Not null while the driver holds an input device: open, or left open by
    // a failed close or a failed unwinding (then inputOpen is clear).
    HMIDIIN inputHandle = nullptr;
    HMIDIOUT outputHandle = nullptr;
    SysExOutputRecord* pendingSysEx = nullptr;  // newest first; host thread only
    InputBufferSlot inputBuffers[kInputBufferCount];
    // Written by the host thread before every reset, read by the input callback.
    std::atomic<bool> inputClosing{false};

    // Slots 0 .. preparedSlots - 1 hold prepared headers; host thread only.
    int32_t preparedSlots = 0;
    // Long-data callbacks of this engine in progress: only the one that finds
    // it at 1 captures; the others drop their chunk.
    std::atomic<int32_t> sysExCallbackDepth{0};
    // A chunk was dropped: the capturing callback abandons the message.
    std::atomic<bool> sysExChunkDropped{false};
    CallbackTarget* const target;
};
