#include "hostsim/console/virtual_ports.h"

#ifndef _WIN32

#include <cstdint>
#include <cstdio>
#include <string>

#include "simwinmm/control.h"

namespace console {
namespace {

std::vector<uint32_t> inputs;
std::vector<std::string> inputNames;

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

void SetUpVirtualPorts(const std::vector<PortSpec>& ports, bool trace) {
    simwinmm::Reset();
    inputs.clear();
    inputNames.clear();
    if (ports.empty()) {
        inputs.push_back(simwinmm::AddLoopbackPort("Loopback").input);
        inputNames.emplace_back("Loopback");
    }
    for (const PortSpec& port : ports) {
        switch (port.kind) {
            case PortSpec::Kind::Loopback:
                inputs.push_back(simwinmm::AddLoopbackPort(port.name).input);
                inputNames.push_back(port.name);
                break;
            case PortSpec::Kind::Input:
                inputs.push_back(simwinmm::AddInputPort(port.name));
                inputNames.push_back(port.name);
                break;
            case PortSpec::Kind::Output:
                simwinmm::AddOutputPort(port.name);
                break;
        }
    }
    simwinmm::SetTrace(trace ? TraceLine : nullptr, nullptr);
}

void WaitForVirtualInputs() {
    for (uint32_t input : inputs) {
        simwinmm::WaitIdle(input, 2000);
    }
}

void TearDownVirtualPorts() {
    simwinmm::SetTrace(nullptr, nullptr);
    simwinmm::Reset();
    inputs.clear();
    inputNames.clear();
}

int32_t FindVirtualInput(const std::string& name) {
    for (size_t i = 0; i < inputNames.size(); ++i) {
        if (inputNames[i] == name) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

// A short message goes as winmm packs it; a system-exclusive one is split
// over the driver's buffers as a real driver does.
bool InjectIntoVirtualInput(int32_t input, const std::vector<uint8_t>& bytes, std::string* error) {
    if (input < 0 || static_cast<size_t>(input) >= inputs.size()) {
        *error = "there is no such virtual input port";
        return false;
    }
    if (bytes.empty()) {
        *error = "an empty message";
        return false;
    }
    const uint32_t port = inputs[static_cast<size_t>(input)];
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
