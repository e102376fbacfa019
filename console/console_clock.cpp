// Off Windows the plug-in reads the simulated driver's clock, which can be
// frozen and moved on.
#include "console/console_clock.h"

#include <atomic>
#include <chrono>

#include "simwinmm/control.h"

namespace console {
namespace {

std::atomic<bool> isVirtual{false};
std::atomic<uint32_t> virtualMs{0};
const auto started = std::chrono::steady_clock::now();

}  // namespace

bool UseVirtualClock(const std::string& /*modulePath*/, std::string* /*error*/) {
    virtualMs.store(0);
    isVirtual.store(true);
    simwinmm::SetClock(0);
    return true;
}

bool ClockIsVirtual() {
    return isVirtual.load();
}

uint32_t ClockNow() {
    if (isVirtual.load()) {
        return virtualMs.load();
    }
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - started)
                                     .count());
}

void AdvanceClockTo(uint32_t ms) {
    if (isVirtual.load() && ms > virtualMs.load()) {
        virtualMs.store(ms);
        simwinmm::SetClock(ms);
    }
}

}  // namespace console
