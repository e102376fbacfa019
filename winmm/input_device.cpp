#include "winmm/callback_wait.h"
#include "winmm/winmm_midi_engine.h"

namespace {

constexpr UINT kHeaderSize = sizeof(MIDIHDR);

}  // namespace

void WinMmMidiEngine::GetInputPorts(ScriptValue& list) {
    if (!initialised) {
        return;
    }
    const UINT count = midiInGetNumDevs();
    for (UINT device = 0; device < count; ++device) {
        MIDIINCAPSA caps{};
        if (midiInGetDevCapsA(device, &caps, sizeof(caps)) != MMSYSERR_NOERROR) {
            continue;  // skipped; later ports keep their numbers
        }
        AppendPortName(list, caps.szPname);
    }
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
    // A device left open by an earlier failed unwinding must be gone before
    // the queue may be touched: its callbacks write into it.
    if (inputHandle != nullptr && !ShutDownInputDevice(false)) {
        return kStatusDriverError;
    }
    const StatusCode code = AllocateQueue(bufSize);
    if (code != kStatusOk) {
        return code;
    }
    inputClosing.store(false, std::memory_order_release);
    sysExChunkDropped.store(false, std::memory_order_relaxed);

    if (midiInOpen(&inputHandle, static_cast<UINT>(portIndex),
                   reinterpret_cast<DWORD_PTR>(&MidiInputCallback),
                   reinterpret_cast<DWORD_PTR>(target), CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        inputHandle = nullptr;
        return kStatusDriverError;
    }
    for (InputBufferSlot& slot : inputBuffers) {
        slot.header = MIDIHDR{};
        slot.header.lpData = reinterpret_cast<LPSTR>(slot.data);
        slot.header.dwBufferLength = kInputBufferSize;
        slot.header.dwFlags = 0;
        if (midiInPrepareHeader(inputHandle, &slot.header, kHeaderSize) != MMSYSERR_NOERROR) {
            ShutDownInputDevice(false);
            return kStatusDriverError;
        }
        ++preparedSlots;
        if (midiInAddBuffer(inputHandle, &slot.header, kHeaderSize) != MMSYSERR_NOERROR) {
            ShutDownInputDevice(false);
            return kStatusDriverError;
        }
    }
    // A device that will not start would never deliver anything.
    if (midiInStart(inputHandle) != MMSYSERR_NOERROR) {
        ShutDownInputDevice(false);
        return kStatusDriverError;
    }
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
    if (!ShutDownInputDevice(true)) {
        return kStatusDriverError;
    }
    inputOpen = false;
    return kStatusOk;
}

bool WinMmMidiEngine::ShutDownInputDevice(bool resetMustSucceed) {
    inputClosing.store(true, std::memory_order_release);
    if (midiInReset(inputHandle) != MMSYSERR_NOERROR && resetMustSucceed) {
        return false;
    }
    // The reset handed every buffer back; a callback may still be busy with one.
    if (!WaitForCallbacks(target->inputCallbacks)) {
        return false;
    }
    // A header the driver still holds (a failed reset) stays counted, so a
    // later closing unprepares it.
    int32_t stillPrepared = 0;
    for (int32_t slot = 0; slot < preparedSlots; ++slot) {
        if (midiInUnprepareHeader(inputHandle, &inputBuffers[slot].header, kHeaderSize) !=
            MMSYSERR_NOERROR) {
            stillPrepared = slot + 1;
        }
    }
    preparedSlots = stillPrepared;
    if (midiInClose(inputHandle) != MMSYSERR_NOERROR) {
        return false;
    }
    inputHandle = nullptr;
    preparedSlots = 0;  // nothing can be unprepared without the device
    // Now the host thread may take the writer's role over.
    if (WaitForCallbacks(target->inputCallbacks)) {
        // A chunk dropped by the guard with no long-data callback after it
        // to give the message up: that message is lost, and the flag says so.
        if (sysExChunkDropped.exchange(false, std::memory_order_acq_rel)) {
            queue.AbandonSysEx();
        }
        queue.EndCapture();
    }
    return true;
}

void CALLBACK WinMmMidiEngine::MidiInputCallback(HMIDIIN handle, UINT message, DWORD_PTR instance,
                                                 DWORD_PTR param1, DWORD_PTR /*param2*/) {
    auto* callbackTarget = reinterpret_cast<CallbackTarget*>(instance);
    // Counted before the engine is looked at, so that a closing engine
    // either sees this callback in flight or this callback sees no engine.
    callbackTarget->inputCallbacks.fetch_add(1, std::memory_order_seq_cst);
    WinMmMidiEngine* engine = callbackTarget->engine.load(std::memory_order_seq_cst);
    if (engine != nullptr) {
        switch (message) {
            case MIM_DATA:
                engine->OnInputData(param1);
                break;
            case MIM_LONGDATA:
                engine->OnInputBuffer(handle, reinterpret_cast<MIDIHDR*>(param1), false);
                break;
            case MIM_LONGERROR:
                engine->OnInputBuffer(handle, reinterpret_cast<MIDIHDR*>(param1), true);
                break;
            default:
                break;
        }
    }
    callbackTarget->inputCallbacks.fetch_sub(1, std::memory_order_release);
}

void WinMmMidiEngine::OnInputData(DWORD_PTR packed) {
    queue.CaptureShortMessage(static_cast<uint8_t>(packed & 0xFF),
                              static_cast<uint8_t>((packed >> 8) & 0xFF),
                              static_cast<uint8_t>((packed >> 16) & 0xFF), timeGetTime());
}

void WinMmMidiEngine::OnInputBuffer(HMIDIIN handle, MIDIHDR* header, bool error) {
    // Only headers of our own slots are handled, let alone given back.
    const uintptr_t offset =
        reinterpret_cast<uintptr_t>(header) - reinterpret_cast<uintptr_t>(&inputBuffers[0]);
    if (offset % sizeof(InputBufferSlot) != 0 ||
        offset / sizeof(InputBufferSlot) >= kInputBufferCount) {
        return;
    }
    InputBufferSlot& slot = inputBuffers[offset / sizeof(InputBufferSlot)];

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
