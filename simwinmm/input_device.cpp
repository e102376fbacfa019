// The winmm input functions over virtual input ports. Each open input has a
// driver thread (simwinmm/input_delivery.h) that delivers what was injected
// or looped back.
#include "simwinmm/device_calls.h"
#include "simwinmm/input_delivery.h"

namespace simwinmm {
namespace {

enum class Halt { Stop, Reset };

// midiInStop and midiInReset: done by the driver thread, after what is already
// queued, and waited for, so no callback is in progress when they return.
MMRESULT HaltInput(HMIDIIN handle, Op op, Halt halt) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    const auto dev = CountAndLookup(d, lock, op, d.inHandles, handle, result);
    if (dev == nullptr) {
        return result;
    }
    if (dev->worker.OnThisThread()) {
        if (halt == Halt::Reset) {
            ResetInput(d, lock, *dev);
        } else {
            StopInput(d, lock, *dev);
        }
        return MMSYSERR_NOERROR;
    }
    uint64_t ticket;
    uint64_t* done;
    if (halt == Halt::Reset) {
        ticket = ++dev->resetAsked;
        done = &dev->resetDone;
    } else {
        ticket = ++dev->stopAsked;
        done = &dev->stopDone;
    }
    WakeWorker(dev->worker);
    const bool ok =
        WaitFor(d, lock, kWorkerDeadline, [&] { return *done >= ticket || dev->worker.quit; });
    return ok ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

}  // namespace
}  // namespace simwinmm

using namespace simwinmm;

extern "C" {

UINT WINAPI midiInGetNumDevs(void) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    if (InjectedFailure(d, Op::InGetNumDevs, result)) {
        return result;
    }
    return static_cast<UINT>(d.inputs.size());
}

MMRESULT WINAPI midiInGetDevCapsA(UINT_PTR deviceId, LPMIDIINCAPSA caps, UINT capsSize) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    return QueryCaps(d, Op::InGetDevCaps, d.inputs, deviceId, caps, capsSize, MIDIINCAPSA{});
}

MMRESULT WINAPI midiInOpen(LPHMIDIIN handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                           DWORD flags) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    if (!MayOpen(d, Op::InOpen, handle, deviceId, d.inputs, callback, flags, result)) {
        return result;
    }
    const auto dev =
        OpenDevice(d, d.inHandles, *d.inputs[deviceId], callback, instance, flags, InputWorker);
    *handle = reinterpret_cast<HMIDIIN>(dev->handle);
    lock.unlock();
    NotifyInput(*dev, MIM_OPEN, 0, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInPrepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT headerSize) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    const auto dev = CountAndLookup(d, lock, Op::InPrepare, d.inHandles, handle, result);
    if (dev == nullptr) {
        return result;
    }
    return PrepareHeader(dev->prepared, header, headerSize);
}

MMRESULT WINAPI midiInAddBuffer(HMIDIIN handle, LPMIDIHDR header, UINT headerSize) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    const auto dev = CountAndLookup(d, lock, Op::InAddBuffer, d.inHandles, handle, result);
    if (dev == nullptr) {
        return result;
    }
    if (!HeaderSizeOk(header, headerSize) || header->lpData == nullptr ||
        header->dwBufferLength == 0) {
        return MMSYSERR_INVALPARAM;
    }
    result = CheckQueueable(header);
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    header->dwBytesRecorded = 0;
    dev->buffers.push_back(header);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInStart(HMIDIIN handle) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    const auto dev = CountAndLookup(d, lock, Op::InStart, d.inHandles, handle, result);
    if (dev == nullptr) {
        return result;
    }
    if (!dev->started) {
        dev->startTime = timeGetTime();
        dev->started = true;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInStop(HMIDIIN handle) {
    return HaltInput(handle, Op::InStop, Halt::Stop);
}

MMRESULT WINAPI midiInReset(HMIDIIN handle) {
    return HaltInput(handle, Op::InReset, Halt::Reset);
}

MMRESULT WINAPI midiInUnprepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT headerSize) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    const auto dev = CountAndLookup(d, lock, Op::InUnprepare, d.inHandles, handle, result);
    if (dev == nullptr) {
        return result;
    }
    return UnprepareHeader(dev->prepared, header, headerSize);
}

MMRESULT WINAPI midiInClose(HMIDIIN handle) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    const auto dev = CountAndLookup(d, lock, Op::InClose, d.inHandles, handle, result);
    if (dev == nullptr) {
        return result;
    }
    if (dev->removed) {
        if (!PulledMayClose(lock, d.inHandles, handle, dev, result)) {
            return result;
        }
    } else {
        if (!dev->buffers.empty()) {
            return MIDIERR_STILLPLAYING;
        }
        d.leftPrepared += static_cast<uint32_t>(dev->prepared.size());
    }
    dev->started = false;
    CloseDevice(d, lock, d.inHandles, *dev->port, *dev);
    NotifyInput(*dev, MIM_CLOSE, 0, 0);
    return MMSYSERR_NOERROR;
}

}  // extern "C"
