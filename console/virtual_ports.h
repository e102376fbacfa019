// The MIDI ports the console's scripts meet. Off Windows: the simulated
// driver's virtual ports, as --ports and --trace ask for them. On Windows:
// the system's devices, among them the loopback driver's port when it is
// installed (under Wine in the tests); only it can be waited for and fed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/options.h"

namespace console {

// Off Windows: replaces every virtual port by `ports` (the loopback pair
// "Loopback" when empty), with their behaviours, and turns the trace to
// standard error (console::ErrorLines) on or off. On Windows: gives the loopback driver's port the
// behaviours asked for (`trace` must be false). False with *error when that
// cannot be done.
bool SetUpVirtualPorts(const std::vector<PortSpec>& ports, bool trace, std::string* error);

#ifndef _WIN32
// Closes what is still open, removes the ports and the trace.
void TearDownVirtualPorts();
// The virtual input port named `name` (case-sensitive), numbered from 0
// among the inputs as --ports set them up (unplugging renumbers the driver's
// devices, not these); -1 when there is none.
int32_t FindVirtualInput(const std::string& name);
#endif

// Pulls the cable of every virtual port named `name` (plug false), or plugs
// them back (plug true) after the other ports, closed. False with *error when
// no port has that name, or it already is in that state. On Windows the only
// one is the loopback driver's "Loopback", which stays in the port lists
// while pulled, as a device that cannot describe itself.
bool PlugVirtualPort(bool plug, const std::string& name, std::string* error);

// How long SettleVirtualPorts waits before it gives up (default 60 s).
void SetWaitDeadline(uint32_t ms);
// Waits until the ports are idle: everything sent, looped back or injected
// so far delivered, and every block sent reported done, so that what the
// script does next finds the same state on any machine. At the deadline:
// false with *error saying which port was still at what.
bool SettleVirtualPorts(std::string* error);
// One MIDI message's wire bytes into input `input` (0: the first; on
// Windows only the loopback port), as if they came from the wire. False with
// *error when it cannot be done, as while that port is unplugged.
bool InjectIntoVirtualInput(int32_t input, const std::vector<uint8_t>& bytes, std::string* error);

}  // namespace console
