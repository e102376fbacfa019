#include "console/virtual_ports.h"

#ifndef _WIN32

#include <cstdint>
#include <cstdio>
#include <string>

#include "console/console_clock.h"
#include "console/error_lines.h"
#include "simwinmm/control.h"

namespace console {
namespace {

// Every port as --ports set it up, and the input ports in the driver's
// order: an unplugged port leaves the driver's numbering, and comes back after
// the others.
struct VirtualPort {
    std::string name;
    bool input;
    bool plugged;
    simwinmm::PullBehaviour pull;  // how its device answers once unplugged
};
std::vector<VirtualPort> ports;
std::vector<size_t> inputOrder;  // indices into `ports`; position = driver index
std::vector<size_t> inputIds;    // indices into `ports`, by FindVirtualInput's number

// Mirrors a port added to the driver, and gives its device the behaviours asked for.
void AddPort(const PortSpec& spec, bool input, uint32_t device) {
    simwinmm::PullBehaviour pull;
    pull.result = spec.pullResult;
    pull.delayMs = spec.pullCostMs;
    ports.push_back(VirtualPort{spec.name, input, true, pull});
    if (input) {
        inputOrder.push_back(ports.size() - 1);
        inputIds.push_back(ports.size() - 1);
        simwinmm::SetInputStack(device, spec.stack);
        simwinmm::FailInputCaps(device, spec.capsFail);
    } else {
        simwinmm::SetOutputStack(device, spec.stack);
        simwinmm::FailOutputCaps(device, spec.capsFail);
        simwinmm::HoldOutputDone(device, spec.holdDone);
    }
}

void Forget() {
    ports.clear();
    inputOrder.clear();
    inputIds.clear();
}

// Runs on the driver threads: only queues, so a slow reader of standard
// error never holds a delivery up.
void TraceLine(const char* port, bool out, const uint8_t* bytes, size_t count, void*) {
    ErrorLines::Instance().Trace(
        TraceRecord{port, out, ClockNow(), std::vector<uint8_t>(bytes, bytes + count)});
}

uint32_t waitDeadlineMs = 60000;

}  // namespace

bool SetUpVirtualPorts(const std::vector<PortSpec>& specs, bool trace, std::string* /*error*/) {
    simwinmm::Reset();
    Forget();
    const std::vector<PortSpec> loopback = {
        PortSpec{PortSpec::Kind::Loopback, "Loopback", {}, false, 0, 6}};
    for (const PortSpec& port : specs.empty() ? loopback : specs) {
        switch (port.kind) {
            case PortSpec::Kind::Loopback: {
                const simwinmm::PortPair pair = simwinmm::AddLoopbackPort(port.name);
                AddPort(port, true, pair.input);
                AddPort(port, false, pair.output);
                break;
            }
            case PortSpec::Kind::Input:
                AddPort(port, true, simwinmm::AddInputPort(port.name));
                break;
            case PortSpec::Kind::Output:
                AddPort(port, false, simwinmm::AddOutputPort(port.name));
                break;
        }
    }
    simwinmm::SetTrace(trace ? TraceLine : nullptr, nullptr);
    return true;
}

void SetWaitDeadline(uint32_t ms) {
    waitDeadlineMs = ms;
}

bool SettleVirtualPorts(std::string* error) {
    std::string busy;
    if (simwinmm::WaitSettled(waitDeadlineMs, &busy)) {
        return true;
    }
    *error = "the virtual ports were still busy after " + std::to_string(waitDeadlineMs / 1000) +
             " s (" + busy + ")";
    return false;
}

void TearDownVirtualPorts() {
    simwinmm::SetTrace(nullptr, nullptr);
    simwinmm::Reset();
    Forget();
}

int32_t FindVirtualInput(const std::string& name) {
    for (size_t i = 0; i < inputIds.size(); ++i) {
        if (ports[inputIds[i]].name == name) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

bool PlugVirtualPort(bool plug, const std::string& name, std::string* error) {
    bool known = false;
    bool inState = false;
    for (const VirtualPort& port : ports) {
        if (port.name == name) {
            known = true;
            inState = inState || port.plugged == plug;
        }
    }
    if (!known) {
        *error = "no virtual port is named \"" + name + "\"";
        return false;
    }
    if (inState) {
        *error = "the port \"" + name + "\" is " + (plug ? "not unplugged" : "already unplugged");
        return false;
    }
    if (!plug) {
        for (const VirtualPort& port : ports) {
            if (port.name == name) {
                simwinmm::SetPullBehaviour(port.pull);
            }
        }
    }
    const bool done = plug ? simwinmm::ReplugPort(name) : simwinmm::UnplugPort(name);
    if (!done) {
        *error = "the simulated driver has no " + std::string(plug ? "pulled " : "") +
                 "port named \"" + name + "\"";
        return false;
    }
    // Mirror the driver: the inputs of that name leave its numbering, or come
    // back after the others in the order they had.
    if (plug) {
        for (size_t i = 0; i < ports.size(); ++i) {
            if (ports[i].name == name && ports[i].input) {
                inputOrder.push_back(i);
            }
        }
    } else {
        std::vector<size_t> remaining;
        for (size_t i : inputOrder) {
            if (ports[i].name != name) {
                remaining.push_back(i);
            }
        }
        inputOrder.swap(remaining);
    }
    for (VirtualPort& port : ports) {
        if (port.name == name) {
            port.plugged = plug;
        }
    }
    return true;
}

// A short message goes as winmm packs it; a system-exclusive one comes off
// the wire into the driver's buffers, as the port's stack hands them back.
bool InjectIntoVirtualInput(int32_t input, const std::vector<uint8_t>& bytes, std::string* error) {
    if (input < 0 || static_cast<size_t>(input) >= inputIds.size()) {
        *error = "there is no such virtual input port";
        return false;
    }
    if (bytes.empty()) {
        *error = "an empty message";
        return false;
    }
    const size_t id = inputIds[static_cast<size_t>(input)];
    uint32_t port = 0;
    while (port < inputOrder.size() && inputOrder[port] != id) {
        ++port;
    }
    if (port == inputOrder.size()) {
        *error = "the input port \"" + ports[id].name + "\" is unplugged; its messages are lost";
        return false;
    }
    if (bytes[0] == 0xF0) {
        simwinmm::InjectWire(port, bytes);
        return true;
    }
    uint32_t packed = 0;
    for (size_t i = 0; i < bytes.size() && i < 3; ++i) {
        packed |= uint32_t{bytes[i]} << (8 * i);
    }
    simwinmm::InjectShort(port, packed);
    return true;
}

}  // namespace console

#endif
