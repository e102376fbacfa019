// WinMmMidiEngine: the engine over the platform's MIDI API. Made only by
// CreateMidiEngine; every operation except the two callbacks runs on the
// host's thread.
#pragma once

#include <atomic>
#include <chrono>
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

// What the driver holds as the callbacks' instance data: the first member of
// each open device. A device the driver would not let go is detached (no
// engine) and set aside, so a late callback finds no engine and returns.
struct CallbackTarget {
    std::atomic<WinMmMidiEngine*> engine{nullptr};
    // Callbacks running right now, counted at entry and exit.
    std::atomic<int32_t> callbacks{0};
};

// One input device as the driver knows it, from the open on. Its own heap
// block, so that it can outlive the port and the engine when the driver
// keeps it.
struct InputDevice {
    CallbackTarget target;  // first: the callbacks find the device from it
    HMIDIIN handle = nullptr;
    InputBufferSlot* slots = nullptr;  // the 64 slots given to it
    int32_t preparedSlots = 0;         // slots 0 .. n - 1 are prepared on it
    InputDevice* next = nullptr;       // set aside, or kept for good
};

struct OutputDevice {
    CallbackTarget target;  // first, as for input
    HMIDIOUT handle = nullptr;
    SysExOutputRecord* pendingSysEx = nullptr;  // newest first; host thread only
    OutputDevice* next = nullptr;
};

static_assert(offsetof(InputDevice, target) == 0);
static_assert(offsetof(OutputDevice, target) == 0);

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

    static void CALLBACK MidiInputCallback(HMIDIIN handle, UINT message, DWORD_PTR instance,
                                           DWORD_PTR param1, DWORD_PTR param2);
    static void CALLBACK MidiOutputCallback(HMIDIOUT handle, UINT message, DWORD_PTR instance,
                                            DWORD_PTR param1, DWORD_PTR param2);

    // The engine's memory comes from the ordinary heap, never by throwing.
    static void* operator new(size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* block, const std::nothrow_t&) noexcept;
    // Keeps the block instead of freeing it when the destructor quarantined it.
    static void operator delete(void* block) noexcept;

    // How long a close may go on making calls between its reset and its
    // close: a driver that answers each call slowly (a pulled device) makes
    // the steps after it be skipped.
    static constexpr std::chrono::milliseconds kCloseDeadline{2000};

private:
    friend MidiEngine* CreateMidiEngine(HostValueService&, HostListService&, HostMemoryService&);
    WinMmMidiEngine(HostValueService& valueService, HostListService& listService,
                    HostMemoryService& memoryService);

    using Clock = std::chrono::steady_clock;

    // Appends a capabilities record's product name to a port list.
    HostResult AppendPortName(ScriptValue& list, const char (&productName)[32]);

    // ---- input (input_device.cpp)
    // Reset, wait for callbacks, unprepare (while the deadline allows),
    // close. True once the handle is closed; `refused` tells whether the
    // reset or the close failed.
    bool ShutDownInput(InputDevice& device, bool& refused);
    // Detaches a device that is no longer the port's and releases it, or sets
    // it aside while the driver may still touch it. The host thread then
    // takes the queue's writer role over.
    void LetGoOfInput(InputDevice* device, bool closed);
    // Tries again to close the devices set aside; releases those let go.
    void RetrySetAsideInputs();
    void ReleaseInputDevice(InputDevice* device);
    // A slot set no device holds: the engine's own, or one from the heap
    // while the engine's is still held by a device set aside. Null: no memory.
    InputBufferSlot* FreeSlotSet();
    void OnInputData(DWORD_PTR packed);
    void OnInputBuffer(InputDevice& device, HMIDIIN handle, MIDIHDR* header, bool error);

    // ---- output (output_device.cpp)
    bool ShutDownOutput(OutputDevice& device);
    void LetGoOfOutput(OutputDevice* device, bool closed);
    void RetrySetAsideOutputs();
    void ReleaseOutputDevice(OutputDevice* device);
    // A prepared record, not yet listed in pendingSysEx.
    // `refusal` says why when null: 16 without memory, 3 when the driver refused.
    SysExOutputRecord* NewSysExRecord(uint32_t length, StatusCode& refusal);
    // Unprepares and frees a chain of records the driver never took.
    void DiscardSysExRecords(SysExOutputRecord* blocks);
    // Unprepares and frees every record the driver reported done; stops
    // unpreparing once `deadline` has passed.
    void ReapCompletedSysEx(OutputDevice& device,
                            Clock::time_point deadline = Clock::time_point::max());
    void FreeSysExRecord(HMIDIOUT handle, SysExOutputRecord* record);

    bool initialised = false;
    uint32_t timerBase = 0;
    // The open devices; null while closed (non-null during an open too).
    InputDevice* input = nullptr;
    OutputDevice* output = nullptr;
    // Devices the driver would not let go of, retried at the next open of
    // their direction and at destruction.
    InputDevice* setAsideInputs = nullptr;
    OutputDevice* setAsideOutputs = nullptr;
    InputBufferSlot inputBuffers[kInputBufferCount];
    // Written by the host thread before every reset, read by the input callback.
    std::atomic<bool> inputClosing{false};

    // Long-data callbacks of this engine in progress: only the one that finds
    // it at 1 captures; the others drop their chunk.
    std::atomic<int32_t> sysExCallbackDepth{0};
    // A chunk was dropped: the capturing callback abandons the message.
    std::atomic<bool> sysExChunkDropped{false};
};
