// On Windows the console reaches the loopback driver (wineloop.drv, which
// winmm loads in this process) through two exports of its own: one waits
// until everything sent or injected was delivered, one feeds the input as if
// the bytes came from the wire. Without that driver there is nothing to wait
// for, and nothing can be injected.
#include "hostsim/console/virtual_ports.h"

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace console {
namespace {

using WaitIdleFn = BOOL(WINAPI*)(DWORD timeoutMs);
using InjectFn = BOOL(WINAPI*)(const BYTE* bytes, DWORD count);

constexpr DWORD kIdleTimeoutMs = 2000;

// Looked up on every use: winmm loads the driver on its first MIDI call,
// which the plug-in makes after the console started.
template <typename Fn>
Fn LoopbackExport(const char* name) {
    const HMODULE driver = GetModuleHandleA("wineloop.drv");
    if (driver == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(driver, name)));
}

}  // namespace

void WaitForVirtualInputs() {
    const auto wait = LoopbackExport<WaitIdleFn>("LoopbackWaitIdle");
    if (wait != nullptr) {
        wait(kIdleTimeoutMs);
    }
}

bool InjectIntoVirtualInput(int32_t input, const std::vector<uint8_t>& bytes, std::string* error) {
    if (input != 0) {
        *error = "only the loopback port's input can be fed on Windows";
        return false;
    }
    const auto inject = LoopbackExport<InjectFn>("LoopbackInject");
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

}  // namespace console

#endif
