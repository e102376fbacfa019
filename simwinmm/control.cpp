// The control API: ports, faults, holds, injection, recordings, trace.
#include "simwinmm/control.h"

#include <algorithm>

#include "simwinmm/driver_state.h"

namespace simwinmm {
namespace {

using Lock = std::unique_lock<std::mutex>;

constexpr std::chrono::milliseconds kControlDeadline{5000};

InPort* Input(Driver& d, uint32_t input) {
    return input < d.inputs.size() ? d.inputs[input].get() : nullptr;
}

OutPort* Output(Driver& d, uint32_t output) {
    return output < d.outputs.size() ? d.outputs[output].get() : nullptr;
}

int OpIndex(const std::string& name) {
    for (size_t i = 0; i < kOpCount; ++i) {
        if (name == kOpNames[i]) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void Inject(uint32_t input, InKind kind, DWORD packed, const std::vector<uint8_t>& bytes) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    if (InPort* port = Input(d, input)) {
        QueueInput(*port, kind, packed, bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
}

}  // namespace

void Reset() {
    Driver& d = TheDriver();
    std::vector<std::shared_ptr<InDevice>> inputs;
    std::vector<std::shared_ptr<OutDevice>> outputs;
    {
        Lock lock(d.mu);
        for (auto& [handle, dev] : d.inHandles) {
            dev->started = false;
            dev->worker.quit = true;
            WakeWorker(dev->worker);
            inputs.push_back(dev);
        }
        for (auto& [handle, dev] : d.outHandles) {
            dev->worker.quit = true;
            WakeWorker(dev->worker);
            outputs.push_back(dev);
        }
        d.inHandles.clear();
        d.outHandles.clear();
        d.NotifyWaiters();
    }
    // The app's callbacks are not told: the app may be gone already.
    for (auto& dev : inputs) {
        JoinWorker(dev->worker);
    }
    for (auto& dev : outputs) {
        JoinWorker(dev->worker);
    }
    {
        Lock lock(d.mu);
        d.inputs.clear();
        d.outputs.clear();
        d.pulledInputs.clear();
        d.pulledOutputs.clear();
        d.leftPrepared = 0;
        d.faults.Reset();
        d.lastCall.fill(0);
        d.trace = Trace{};
        d.pullBehaviour = PullBehaviour{};
        d.pullTriggers.clear();
    }
    UseRealClock();
}

uint32_t AddInputPort(const std::string& name) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    d.inputs.push_back(std::make_unique<InPort>());
    d.inputs.back()->name = name;
    return static_cast<uint32_t>(d.inputs.size() - 1);
}

uint32_t AddOutputPort(const std::string& name) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    d.outputs.push_back(std::make_unique<OutPort>());
    d.outputs.back()->name = name;
    return static_cast<uint32_t>(d.outputs.size() - 1);
}

PortPair AddLoopbackPort(const std::string& name) {
    const PortPair pair{AddInputPort(name), AddOutputPort(name)};
    Driver& d = TheDriver();
    Lock lock(d.mu);
    d.inputs[pair.input]->loop = d.outputs[pair.output].get();
    d.outputs[pair.output]->loop = d.inputs[pair.input].get();
    return pair;
}

void SetInputStack(uint32_t input, const standin::StackBehaviour& stack) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    if (InPort* port = Input(d, input)) {
        port->stack = stack;
    }
}

void SetOutputStack(uint32_t output, const standin::StackBehaviour& stack) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    if (OutPort* port = Output(d, output)) {
        port->stack = stack;
    }
}

void FailInputCaps(uint32_t input, bool fail) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    if (InPort* port = Input(d, input)) {
        port->failCaps = fail;
    }
}

void FailOutputCaps(uint32_t output, bool fail) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    if (OutPort* port = Output(d, output)) {
        port->failCaps = fail;
    }
}

void FailCall(const std::string& operation, uint32_t nth, uint32_t result) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    d.faults.Fail(operation, nth, result);
}

uint32_t CallCount(const std::string& operation) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    return static_cast<uint32_t>(d.faults.Count(operation));
}

uint64_t LastCallOrder(const std::string& operation) {
    const int op = OpIndex(operation);
    if (op < 0) {
        return 0;
    }
    Driver& d = TheDriver();
    Lock lock(d.mu);
    return d.lastCall[static_cast<size_t>(op)];
}

std::vector<uint8_t> SentBytes(uint32_t output) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    OutPort* port = Output(d, output);
    if (port == nullptr) {
        return {};
    }
    // Long messages are sent by the driver thread; let it catch up first.
    WaitFor(d, lock, kControlDeadline, [&] { return OutputIdle(*port); });
    const size_t keep = std::min(port->sent.size(), port->sentLimit);
    return {port->sent.end() - static_cast<ptrdiff_t>(keep), port->sent.end()};
}

void ClearSentBytes(uint32_t output) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    if (OutPort* port = Output(d, output)) {
        WaitFor(d, lock, kControlDeadline, [&] { return OutputIdle(*port); });
        port->sent.clear();
    }
}

void HoldOutputDone(uint32_t output, bool hold) {
    {
        Driver& d = TheDriver();
        Lock lock(d.mu);
        OutPort* port = Output(d, output);
        if (port == nullptr) {
            return;
        }
        port->hold = hold;
    }
    if (!hold) {
        ReleaseOutputDone(output);
    }
}

void LoseOutputDoneOnReset(uint32_t output, bool lose) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    if (OutPort* port = Output(d, output)) {
        port->loseOnReset = lose;
    }
}

void ReleaseOldestOutputDone(uint32_t output, uint32_t count) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    OutPort* port = Output(d, output);
    if (port == nullptr || port->device == nullptr) {
        return;
    }
    // Let messages being sent reach the held list first, then release them
    // and wait for their MOM_DONE callbacks to finish.
    WaitFor(d, lock, kControlDeadline, [&] { return OutputIdle(*port); });
    const std::shared_ptr<OutDevice> dev = port->device;
    if (dev == nullptr || dev->held.empty() || count == 0) {
        return;
    }
    const uint64_t ticket = ++dev->releaseAsked;
    dev->toRelease = std::max(dev->toRelease, count);
    WakeWorker(dev->worker);
    if (!dev->worker.OnThisThread()) {
        WaitFor(d, lock, kControlDeadline,
                [&] { return dev->releaseDone >= ticket || dev->worker.quit; });
    }
}

void ReleaseOutputDone(uint32_t output) {
    ReleaseOldestOutputDone(output, UINT32_MAX);
}

void StallOutput(uint32_t output, uint32_t afterBytes) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    if (OutPort* port = Output(d, output)) {
        port->stallBudget = afterBytes;
    }
}

void ResumeOutput(uint32_t output) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    if (OutPort* port = Output(d, output)) {
        port->stallBudget = UINT64_MAX;
        if (port->device != nullptr) {
            WakeWorker(port->device->worker);
        }
    }
}

void LimitSentBytes(uint32_t output, size_t limit) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    if (OutPort* port = Output(d, output)) {
        port->sentLimit = limit;
        if (port->sent.size() > limit) {
            port->sent.erase(port->sent.begin(), port->sent.end() - static_cast<ptrdiff_t>(limit));
        }
    }
}

uint32_t PreparedOutputHeaders(uint32_t output) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    OutPort* port = Output(d, output);
    if (port == nullptr || port->device == nullptr) {
        return 0;
    }
    uint32_t count = 0;
    for (MIDIHDR* header : port->device->prepared) {
        count += port->device->lost.count(header) == 0 ? 1 : 0;
    }
    return count;
}

uint32_t HeadersLeftPrepared() {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    return d.leftPrepared;
}

uint32_t PendingLongMessages(uint32_t output) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    OutPort* port = Output(d, output);
    if (port == nullptr || port->device == nullptr) {
        return 0;
    }
    uint32_t count = static_cast<uint32_t>(port->device->held.size());
    for (const OutItem& item : port->device->unsent) {
        count += item.header != nullptr ? 1 : 0;
    }
    return count;
}

void InjectShort(uint32_t input, uint32_t packed) {
    Inject(input, InKind::Short, packed, {});
}

void InjectSysEx(uint32_t input, const std::vector<uint8_t>& bytes) {
    Inject(input, InKind::SysEx, 0, bytes);
}

void InjectChunk(uint32_t input, const std::vector<uint8_t>& bytes) {
    Inject(input, InKind::Chunk, 0, bytes);
}

void InjectWire(uint32_t input, const std::vector<uint8_t>& bytes) {
    Inject(input, InKind::Stream, 0, bytes);
}

void InjectLongError(uint32_t input, const std::vector<uint8_t>& bytes) {
    Inject(input, InKind::LongError, 0, bytes);
}

bool WaitIdle(uint32_t input, uint32_t timeoutMs) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    InPort* port = Input(d, input);
    if (port == nullptr) {
        return true;
    }
    return WaitFor(d, lock, std::chrono::milliseconds(timeoutMs), [&] { return InputIdle(*port); });
}

bool WaitSettled(uint32_t timeoutMs, std::string* busy) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    const auto settled = [&] {
        for (const auto& port : d.inputs) {
            if (!InputIdle(*port)) {
                return false;
            }
        }
        for (const auto& port : d.outputs) {
            if (!OutputSettled(*port)) {
                return false;
            }
        }
        return true;
    };
    if (WaitFor(d, lock, std::chrono::milliseconds(timeoutMs), settled)) {
        return true;
    }
    busy->clear();
    for (const auto& port : d.inputs) {
        if (!InputIdle(*port)) {
            busy->append(busy->empty() ? "" : "; ")
                .append("input \"" + port->name + "\" still delivering");
        }
    }
    for (const auto& port : d.outputs) {
        if (OutputSettled(*port)) {
            continue;
        }
        const OutDevice& dev = *port->device;
        size_t blocks = dev.held.size();
        for (const OutItem& item : dev.unsent) {
            blocks += item.header != nullptr ? 1 : 0;
        }
        busy->append(busy->empty() ? "" : "; ")
            .append("output \"" + port->name + "\": " + std::to_string(blocks) +
                    (blocks == 1 ? " block" : " blocks") + " not yet reported done");
    }
    return false;
}

uint32_t QueuedInputBuffers(uint32_t input) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    InPort* port = Input(d, input);
    if (port == nullptr || port->device == nullptr) {
        return 0;
    }
    return static_cast<uint32_t>(port->device->buffers.size());
}

void SetTrace(TraceFn trace, void* context) {
    Driver& d = TheDriver();
    Lock lock(d.mu);
    d.trace = Trace{trace, context};
}

}  // namespace simwinmm
