// The winmm output functions over virtual output ports. Each open output has a
// driver thread that sends long messages and reports them done (MOM_DONE).
#include "simwinmm/device_calls.h"

namespace simwinmm {
namespace {

// Marks headers done and reports them; returns with the lock held again.
void Complete(Lock& lock, OutDevice& dev, const std::vector<MIDIHDR*>& done) {
    for (MIDIHDR* header : done) {
        header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    }
    lock.unlock();
    if (dev.callback != nullptr) {
        for (MIDIHDR* header : done) {
            dev.callback(reinterpret_cast<HMIDIOUT>(dev.handle), MOM_DONE, dev.instance,
                         reinterpret_cast<DWORD_PTR>(header), 0);
        }
    }
    lock.lock();
}

// Sends the oldest unsent message. Lock held on entry and on return.
void SendNext(Driver& d, Lock& lock, OutDevice& dev) {
    const OutItem item = dev.unsent.front();
    const bool traced = item.traced;
    std::vector<uint8_t> bytes;
    if (item.header != nullptr) {
        // The app's buffer is read here, after midiOutLongMsg returned, as a
        // real driver reads it: freeing it before MOM_DONE is caught.
        const auto* data = reinterpret_cast<const uint8_t*>(item.header->lpData);
        const DWORD length = item.header->dwBufferLength;
        lock.unlock();
        bytes.assign(data, data + length);
        lock.lock();
    } else {
        const auto status = static_cast<uint8_t>(item.packed);
        for (uint32_t i = 0; i < ShortLength(status); ++i) {
            bytes.push_back(static_cast<uint8_t>(item.packed >> (8 * i)));
        }
    }
    OutPort& port = *d.outputs[dev.port];
    // Traced before it can come back in, so "out" always precedes "in".
    const Trace trace = d.trace;
    if (trace.fn != nullptr && !traced) {
        lock.unlock();
        trace(port.name, true, bytes.data(), bytes.size());
        lock.lock();
    }
    SendFromOutput(d, port, bytes.data(), static_cast<uint32_t>(bytes.size()),
                   item.header != nullptr);
    dev.unsent.pop_front();
    std::vector<MIDIHDR*> done;
    if (item.header != nullptr) {
        if (port.hold) {
            dev.held.push_back(item.header);
        } else {
            done.push_back(item.header);
        }
    }
    Complete(lock, dev, done);
    d.NotifyWaiters();
}

void CompleteHeld(Driver& d, Lock& lock, OutDevice& dev) {
    std::vector<MIDIHDR*> done;
    done.swap(dev.held);
    Complete(lock, dev, done);
    d.NotifyWaiters();
}

// What a reset does with the held messages: completes them, or, on a port
// set to lose them, forgets them without a word. Lock held.
void ResetHeld(Driver& d, Lock& lock, OutDevice& dev) {
    if (d.outputs[dev.port]->loseOnReset) {
        dev.held.clear();
        d.NotifyWaiters();
        return;
    }
    CompleteHeld(d, lock, dev);
}

// Sends what is queued, then resets what is held. Lock held.
void ResetOutput(Driver& d, Lock& lock, OutDevice& dev) {
    while (!dev.unsent.empty()) {
        SendNext(d, lock, dev);
    }
    ResetHeld(d, lock, dev);
}

void OutputWorker(std::shared_ptr<OutDevice> dev) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    while (!dev->worker.quit) {
        if (!dev->unsent.empty()) {
            SendNext(d, lock, *dev);
        } else if (dev->resetDone < dev->resetAsked) {
            const uint64_t ticket = dev->resetAsked;
            ResetHeld(d, lock, *dev);
            dev->resetDone = ticket;
            d.NotifyWaiters();
        } else if (dev->releaseDone < dev->releaseAsked) {
            const uint64_t ticket = dev->releaseAsked;
            CompleteHeld(d, lock, *dev);
            dev->releaseDone = ticket;
            d.NotifyWaiters();
        } else {
            dev->worker.Sleep(lock);
        }
    }
}

}  // namespace

}  // namespace simwinmm

using namespace simwinmm;

extern "C" {

UINT WINAPI midiOutGetNumDevs(void) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    if (InjectedFailure(d, Op::OutGetNumDevs, result)) {
        return result;
    }
    return static_cast<UINT>(d.outputs.size());
}

MMRESULT WINAPI midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT capsSize) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MIDIOUTCAPSA full{};
    full.wTechnology = 1;  // MOD_MIDIPORT
    full.wChannelMask = 0xFFFF;
    return QueryCaps(d, Op::OutGetDevCaps, d.outputs, deviceId, caps, capsSize, full);
}

MMRESULT WINAPI midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR callback,
                            DWORD_PTR instance, DWORD flags) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    if (!MayOpen(d, Op::OutOpen, handle, deviceId, d.outputs, callback, flags, result)) {
        return result;
    }
    const auto dev = OpenDevice(d, d.outHandles, *d.outputs[deviceId], deviceId, callback, instance,
                                flags, OutputWorker);
    *handle = reinterpret_cast<HMIDIOUT>(dev->handle);
    lock.unlock();
    if (dev->callback != nullptr) {
        dev->callback(*handle, MOM_OPEN, instance, 0, 0);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutShortMsg(HMIDIOUT handle, DWORD message) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    const auto found = CountAndLookup(d, Op::OutShortMsg, d.outHandles, handle, result);
    if (found == nullptr) {
        return result;
    }
    const auto status = static_cast<uint8_t>(message);
    if (status < 0x80) {
        return MMSYSERR_INVALPARAM;  // running status is not supported
    }
    uint8_t bytes[3];
    const uint32_t length = ShortLength(status);
    for (uint32_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<uint8_t>(message >> (8 * i));
    }
    auto dev = found;
    const Trace trace = d.trace;
    if (trace.fn != nullptr) {
        // Traced before it can come back in, so "out" always precedes "in".
        lock.unlock();
        trace(d.outputs[dev->port]->name, true, bytes, length);
        lock.lock();
        dev = Lookup(d.outHandles, handle);
        if (dev == nullptr) {
            return MMSYSERR_INVALHANDLE;
        }
    }
    if (!dev->unsent.empty()) {
        // Behind a long message still being sent: keep the wire order.
        dev->unsent.push_back(OutItem{nullptr, message, trace.fn != nullptr});
        WakeWorker(dev->worker);
        return MMSYSERR_NOERROR;
    }
    SendFromOutput(d, *d.outputs[dev->port], bytes, length, false);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutPrepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT headerSize) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    if (CountAndLookup(d, Op::OutPrepare, d.outHandles, handle, result) == nullptr) {
        return result;
    }
    return PrepareHeader(header, headerSize);
}

MMRESULT WINAPI midiOutLongMsg(HMIDIOUT handle, LPMIDIHDR header, UINT headerSize) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    const auto dev = CountAndLookup(d, Op::OutLongMsg, d.outHandles, handle, result);
    if (dev == nullptr) {
        return result;
    }
    if (!HeaderSizeOk(header, headerSize) || header->lpData == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    result = CheckQueueable(header);
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    if (header->dwBufferLength > 0x10000) {
        return MMSYSERR_INVALPARAM;  // winmm's 64 KiB limit per long message
    }
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    dev->unsent.push_back(OutItem{header, 0, false});
    WakeWorker(dev->worker);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutUnprepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT headerSize) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    if (CountAndLookup(d, Op::OutUnprepare, d.outHandles, handle, result) == nullptr) {
        return result;
    }
    return UnprepareHeader(header, headerSize);
}

MMRESULT WINAPI midiOutReset(HMIDIOUT handle) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    const auto dev = CountAndLookup(d, Op::OutReset, d.outHandles, handle, result);
    if (dev == nullptr) {
        return result;
    }
    if (dev->worker.OnThisThread()) {
        ResetOutput(d, lock, *dev);
        return MMSYSERR_NOERROR;
    }
    const uint64_t ticket = ++dev->resetAsked;
    WakeWorker(dev->worker);
    const bool done = WaitFor(d, lock, kWorkerDeadline,
                              [&] { return dev->resetDone >= ticket || dev->worker.quit; });
    return done ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

MMRESULT WINAPI midiOutClose(HMIDIOUT handle) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    const auto dev = CountAndLookup(d, Op::OutClose, d.outHandles, handle, result);
    if (dev == nullptr) {
        return result;
    }
    if (!dev->unsent.empty() || !dev->held.empty()) {
        return MIDIERR_STILLPLAYING;
    }
    CloseDevice(d, lock, d.outHandles, *d.outputs[dev->port], *dev);
    if (dev->callback != nullptr) {
        dev->callback(handle, MOM_CLOSE, dev->instance, 0, 0);
    }
    return MMSYSERR_NOERROR;
}

}  // extern "C"
