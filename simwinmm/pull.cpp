// Pulling a cable: ports that go away while open, and come back.
#include <thread>

#include "simwinmm/driver_state.h"

namespace simwinmm {
namespace {

using Lock = std::unique_lock<std::mutex>;

void PullInput(Driver& d, InDevice& dev) {
    dev.removed = true;
    dev.pull = d.pullBehaviour;
    dev.started = false;
    dev.events.clear();
    dev.blob.clear();
    if (dev.pull.returnBuffers && !dev.buffers.empty()) {
        ++dev.resetAsked;  // the driver thread hands every buffer back
        WakeWorker(dev.worker);
    }
}

void PullOutput(Driver& d, OutDevice& dev) {
    dev.removed = true;
    dev.pull = d.pullBehaviour;
    // The wire is gone: nothing more goes out. What was taken, sent or not,
    // is handed back in order, or never.
    std::deque<MIDIHDR*> taken;
    taken.swap(dev.held);
    for (const OutItem& item : dev.unsent) {
        if (item.header != nullptr) {
            taken.push_back(item.header);
        }
    }
    dev.unsent.clear();
    if (dev.pull.returnBuffers) {
        dev.held.swap(taken);
        dev.toRelease = UINT32_MAX;
        ++dev.releaseAsked;
        WakeWorker(dev.worker);
    } else {
        dev.lost.insert(taken.begin(), taken.end());
    }
}

template <class Port, class Pull>
bool PullPorts(Driver& d, std::vector<std::unique_ptr<Port>>& ports,
               std::vector<std::unique_ptr<Port>>& pulled, const std::string& name, Pull pull) {
    bool found = false;
    for (size_t i = 0; i < ports.size();) {
        if (ports[i]->name != name) {
            ++i;
            continue;
        }
        found = true;
        std::unique_ptr<Port> port = std::move(ports[i]);
        ports.erase(ports.begin() + static_cast<ptrdiff_t>(i));
        if (port->device != nullptr) {
            pull(d, *port->device);
            port->device.reset();
        }
        pulled.push_back(std::move(port));
    }
    return found;
}

template <class Port>
bool Restore(std::vector<std::unique_ptr<Port>>& ports, std::vector<std::unique_ptr<Port>>& pulled,
             const std::string& name) {
    bool found = false;
    for (size_t i = 0; i < pulled.size();) {
        if (pulled[i]->name != name) {
            ++i;
            continue;
        }
        found = true;
        ports.push_back(std::move(pulled[i]));
        pulled.erase(pulled.begin() + static_cast<ptrdiff_t>(i));
    }
    return found;
}

}  // namespace

bool UnplugLocked(Driver& d, const std::string& name) {
    const bool inputs = PullPorts(d, d.inputs, d.pulledInputs, name, PullInput);
    const bool outputs = PullPorts(d, d.outputs, d.pulledOutputs, name, PullOutput);
    d.NotifyWaiters();
    return inputs || outputs;
}

MMRESULT PulledAnswer(Lock& lock, const PullBehaviour& pull) {
    const PullBehaviour answer = pull;  // the device may go while the lock is let go
    if (answer.delayMs > 0) {
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(answer.delayMs));
        lock.lock();
    }
    return answer.result;
}

bool UnplugPort(const std::string& name) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    if (!UnplugLocked(d, name)) {
        return false;
    }
    // Returns once what the pulled devices hand back has been handed back.
    WaitFor(d, lock, kWorkerDeadline, [&] {
        for (const auto& [handle, dev] : d.inHandles) {
            if (dev->removed && !dev->worker.quit && dev->resetDone < dev->resetAsked) {
                return false;
            }
        }
        for (const auto& [handle, dev] : d.outHandles) {
            if (dev->removed && !dev->worker.quit && dev->releaseDone < dev->releaseAsked) {
                return false;
            }
        }
        return true;
    });
    return true;
}

bool ReplugPort(const std::string& name) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    const bool inputs = Restore(d.inputs, d.pulledInputs, name);
    const bool outputs = Restore(d.outputs, d.pulledOutputs, name);
    return inputs || outputs;
}

void SetPullBehaviour(const PullBehaviour& behaviour) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    d.pullBehaviour = behaviour;
}

void UnplugOnCall(const std::string& name, const std::string& operation, uint32_t nth) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    for (size_t i = 0; i < kOpCount; ++i) {
        if (operation == kOpNames[i] && nth > 0) {
            d.pullTriggers.push_back(Driver::PullTrigger{
                name, static_cast<Op>(i), static_cast<uint32_t>(d.faults.Count(i)) + nth});
        }
    }
}

uint32_t PulledDevicesOpen() {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    uint32_t count = 0;
    for (const auto& [handle, dev] : d.inHandles) {
        count += dev->removed ? 1 : 0;
    }
    for (const auto& [handle, dev] : d.outHandles) {
        count += dev->removed ? 1 : 0;
    }
    return count;
}

void LetPulledDevicesClose() {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    for (const auto& [handle, dev] : d.inHandles) {
        dev->pull.closeFails = false;
    }
    for (const auto& [handle, dev] : d.outHandles) {
        dev->pull.closeFails = false;
    }
}

}  // namespace simwinmm
