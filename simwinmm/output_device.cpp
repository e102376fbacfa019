// The winmm output functions over virtual output ports. Each open output has a
// driver thread that sends long messages and reports them done (MOM_DONE).
#include <algorithm>

#include "simwinmm/device_calls.h"

namespace simwinmm {
namespace {

// Marks headers done and reports them; returns with the lock held again.
// Counted as completing meanwhile, so that no wait takes the device for settled
// before the app has heard of every block.
void Complete(Lock& lock, OutDevice& dev, const std::vector<MIDIHDR*>& done) {
    for (MIDIHDR* header : done) {
        header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    }
    ++dev.completing;
    lock.unlock();
    if (dev.callback != nullptr) {
        for (MIDIHDR* header : done) {
            dev.callback(reinterpret_cast<HMIDIOUT>(dev.handle), MOM_DONE, dev.instance,
                         reinterpret_cast<DWORD_PTR>(header), 0);
        }
    }
    lock.lock();
    --dev.completing;
}

// The long message at the front has bytes left that the stalled device may
// not send yet.
bool Stalled(const OutDevice& dev) {
    if (dev.unsent.empty() || dev.unsent.front().header == nullptr) {
        return false;
    }
    const OutItem& item = dev.unsent.front();
    return dev.port->stallBudget == 0 && item.offset < item.header->dwBufferLength;
}

// Sends the oldest unsent message, or as much of it as the stall allows.
// Lock held on entry and on return.
void SendNext(Driver& d, Lock& lock, OutDevice& dev) {
    const OutItem item = dev.unsent.front();
    OutPort& port = *dev.port;
    std::vector<uint8_t> bytes;
    uint32_t take = 0;
    if (item.header != nullptr) {
        take = static_cast<uint32_t>(
            std::min<uint64_t>(item.header->dwBufferLength - item.offset, port.stallBudget));
        // The app's buffer is read here, after midiOutLongMsg returned, as a
        // real driver reads it: freeing it before MOM_DONE is caught.
        const auto* data = reinterpret_cast<const uint8_t*>(item.header->lpData) + item.offset;
        lock.unlock();
        bytes.assign(data, data + take);
        lock.lock();
        if (dev.removed) {
            return;  // pulled meanwhile: the pull took the message over
        }
    } else {
        const auto status = static_cast<uint8_t>(item.packed);
        for (uint32_t i = 0; i < ShortLength(status); ++i) {
            bytes.push_back(static_cast<uint8_t>(item.packed >> (8 * i)));
        }
    }
    // Traced as it goes on the wire, and before it can come back in.
    const Trace trace = d.trace;
    if (trace.fn != nullptr) {
        lock.unlock();
        trace(port.name, true, bytes.data(), bytes.size());
        lock.lock();
        if (dev.removed) {
            return;
        }
    }
    // Counted only now, so that the message never looks stalled (or sent)
    // before its bytes are on the wire.
    bool finished = true;
    if (item.header != nullptr) {
        if (port.stallBudget != UINT64_MAX) {
            port.stallBudget -= take;
        }
        dev.unsent.front().offset += take;
        finished = item.offset + take == item.header->dwBufferLength;
    }
    SendFromOutput(port, bytes.data(), static_cast<uint32_t>(bytes.size()), item.header != nullptr);
    std::vector<MIDIHDR*> done;
    if (finished) {
        dev.unsent.pop_front();
        if (item.header != nullptr) {
            if (port.hold) {
                dev.held.push_back(item.header);
            } else {
                done.push_back(item.header);
            }
        }
    }
    Complete(lock, dev, done);
    d.NotifyWaiters();
}

// A stack that sends a block and reports it done on the caller's thread,
// before midiOutLongMsg returns. Nothing is queued ahead of it. Lock held on
// entry and on return.
void SendInline(Driver& d, Lock& lock, OutDevice& dev, MIDIHDR* header) {
    OutPort& port = *dev.port;
    const auto* data = reinterpret_cast<const uint8_t*>(header->lpData);
    const std::vector<uint8_t> bytes(data, data + header->dwBufferLength);
    const Trace trace = d.trace;
    if (trace.fn != nullptr) {
        lock.unlock();
        trace(port.name, true, bytes.data(), bytes.size());
        lock.lock();
    }
    if (!dev.removed) {  // a pull meanwhile took the wire away
        SendFromOutput(port, bytes.data(), static_cast<uint32_t>(bytes.size()), true);
    }
    Complete(lock, dev, {header});
    d.NotifyWaiters();
}

// Completes the `count` oldest held messages. Lock held.
void CompleteHeld(Driver& d, Lock& lock, OutDevice& dev, uint32_t count) {
    std::vector<MIDIHDR*> done;
    while (!dev.held.empty() && done.size() < count) {
        done.push_back(dev.held.front());
        dev.held.pop_front();
    }
    Complete(lock, dev, done);
    d.NotifyWaiters();
}

// What a reset does with the held messages: completes them, or, on a port
// set to lose them, forgets them without a word. Lock held.
void ResetHeld(Driver& d, Lock& lock, OutDevice& dev) {
    if (dev.port->loseOnReset) {
        dev.lost.insert(dev.held.begin(), dev.held.end());
        dev.held.clear();
        d.NotifyWaiters();
        return;
    }
    CompleteHeld(d, lock, dev, UINT32_MAX);
}

// Sends what may still go, cuts a long message the stall holds up (and every
// long one after it, never begun), then resets what is held. Short messages
// queued behind a cut one still go out. Lock held.
void ResetOutput(Driver& d, Lock& lock, OutDevice& dev) {
    while (!dev.unsent.empty()) {
        if (Stalled(dev)) {
            dev.held.push_back(dev.unsent.front().header);
            dev.unsent.pop_front();
        } else {
            SendNext(d, lock, dev);
        }
    }
    ResetHeld(d, lock, dev);
}

void OutputWorker(const std::shared_ptr<OutDevice>& dev) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    while (!dev->worker.quit) {
        if (!dev->unsent.empty() && !Stalled(*dev)) {
            SendNext(d, lock, *dev);
        } else if (dev->resetDone < dev->resetAsked) {
            const uint64_t ticket = dev->resetAsked;
            ResetOutput(d, lock, *dev);
            dev->resetDone = ticket;
            d.NotifyWaiters();
        } else if (dev->releaseDone < dev->releaseAsked) {
            const uint64_t ticket = dev->releaseAsked;
            const uint32_t count = dev->toRelease;
            dev->toRelease = 0;
            CompleteHeld(d, lock, *dev, count);
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
    const auto dev =
        OpenDevice(d, d.outHandles, *d.outputs[deviceId], callback, instance, flags, OutputWorker);
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
    const auto found = CountAndLookup(d, lock, Op::OutShortMsg, d.outHandles, handle, result);
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
    if (!dev->unsent.empty()) {
        // Behind a long message still being sent: it goes, and is traced, in
        // wire order.
        dev->unsent.push_back(OutItem{nullptr, message, 0});
        WakeWorker(dev->worker);
        return MMSYSERR_NOERROR;
    }
    const Trace trace = d.trace;
    if (trace.fn != nullptr) {
        // Traced before it can come back in, so "out" always precedes "in".
        lock.unlock();
        trace(dev->port->name, true, bytes, length);
        lock.lock();
        dev = Lookup(d.outHandles, handle);
        if (dev == nullptr) {
            return MMSYSERR_INVALHANDLE;
        }
    }
    SendFromOutput(*dev->port, bytes, length, false);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutPrepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT headerSize) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    const auto dev = CountAndLookup(d, lock, Op::OutPrepare, d.outHandles, handle, result);
    if (dev == nullptr) {
        return result;
    }
    return PrepareHeader(dev->prepared, header, headerSize);
}

MMRESULT WINAPI midiOutLongMsg(HMIDIOUT handle, LPMIDIHDR header, UINT headerSize) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    const auto dev = CountAndLookup(d, lock, Op::OutLongMsg, d.outHandles, handle, result);
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
    const standin::StackBehaviour& stack = dev->port->stack;
    if (header->dwBufferLength > 0x10000 ||
        (stack.blockLimit != 0 && header->dwBufferLength > stack.blockLimit)) {
        return MMSYSERR_INVALPARAM;  // winmm's 64 KiB limit, or the stack's own
    }
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    if (stack.doneInline != 0 && dev->unsent.empty() && !dev->port->hold &&
        dev->port->stallBudget == UINT64_MAX) {
        SendInline(d, lock, *dev, header);
        return MMSYSERR_NOERROR;
    }
    dev->unsent.push_back(OutItem{header, 0, 0});
    WakeWorker(dev->worker);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutUnprepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT headerSize) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    const auto dev = CountAndLookup(d, lock, Op::OutUnprepare, d.outHandles, handle, result);
    if (dev == nullptr) {
        return result;
    }
    return UnprepareHeader(dev->prepared, header, headerSize);
}

MMRESULT WINAPI midiOutReset(HMIDIOUT handle) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    const auto dev = CountAndLookup(d, lock, Op::OutReset, d.outHandles, handle, result);
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
    // Over a loopback cable, what went out has arrived when the reset returns.
    const InPort* loop = dev->port->loop;
    if (done && loop != nullptr && loop->device != nullptr &&
        !loop->device->worker.OnThisThread()) {
        WaitFor(d, lock, kWorkerDeadline, [&] { return InputIdle(*loop); });
    }
    return done ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

MMRESULT WINAPI midiOutClose(HMIDIOUT handle) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    MMRESULT result;
    const auto dev = CountAndLookup(d, lock, Op::OutClose, d.outHandles, handle, result);
    if (dev == nullptr) {
        return result;
    }
    if (dev->removed) {
        if (!PulledMayClose(lock, d.outHandles, handle, dev, result)) {
            return result;
        }
    } else {
        if (!dev->unsent.empty() || !dev->held.empty()) {
            return MIDIERR_STILLPLAYING;
        }
        for (MIDIHDR* header : dev->prepared) {
            d.leftPrepared += dev->lost.count(header) == 0 ? 1 : 0;
        }
    }
    CloseDevice(d, lock, d.outHandles, *dev->port, *dev);
    if (dev->callback != nullptr) {
        dev->callback(handle, MOM_CLOSE, dev->instance, 0, 0);
    }
    return MMSYSERR_NOERROR;
}

}  // extern "C"
