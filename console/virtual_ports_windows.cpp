// On Windows the console reaches the loopback driver (wineloop.drv, which
// winmm loads in this process) through exports of its own: one waits until
// everything sent or injected was delivered, one feeds the input as if the
// bytes came from the wire, one gives the port behaviours of real stacks.
// Without that driver there is nothing to wait for, feed or shape.
#include "console/virtual_ports.h"

#include "loopdrv/control.h"

// Needs windows.h, which the driver's header brings, first.
#include <mmsystem.h>

namespace console {

bool SetUpVirtualPorts(const std::vector<PortSpec>& ports, bool /*trace*/, std::string* error) {
    if (ports.empty()) {
        return true;
    }
    // winmm loads its drivers with the first MIDI call.
    midiOutGetNumDevs();
    const auto set = FindLoopbackExport<LoopbackSetBehaviourProc>("LoopbackSetBehaviour");
    if (set == nullptr || !set(&ports.front().stack)) {
        *error = "the loopback driver wineloop.drv is not loaded (or has no LoopbackSetBehaviour)";
        return false;
    }
    return true;
}

namespace {
DWORD waitDeadlineMs = 60000;
}  // namespace

void SetWaitDeadline(uint32_t ms) {
    waitDeadlineMs = ms;
}

// The loopback driver hands each block back (MOM_DONE) before it counts as
// idle, so idle is settled here.
bool SettleVirtualPorts(std::string* error) {
    const auto wait = FindLoopbackExport<LoopbackWaitIdleProc>("LoopbackWaitIdle");
    if (wait == nullptr || wait(waitDeadlineMs)) {
        return true;
    }
    *error = "the loopback port \"Loopback\" was still delivering after " +
             std::to_string(waitDeadlineMs / 1000) + " s";
    return false;
}

bool InjectIntoVirtualInput(int32_t input, const std::vector<uint8_t>& bytes, std::string* error) {
    if (input != 0) {
        *error = "only the loopback port's input can be fed on Windows";
        return false;
    }
    const auto inject = FindLoopbackExport<LoopbackInjectProc>("LoopbackInject");
    if (inject == nullptr) {
        *error = "the loopback driver wineloop.drv is not loaded (or has no LoopbackInject)";
        return false;
    }
    if (!inject(bytes.data(), static_cast<DWORD>(bytes.size()))) {
        *error = "the loopback driver refused the message";
        return false;
    }
    return true;
}

// A real device's cable is the user's to pull: the console has no ports of
// its own to take away here.
bool PlugVirtualPort(bool, const std::string&, std::string* error) {
    *error = "the Windows build has no virtual ports (only the simulated driver has them)";
    return false;
}

}  // namespace console
