// The simulated driver's ports, as --ports and --trace ask for them. Off
// Windows only: on Windows the system's own devices are used.
#pragma once

namespace console {

// Lets the driver threads deliver what was sent or looped back so far: off
// Windows simwinmm's, on Windows the loopback driver's when it is loaded.
void WaitForVirtualInputs();

}  // namespace console

#ifndef _WIN32

#include <vector>

#include "hostsim/console/options.h"

namespace console {

// Replaces every virtual port by `ports` (the loopback pair "Loopback" when
// empty) and turns the trace to standard error on or off.
void SetUpVirtualPorts(const std::vector<PortSpec>& ports, bool trace);
// Closes what is still open, removes the ports and the trace.
void TearDownVirtualPorts();

}  // namespace console

#endif
