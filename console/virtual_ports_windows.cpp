// On Windows the console reaches the loopback driver (wineloop.drv, which
// winmm loads in this process) through exports of its own: one waits until
// everything sent or injected was delivered, one feeds the input as if the
// bytes came from the wire, one gives the port behaviours of real stacks, one
// pulls its cable. Without that driver there is nothing to wait for, feed,
// shape or pull.
#include "console/virtual_ports.h"

#include "console/wire_text.h"
#include "loopdrv/control.h"

// Needs windows.h, which the driver's header brings, first.
#include <mmsystem.h>

namespace console {
namespace {

// The driver refuses bytes injected while its cable is out; this tells the
// script why in the simulated driver's words.
bool pulled = false;
DWORD waitDeadlineMs = 60000;

// Null with *error when the driver is not loaded or lacks the export.
template <typename Proc>
Proc DriverExport(const char* name, std::string* error) {
    const auto proc = FindLoopbackExport<Proc>(name);
    if (proc == nullptr) {
        *error = Cat("the loopback driver wineloop.drv is not loaded (or has no ", name, ")");
    }
    return proc;
}

}  // namespace

bool SetUpVirtualPorts(const std::vector<PortSpec>& ports, bool /*trace*/, std::string* error) {
    if (ports.empty()) {
        return true;
    }
    // winmm loads its drivers with the first MIDI call.
    midiOutGetNumDevs();
    const auto set = DriverExport<LoopbackSetBehaviourProc>("LoopbackSetBehaviour", error);
    if (set == nullptr) {
        return false;
    }
    if (!set(&ports.front().stack)) {
        *error = "the loopback driver refused the port behaviours";
        return false;
    }
    return true;
}

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
    if (pulled) {
        *error = "the input port \"Loopback\" is unplugged; its messages are lost";
        return false;
    }
    const auto inject = DriverExport<LoopbackInjectProc>("LoopbackInject", error);
    if (inject == nullptr) {
        return false;
    }
    if (!inject(bytes.data(), static_cast<DWORD>(bytes.size()))) {
        *error = "the loopback driver refused the message";
        return false;
    }
    return true;
}

// Only the loopback driver's cable can be pulled: a real device's is the
// user's.
bool PlugVirtualPort(bool plug, const std::string& name, std::string* error) {
    if (name != "Loopback") {
        *error = Cat("no virtual port is named \"", name,
                     "\" (on Windows only the loopback driver's port \"Loopback\")");
        return false;
    }
    midiOutGetNumDevs();  // loads the driver, as in SetUpVirtualPorts
    const auto pull = DriverExport<LoopbackPlugProc>("LoopbackPlug", error);
    if (pull == nullptr) {
        return false;
    }
    if (!pull(plug ? TRUE : FALSE)) {
        *error = Cat("the port \"Loopback\" is ", plug ? "not unplugged" : "already unplugged");
        return false;
    }
    pulled = !plug;
    return true;
}

}  // namespace console
