#include <cstdlib>

#include "winmm/callback_wait.h"
#include "winmm/winmm_midi_engine.h"

namespace {

constexpr UINT kHeaderSize = sizeof(MIDIHDR);

}  // namespace

HostResult WinMmMidiEngine::GetInputPorts(ScriptValue& list) {
    if (!initialised) {
        return kHostOk;
    }
    const UINT count = midiInGetNumDevs();
    for (UINT device = 0; device < count; ++device) {
        MIDIINCAPSA caps{};
        if (midiInGetDevCapsA(device, &caps, sizeof(caps)) != MMSYSERR_NOERROR) {
            continue;  // skipped; later ports keep their numbers
        }
        if (HostResult code = AppendPortName(list, caps.szPname); code != kHostOk) {
            return code;
        }
    }
    return kHostOk;
}

StatusCode WinMmMidiEngine::OpenInput(int32_t portIndex, uint32_t bufSize) {
    if (!initialised) {
        return kStatusNotInitialised;
    }
    if (inputOpen) {
        return kStatusInputAlreadyOpen;
    }
    if (portIndex < 0 || static_cast<UINT>(portIndex) >= midiInGetNumDevs()) {
        return kStatusInvalidPort;
    }
    // A device set aside may still hold this very port.
    RetrySetAsideInputs();
    const StatusCode code = AllocateQueue(bufSize);
    if (code != kStatusOk) {
        return code;
    }
    auto* device = new (std::nothrow) InputDevice;
    InputBufferSlot* slots = device != nullptr ? FreeSlotSet() : nullptr;
    if (slots == nullptr) {
        delete device;
        return kStatusNoMemory;
    }
    device->slots = slots;
    device->target.engine.store(this, std::memory_order_release);
    inputClosing.store(false, std::memory_order_release);
    sysExChunkDropped.store(false, std::memory_order_relaxed);

    if (midiInOpen(&device->handle, static_cast<UINT>(portIndex),
                   reinterpret_cast<DWORD_PTR>(&MidiInputCallback),
                   reinterpret_cast<DWORD_PTR>(&device->target),
                   CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        device->handle = nullptr;
        ReleaseInputDevice(device);
        return kStatusDriverError;
    }
    bool ready = true;
    for (int32_t i = 0; i < kInputBufferCount && ready; ++i) {
        InputBufferSlot& slot = slots[i];
        slot.header = MIDIHDR{};
        slot.header.lpData = reinterpret_cast<LPSTR>(slot.data);
        slot.header.dwBufferLength = kInputBufferSize;
        slot.header.dwFlags = 0;
        ready = midiInPrepareHeader(device->handle, &slot.header, kHeaderSize) == MMSYSERR_NOERROR;
        if (ready) {
            ++device->preparedSlots;
            ready = midiInAddBuffer(device->handle, &slot.header, kHeaderSize) == MMSYSERR_NOERROR;
        }
    }
    // A device that will not start would never deliver anything.
    if (!ready || midiInStart(device->handle) != MMSYSERR_NOERROR) {
        inputClosing.store(true, std::memory_order_release);
        bool refused = false;
        LetGoOfInput(device, ShutDownInput(*device, refused));
        return kStatusDriverError;
    }
    input = device;
    inputOpen = true;
    return kStatusOk;
}

StatusCode WinMmMidiEngine::CloseInput() {
    if (!initialised) {
        return kStatusNotInitialised;
    }
    if (!inputOpen) {
        return kStatusInputNotOpen;
    }
    // However the driver answers, the port is closed for the script: a
    // device it will not let go is set aside and tried again later.
    inputClosing.store(true, std::memory_order_release);
    bool refused = false;
    const bool closed = ShutDownInput(*input, refused);
    LetGoOfInput(input, closed);
    input = nullptr;
    inputOpen = false;
    return refused ? kStatusDriverError : kStatusOk;
}

bool WinMmMidiEngine::ShutDownInput(InputDevice& device, bool& refused) {
    const Clock::time_point deadline = Clock::now() + kCloseDeadline;
    if (midiInReset(device.handle) != MMSYSERR_NOERROR) {
        refused = true;
    }
    // The reset handed every buffer back; a callback may still be busy with one.
    WaitForCallbacks(device.target.callbacks);
    // A header the driver still holds (a failed reset) stays counted, so a
    // later closing unprepares it.
    int32_t stillPrepared = 0;
    for (int32_t slot = 0; slot < device.preparedSlots; ++slot) {
        if (Clock::now() >= deadline) {
            stillPrepared = device.preparedSlots;
            break;
        }
        if (midiInUnprepareHeader(device.handle, &device.slots[slot].header, kHeaderSize) !=
            MMSYSERR_NOERROR) {
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

void WinMmMidiEngine::LetGoOfInput(InputDevice* device, bool closed) {
    // Detached, a late callback finds no engine.
    device->target.engine.store(nullptr, std::memory_order_seq_cst);
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
        ReleaseInputDevice(device);
        return;
    }
    device->next = setAsideInputs;
    setAsideInputs = device;
}

void WinMmMidiEngine::RetrySetAsideInputs() {
    InputDevice** link = &setAsideInputs;
    while (*link != nullptr) {
        InputDevice* device = *link;
        bool refused = false;
        if ((device->handle == nullptr || ShutDownInput(*device, refused)) &&
            WaitForCallbacks(device->target.callbacks)) {
            *link = device->next;
            ReleaseInputDevice(device);
        } else {
            link = &device->next;
        }
    }
}

void WinMmMidiEngine::ReleaseInputDevice(InputDevice* device) {
    if (device->slots != inputBuffers) {
        std::free(device->slots);
    }
    delete device;
}

InputBufferSlot* WinMmMidiEngine::FreeSlotSet() {
    for (const InputDevice* device = setAsideInputs; device != nullptr; device = device->next) {
        if (device->slots == inputBuffers) {
            return static_cast<InputBufferSlot*>(
                std::calloc(kInputBufferCount, sizeof(InputBufferSlot)));
        }
    }
    return inputBuffers;
}

void CALLBACK WinMmMidiEngine::MidiInputCallback(HMIDIIN handle, UINT message, DWORD_PTR instance,
                                                 DWORD_PTR param1, DWORD_PTR /*param2*/) {
    auto* device = reinterpret_cast<InputDevice*>(instance);  // its target is its first member
    // Counted before the engine is looked at, so that a closing engine
    // either sees this callback in flight or this callback sees no engine.
    device->target.callbacks.fetch_add(1, std::memory_order_seq_cst);
    WinMmMidiEngine* engine = device->target.engine.load(std::memory_order_seq_cst);
    if (engine != nullptr) {
        switch (message) {
            case MIM_DATA:
                engine->OnInputData(param1);
                break;
            case MIM_LONGDATA:
                engine->OnInputBuffer(*device, handle, reinterpret_cast<MIDIHDR*>(param1), false);
                break;
            case MIM_LONGERROR:
                engine->OnInputBuffer(*device, handle, reinterpret_cast<MIDIHDR*>(param1), true);
                break;
            default:
                break;
        }
    }
    device->target.callbacks.fetch_sub(1, std::memory_order_release);
}

void WinMmMidiEngine::OnInputData(DWORD_PTR packed) {
    queue.CaptureShortMessage(static_cast<uint8_t>(packed & 0xFF),
                              static_cast<uint8_t>((packed >> 8) & 0xFF),
                              static_cast<uint8_t>((packed >> 16) & 0xFF), timeGetTime());
}

void WinMmMidiEngine::OnInputBuffer(InputDevice& device, HMIDIIN handle, MIDIHDR* header,
                                    bool error) {
    // Only headers of the device's own slots are handled, let alone given back.
    const uintptr_t offset =
        reinterpret_cast<uintptr_t>(header) - reinterpret_cast<uintptr_t>(&device.slots[0]);
    if (offset % sizeof(InputBufferSlot) != 0 ||
        offset / sizeof(InputBufferSlot) >= kInputBufferCount) {
        return;
    }
    InputBufferSlot& slot = device.slots[offset / sizeof(InputBufferSlot)];

    const int32_t depth = sysExCallbackDepth.fetch_add(1, std::memory_order_acq_rel) + 1;
    if (depth == 1) {
        // A chunk lost to the guard or to a driver error damages the message
        // being assembled: drop it whole rather than publish it.
        if (sysExChunkDropped.exchange(false, std::memory_order_acq_rel) || error) {
            queue.AbandonSysEx();
        }
        uint32_t count = slot.header.dwBytesRecorded;
        if (count > kInputBufferSize) {
            count = kInputBufferSize;
        }
        if (!error && count > 0) {
            if (slot.data[0] == 0xF0) {
                queue.CaptureSysExStart(slot.data, count, timeGetTime());
            } else {
                queue.CaptureSysExContinue(slot.data, count, timeGetTime());
            }
        }
        if (!error && count < kInputBufferSize) {
            // A driver hands a buffer back unfilled only when the message
            // ended, so one that is still being assembled was cut short.
            queue.CutSysEx();
        }
    } else {
        sysExChunkDropped.store(true, std::memory_order_release);
    }
    if (!inputClosing.load(std::memory_order_acquire)) {
        midiInAddBuffer(handle, &slot.header, kHeaderSize);
    }
    sysExCallbackDepth.fetch_sub(1, std::memory_order_acq_rel);
}
