#include "winmm/input_port.h"

#include <cstdlib>
#include <new>

#include "winmm/kept_list.h"

namespace {

constexpr UINT kHeaderSize = sizeof(MIDIHDR);

KeptList<InputDevice> keptInputs;

}  // namespace

StatusCode InputPort::Open(UINT portIndex) {
    auto* device = new (std::nothrow) InputDevice;
    InputBufferSlot* slots = device != nullptr ? FreeSlotSet() : nullptr;
    if (slots == nullptr) {
        delete device;
        return kStatusNoMemory;
    }
    device->slots = slots;
    device->target.owner.store(this, std::memory_order_release);
    closing.store(false, std::memory_order_release);
    sysExChunkDropped.store(false, std::memory_order_relaxed);

    if (midiInOpen(&device->handle, portIndex, reinterpret_cast<DWORD_PTR>(&Callback),
                   reinterpret_cast<DWORD_PTR>(&device->target),
                   CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        device->handle = nullptr;
        Release(device);
        return kStatusDriverError;
    }
    bool ready = true;
    for (int32_t i = 0; i < kInputBufferCount && ready; ++i) {
        InputBufferSlot& slot = slots[i];
        slot.header = MIDIHDR{};
        slot.header.lpData = reinterpret_cast<LPSTR>(slot.data);
        slot.header.dwBufferLength = kInputBufferSize;
        slot.header.dwFlags = 0;
        GoneWatch& gone = device->gone;
        ready = gone.Watch([&] {
            return midiInPrepareHeader(device->handle, &slot.header, kHeaderSize);
        }) == MMSYSERR_NOERROR;
        if (ready) {
            ++device->preparedSlots;
            ready = gone.Watch([&] {
                return midiInAddBuffer(device->handle, &slot.header, kHeaderSize);
            }) == MMSYSERR_NOERROR;
        }
    }
    // A device that will not start would never deliver anything.
    if (!ready ||
        device->gone.Watch([&] { return midiInStart(device->handle); }) != MMSYSERR_NOERROR) {
        closing.store(true, std::memory_order_release);
        bool refused = false;
        LetGo(device, ShutDown(*device, refused));
        return kStatusDriverError;
    }
    openDevice = device;
    return kStatusOk;
}

StatusCode InputPort::Close() {
    closing.store(true, std::memory_order_release);
    bool refused = false;
    const bool closed = ShutDown(*openDevice, refused);
    LetGo(openDevice, closed);
    openDevice = nullptr;
    return refused ? kStatusDriverError : kStatusOk;
}

bool InputPort::ShutDown(InputDevice& device, bool& refused) {
    const Clock::time_point deadline = Clock::now() + kCloseDeadline;
    // A device gone is only closed: each call on it may take seconds. The
    // driver then tells by failing the reset, or the script by the code.
    if (device.gone.Gone() ||
        device.gone.Watch([&] { return midiInReset(device.handle); }) != MMSYSERR_NOERROR) {
        refused = true;
    }
    // The reset handed every buffer back; a callback may still be busy with one.
    WaitForCallbacks(device.target.callbacks);
    // A header the driver still holds (a failed reset) stays counted, so a
    // later closing unprepares it.
    int32_t stillPrepared = 0;
    for (int32_t slot = 0; slot < device.preparedSlots; ++slot) {
        if (Clock::now() >= deadline || device.gone.Gone()) {
            stillPrepared = device.preparedSlots;
            break;
        }
        if (device.gone.Watch([&] {
                return midiInUnprepareHeader(device.handle, &device.slots[slot].header,
                                             kHeaderSize);
            }) != MMSYSERR_NOERROR) {
            stillPrepared = slot + 1;
        }
    }
    device.preparedSlots = stillPrepared;
    if (midiInClose(device.handle) != MMSYSERR_NOERROR) {
        refused = true;
        return false;
    }
    device.handle = nullptr;
    device.preparedSlots = 0;  // nothing can be unprepared without the device
    return true;
}

void InputPort::LetGo(InputDevice* device, bool closed) {
    // Detached, a late callback finds no port.
    device->target.owner.store(nullptr, std::memory_order_seq_cst);
    const bool quiet = WaitForCallbacks(device->target.callbacks);
    if (quiet) {
        // Now the host thread may take the writer's role over. A chunk
        // dropped by the guard with no long-data callback after it to give
        // the message up: that message is lost, and the flag says so.
        if (sysExChunkDropped.exchange(false, std::memory_order_acq_rel)) {
            queue.AbandonSysEx();
        }
        queue.EndCapture();
    }
    if (closed && quiet) {
        Release(device);
        return;
    }
    setAside.Add(device);
}

void InputPort::RetrySetAside() {
    setAside.Retry(
        [this](InputDevice& device) {
            bool refused = false;
            return (device.handle == nullptr || ShutDown(device, refused)) &&
                   WaitForCallbacks(device.target.callbacks);
        },
        [this](InputDevice* device) { Release(device); });
}

void InputPort::KeepSetAsideForGood() {
    setAside.KeepForGood(keptInputs);
}

bool InputPort::AnyKept() {
    return !keptInputs.Empty();
}

void InputPort::Release(InputDevice* device) {
    if (device->slots != buffers) {
        std::free(device->slots);
    }
    delete device;
}

InputBufferSlot* InputPort::FreeSlotSet() {
    for (const InputDevice* device = setAside.First(); device != nullptr; device = device->next) {
        if (device->slots == buffers) {
            return static_cast<InputBufferSlot*>(
                std::calloc(kInputBufferCount, sizeof(InputBufferSlot)));
        }
    }
    return buffers;
}

void CALLBACK InputPort::Callback(HMIDIIN handle, UINT message, DWORD_PTR instance,
                                  DWORD_PTR param1, DWORD_PTR /*param2*/) {
    auto* device = reinterpret_cast<InputDevice*>(instance);  // its target is its first member
    // Counted before the port is looked at, so that a closing port either
    // sees this callback in flight or this callback sees no port.
    const CallbackCount counted(device->target.callbacks);
    InputPort* port = device->target.owner.load(std::memory_order_seq_cst);
    if (port == nullptr) {
        return;
    }
    switch (message) {
        case MIM_DATA:
            port->OnData(param1);
            break;
        case MIM_LONGDATA:
            port->OnBuffer(*device, handle, reinterpret_cast<MIDIHDR*>(param1), false);
            break;
        case MIM_LONGERROR:
            port->OnBuffer(*device, handle, reinterpret_cast<MIDIHDR*>(param1), true);
            break;
        default:
            break;
    }
}

void InputPort::OnData(DWORD_PTR packed) {
    queue.CaptureShortMessage(static_cast<uint8_t>(packed & 0xFF),
                              static_cast<uint8_t>((packed >> 8) & 0xFF),
                              static_cast<uint8_t>((packed >> 16) & 0xFF), timeGetTime());
}

void InputPort::OnBuffer(InputDevice& device, HMIDIIN handle, MIDIHDR* header, bool error) {
    // Only headers of the device's own slots are handled, let alone given back.
    const uintptr_t offset =
        reinterpret_cast<uintptr_t>(header) - reinterpret_cast<uintptr_t>(&device.slots[0]);
    if (offset % sizeof(InputBufferSlot) != 0 ||
        offset / sizeof(InputBufferSlot) >= kInputBufferCount) {
        return;
    }
    InputBufferSlot& slot = device.slots[offset / sizeof(InputBufferSlot)];

    const CallbackCount longData(sysExCallbackDepth);
    if (longData.Depth() == 1) {
        // A chunk lost to the guard or to a driver error damages the message
        // being assembled: drop it whole rather than publish it.
        if (sysExChunkDropped.exchange(false, std::memory_order_acq_rel) || error) {
            queue.AbandonSysEx();
        }
        uint32_t count = slot.header.dwBytesRecorded;
        if (count > kInputBufferSize) {
            count = kInputBufferSize;
        }
        // Any piece, full, short or empty, is only the next piece: its bytes
        // alone say where a message ends.
        if (!error && count > 0) {
            queue.CaptureSysExChunk(slot.data, count, timeGetTime());
        }
    } else if (error || slot.header.dwBytesRecorded > 0) {
        // An empty piece dropped loses nothing.
        sysExChunkDropped.store(true, std::memory_order_release);
    }
    // Given back while the port is open and the device is still there.
    if (!closing.load(std::memory_order_acquire) && !device.gone.Gone()) {
        device.gone.Watch([&] { return midiInAddBuffer(handle, &slot.header, kHeaderSize); });
    }
}
