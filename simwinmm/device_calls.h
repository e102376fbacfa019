// Steps the input and output functions share: finding a device by its handle,
// opening a port, closing it, and answering a caps query.
#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "simwinmm/driver_state.h"

namespace simwinmm {

using Lock = std::unique_lock<std::mutex>;

template <class Device>
using HandleMap = std::unordered_map<uintptr_t, std::shared_ptr<Device>>;

template <class Port>
using PortList = std::vector<std::unique_ptr<Port>>;

template <class Device, class Handle>
std::shared_ptr<Device> Lookup(const HandleMap<Device>& handles, Handle handle) {
    const auto it = handles.find(reinterpret_cast<uintptr_t>(handle));
    return it == handles.end() ? nullptr : it->second;
}

// Counts a call on an open device and finds the device: null, with the result
// to answer, if the call is one made to fail, the handle is unknown, or the
// device was pulled (closes excepted: they decide for themselves). Lock held
// on entry and on return; let go during a pulled device's delay.
template <class Device, class Handle>
std::shared_ptr<Device> CountAndLookup(Driver& d, Lock& lock, Op op,
                                       const HandleMap<Device>& handles, Handle handle,
                                       MMRESULT& result) {
    if (InjectedFailure(d, op, result)) {
        return nullptr;
    }
    auto dev = Lookup(handles, handle);
    if (dev == nullptr) {
        result = MMSYSERR_INVALHANDLE;
        return nullptr;
    }
    if (dev->removed && op != Op::InClose && op != Op::OutClose) {
        result = PulledAnswer(lock, dev->pull);
        return nullptr;
    }
    return dev;
}

// The close of a pulled device: its answer, after its delay. True when the
// close may go ahead (the device still known). Lock held.
template <class Device, class Handle>
bool PulledMayClose(Lock& lock, const HandleMap<Device>& handles, Handle handle,
                    const std::shared_ptr<Device>& dev, MMRESULT& result) {
    result = PulledAnswer(lock, dev->pull);
    if (dev->pull.closeFails) {
        return false;
    }
    if (Lookup(handles, handle) == nullptr) {
        result = MMSYSERR_INVALHANDLE;
        return false;
    }
    result = MMSYSERR_NOERROR;
    return true;
}

// The checks of midiInOpen and midiOutOpen, in order; false, with the result
// to answer, if the port may not be opened. Caller holds the lock.
template <class Handle, class Port>
bool MayOpen(Driver& d, Op op, Handle* handle, UINT deviceId, const PortList<Port>& ports,
             DWORD_PTR callback, DWORD flags, MMRESULT& result) {
    if (handle != nullptr) {
        *handle = nullptr;
    }
    if (InjectedFailure(d, op, result)) {
        return false;
    }
    const DWORD callbackType = flags & 0x00070000;
    // In winmm's order, which answers MMSYSERR_INVALPARAM at two of its steps.
    if (handle == nullptr) {  // NOLINT(bugprone-branch-clone)
        result = MMSYSERR_INVALPARAM;
    } else if (deviceId >= ports.size()) {
        result = MMSYSERR_BADDEVICEID;
    } else if (callbackType != CALLBACK_NULL && callbackType != CALLBACK_FUNCTION) {
        result = MMSYSERR_INVALFLAG;
    } else if (callbackType == CALLBACK_FUNCTION && callback == 0) {
        result = MMSYSERR_INVALPARAM;
    } else if (ports[deviceId]->device != nullptr) {
        result = MMSYSERR_ALLOCATED;
    } else {
        return true;
    }
    return false;
}

// Makes the device of a port that passed MayOpen and starts its driver
// thread. Caller holds the lock.
template <class Device, class Port>
std::shared_ptr<Device> OpenDevice(Driver& d, HandleMap<Device>& handles, Port& port,
                                   DWORD_PTR callback, DWORD_PTR instance, DWORD flags,
                                   void (*worker)(const std::shared_ptr<Device>&)) {
    auto dev = std::make_shared<Device>();
    d.lastHandle += 0x10;
    dev->handle = d.lastHandle;
    dev->port = &port;
    if ((flags & 0x00070000) == CALLBACK_FUNCTION) {
        dev->callback = reinterpret_cast<decltype(dev->callback)>(callback);
    }
    dev->instance = instance;
    dev->worker.thread = std::thread(worker, dev);
    dev->worker.id = dev->worker.thread.get_id();
    handles[dev->handle] = dev;
    port.device = dev;
    return dev;
}

// Forgets a closing device and ends its driver thread. Lock held on entry,
// released on return.
template <class Device, class Port>
void CloseDevice(Driver& d, Lock& lock, HandleMap<Device>& handles, Port& port, Device& dev) {
    handles.erase(dev.handle);
    if (port.device.get() == &dev) {
        port.device.reset();
    }
    dev.worker.quit = true;
    WakeWorker(dev.worker);
    d.NotifyWaiters();
    lock.unlock();
    JoinWorker(dev.worker);
}

// Answers midiInGetDevCapsA and midiOutGetDevCapsA: fills in what both
// directions share over `full` and copies as much as the caller asked for.
// Caller holds the lock.
template <class Caps, class Port>
MMRESULT QueryCaps(Driver& d, Op op, const PortList<Port>& ports, UINT_PTR deviceId, Caps* caps,
                   UINT capsSize, Caps full) {
    MMRESULT result;
    if (InjectedFailure(d, op, result)) {
        return result;
    }
    if (deviceId >= ports.size()) {
        return MMSYSERR_BADDEVICEID;
    }
    if (caps == nullptr || capsSize == 0) {
        return MMSYSERR_INVALPARAM;
    }
    const Port& port = *ports[deviceId];
    if (port.failCaps) {
        return MMSYSERR_ERROR;
    }
    full.wMid = 0xFFFF;  // unmapped manufacturer
    full.wPid = 0xFFFF;
    full.vDriverVersion = 0x0100;
    const size_t nameLength = std::min(port.name.size(), sizeof(full.szPname) - 1);
    std::memcpy(full.szPname, port.name.data(), nameLength);
    std::memcpy(caps, &full, std::min<size_t>(capsSize, sizeof(full)));
    return MMSYSERR_NOERROR;
}

}  // namespace simwinmm
