// The MIDI ports the console's scripts meet. Off Windows: the simulated
// driver's virtual ports, as --ports and --trace ask for them. On Windows:
// the system's devices, among them the loopback driver's port when it is
// installed (under Wine in the tests); only it can be waited for and fed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hostsim/console/options.h"

namespace console {

#ifndef _WIN32
// Replaces every virtual port by `ports` (the loopback pair "Loopback" when
// empty) and turns the trace to standard error on or off.
void SetUpVirtualPorts(const std::vector<PortSpec>& ports, bool trace);
// Closes what is still open, removes the ports and the trace.
void TearDownVirtualPorts();
// The virtual input port named `name` (case-sensitive), numbered from 0
// among the inputs; -1 when there is none.
int32_t FindVirtualInput(const std::string& name);
#endif

// Lets the driver deliver what was sent, looped back or injected so far.
void WaitForVirtualInputs();
// One MIDI message's wire bytes into input `input` (0: the first; on
// Windows only the loopback port), as if they came from the wire. False with
// *error when it cannot be done.
bool InjectIntoVirtualInput(int32_t input, const std::vector<uint8_t>& bytes, std::string* error);

}  // namespace console
