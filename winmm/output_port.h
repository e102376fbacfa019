// The engine's output port: the device open on it with the sysex records the
// driver has, and the devices the driver would not let go of. The output
// callback runs on the driver's thread; everything else on the host's.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "contract/host_api.h"
#include "engine/status.h"
#include "winmm/api.h"
#include "winmm/callback_wait.h"
#include "winmm/device_gone.h"
#include "winmm/kept_list.h"
#include "winmm/sysex_output_record.h"

class OutputPort;

struct OutputDevice {
    CallbackTarget<OutputPort> target;  // first, as for input
    HMIDIOUT handle = nullptr;
    SysExOutputRecord* pendingSysEx = nullptr;  // newest first; host thread only
    GoneWatch gone;                             // once gone, only closed
    OutputDevice* next = nullptr;
};

static_assert(offsetof(OutputDevice, target) == 0);

class OutputPort {
    using Clock = std::chrono::steady_clock;

public:
    // Records come from `memoryService`, which must outlive the port.
    explicit OutputPort(HostMemoryService& memoryService) : memoryService(memoryService) {}
    OutputPort(const OutputPort&) = delete;
    OutputPort& operator=(const OutputPort&) = delete;

    // The port is closed; on failure it stays closed.
    StatusCode Open(UINT portIndex);
    // However the driver answers, the port is closed afterwards: a device it
    // will not let go is set aside with the records it may still read, and
    // tried again later. 3 when the close failed.
    StatusCode Close();

    // ---- while open; a device gone answers 3 without being called
    StatusCode SendShort(DWORD packed) {
        OutputDevice& device = *openDevice;
        if (device.gone.Gone()) {
            return kStatusDriverError;
        }
        const MMRESULT result =
            device.gone.Watch([&] { return midiOutShortMsg(device.handle, packed); });
        return result == MMSYSERR_NOERROR ? kStatusOk : kStatusDriverError;
    }
    // A prepared record, not yet listed in pendingSysEx.
    // `refusal` says why when null: 16 without memory, 3 when the driver
    // refused or the device is gone.
    SysExOutputRecord* NewSysExRecord(uint32_t length, StatusCode& refusal);
    // Unprepares and frees a chain of records the driver never took.
    void DiscardSysExRecords(SysExOutputRecord* blocks);
    // Hands a chain of records, one message in order, to the driver. When it
    // refuses one, that record and the rest are discarded and 3 is returned;
    // a message begun is left unfinished.
    StatusCode SendSysExRecords(SysExOutputRecord* blocks);
    // Unprepares and frees every record the driver reported done (a device
    // gone is not asked to unprepare).
    void ReapCompletedSysEx() { ReapCompletedSysEx(*openDevice, Clock::time_point::max()); }

    // Tries again to close the devices set aside; releases those let go.
    void RetrySetAside();
    bool HoldsSetAside() const { return !setAside.Empty(); }
    // The devices still set aside are kept for the life of the process, with
    // the records the driver may still read.
    void KeepSetAsideForGood();

    // True once memory has been kept for an output device, by any port.
    static bool AnyKept();

    // [driver -> plug-in, the driver's thread, or the caller's inside
    // midiOutLongMsg on some stacks] Marks a record done (MOM_DONE); nothing
    // else, and nothing that allocates, locks or waits.
    static void CALLBACK Callback(HMIDIOUT handle, UINT message, DWORD_PTR instance,
                                  DWORD_PTR param1, DWORD_PTR param2);

private:
    bool ShutDown(OutputDevice& device);
    void LetGo(OutputDevice* device, bool closed);
    void Release(OutputDevice* device);
    // Stops unpreparing once `deadline` has passed.
    void ReapCompletedSysEx(OutputDevice& device, Clock::time_point deadline);
    void FreeSysExRecord(OutputDevice& device, SysExOutputRecord* record);

    HostMemoryService& memoryService;
    // The open device; null while closed.
    OutputDevice* openDevice = nullptr;
    SetAsideList<OutputDevice> setAside;
};
