// On Windows the ports are the system's; under Wine in the tests they are the
// loopback driver's, which can tell when everything sent has come back.
#include "hostsim/console/virtual_ports.h"

#include "loopdrv/control.h"

namespace console {

void WaitForVirtualInputs() {
    // Generous: a loaded machine, or emulation, is slow, not broken.
    constexpr DWORD kDeadlineMs = 10000;
    auto waitIdle = FindLoopbackExport<LoopbackWaitIdleProc>("LoopbackWaitIdle");
    if (waitIdle != nullptr)
        waitIdle(kDeadlineMs);
}

}  // namespace console
