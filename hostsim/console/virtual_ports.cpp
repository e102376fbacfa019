#include "hostsim/console/virtual_ports.h"

#ifndef _WIN32

#include <cstdint>
#include <cstdio>
#include <string>

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
};
std::vector<VirtualPort> ports;
std::vector<size_t> inputOrder;  // indices into `ports`; position = driver index
std::vector<size_t> inputIds;    // indices into `ports`, by FindVirtualInput's number

void AddPort(const std::string& name, bool input) {
    ports.push_back(VirtualPort{name, input, true});
    if (input) {
        inputOrder.push_back(ports.size() - 1);
        inputIds.push_back(ports.size() - 1);
    }
}

void Forget() {
    ports.clear();
    inputOrder.clear();
    inputIds.clear();
}

// Runs on the driver thread for incoming messages: formats on the stack and
// holds stderr's lock so that lines never interleave.
void TraceLine(const char* port, bool out, const uint8_t* bytes, size_t count, void*) {
    static const char kHex[] = "0123456789ABCDEF";
    char line[512];
    size_t used = 0;
    flockfile(stderr);
    std::fprintf(stderr, "%s %s:", port, out ? "out" : "in");
    for (size_t i = 0; i < count; ++i) {
        if (used + 3 > sizeof line) {
            std::fwrite(line, 1, used, stderr);
            used = 0;
        }
        line[used++] = ' ';
        line[used++] = kHex[bytes[i] >> 4];
        line[used++] = kHex[bytes[i] & 0x0F];
    }
    std::fwrite(line, 1, used, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    funlockfile(stderr);
}

}  // namespace

void SetUpVirtualPorts(const std::vector<PortSpec>& specs, bool trace) {
    simwinmm::Reset();
    Forget();
    if (specs.empty()) {
        simwinmm::AddLoopbackPort("Loopback");
        AddPort("Loopback", true);
        AddPort("Loopback", false);
    }
    for (const PortSpec& port : specs) {
        switch (port.kind) {
            case PortSpec::Kind::Loopback:
                simwinmm::AddLoopbackPort(port.name);
                AddPort(port.name, true);
                AddPort(port.name, false);
                break;
            case PortSpec::Kind::Input:
                simwinmm::AddInputPort(port.name);
                AddPort(port.name, true);
                break;
            case PortSpec::Kind::Output:
                simwinmm::AddOutputPort(port.name);
                AddPort(port.name, false);
                break;
        }
    }
    simwinmm::SetTrace(trace ? TraceLine : nullptr, nullptr);
}

void WaitForVirtualInputs() {
    for (size_t i = 0; i < inputOrder.size(); ++i) {
        simwinmm::WaitIdle(static_cast<uint32_t>(i), 2000);
    }
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

// A short message goes as winmm packs it; a system-exclusive one is split
// over the driver's buffers as a real driver does.
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
        simwinmm::InjectSysEx(port, bytes);
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
