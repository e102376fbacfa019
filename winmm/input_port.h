// The engine's input port: the device open on it, the devices the driver
// would not let go of, and the engine's own buffer slots. The input callback
// runs on the driver's thread; everything else on the host's.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "engine/input_queue.h"
#include "engine/status.h"
#include "winmm/api.h"
#include "winmm/callback_wait.h"
#include "winmm/device_gone.h"
#include "winmm/kept_list.h"

constexpr int kInputBufferCount = 64;
constexpr uint32_t kInputBufferSize = 512;

struct InputBufferSlot {
    MIDIHDR header;
    uint8_t data[kInputBufferSize];
};

// The layouts the 32-bit product relies on.
static_assert(sizeof(void*) != 4 || sizeof(MIDIHDR) == 64);
static_assert(sizeof(void*) != 4 || sizeof(InputBufferSlot) == 576);

class InputPort;

// One input device as the driver knows it, from the open on. Its own heap
// block, so that it can outlive the port and the engine when the driver
// keeps it.
struct InputDevice {
    CallbackTarget<InputPort> target;  // first: the callbacks find the device from it
    HMIDIIN handle = nullptr;
    InputBufferSlot* slots = nullptr;  // the 64 slots given to it
    int32_t preparedSlots = 0;         // slots 0 .. n - 1 are prepared on it
    GoneWatch gone;                    // once gone, only closed
    InputDevice* next = nullptr;       // set aside, or kept for good
};

static_assert(offsetof(InputDevice, target) == 0);

class InputPort {
public:
    // Captures into `queue`, which must outlive the port.
    explicit InputPort(InputQueue& queue) : queue(queue) {}
    InputPort(const InputPort&) = delete;
    InputPort& operator=(const InputPort&) = delete;

    // Opens, gives the device every slot and starts it; on failure nothing
    // is left open. The queue is allocated and the port is closed.
    StatusCode Open(UINT portIndex);
    // However the driver answers, the port is closed afterwards: a device it
    // will not let go is set aside and tried again later. 3 when the driver
    // refused the reset or the close.
    StatusCode Close();

    // Tries again to close the devices set aside; releases those let go.
    void RetrySetAside();
    bool HoldsSetAside() const { return !setAside.Empty(); }
    // The devices still set aside are kept for the life of the process: the
    // driver may still call with them or write into their slots.
    void KeepSetAsideForGood();

    // True once memory has been kept for an input device, by any port.
    static bool AnyKept();

    // [driver -> plug-in, the driver's thread] `instance` is the device's
    // CallbackTarget. Hands bytes to the queue's writer and buffers back to
    // the driver; no allocation, lock, host call or wait.
    static void CALLBACK Callback(HMIDIIN handle, UINT message, DWORD_PTR instance,
                                  DWORD_PTR param1, DWORD_PTR param2);

private:
    using Clock = std::chrono::steady_clock;

    // Reset, wait for callbacks, unprepare (while the deadline allows),
    // close. True once the handle is closed; `refused` tells whether the
    // reset or the close failed.
    bool ShutDown(InputDevice& device, bool& refused);
    // Detaches a device that is no longer the port's and releases it, or sets
    // it aside while the driver may still touch it. The host thread then
    // takes the queue's writer role over.
    void LetGo(InputDevice* device, bool closed);
    void Release(InputDevice* device);
    // A slot set no device holds: the port's own, or one from the heap
    // while the port's is still held by a device set aside. Null: no memory.
    InputBufferSlot* FreeSlotSet();
    void OnData(DWORD_PTR packed);
    void OnBuffer(InputDevice& device, HMIDIIN handle, MIDIHDR* header, bool error);

    InputQueue& queue;
    // The open device; null while closed.
    InputDevice* openDevice = nullptr;
    SetAsideList<InputDevice> setAside;
    InputBufferSlot buffers[kInputBufferCount]{};
    // Written by the host thread before every reset, read by the callback.
    std::atomic<bool> closing{false};

    // Long-data callbacks of this port in progress: only the one that finds
    // it at 1 captures; the others drop their chunk.
    std::atomic<int32_t> sysExCallbackDepth{0};
    // A chunk was dropped: the capturing callback abandons the message.
    std::atomic<bool> sysExChunkDropped{false};
};
