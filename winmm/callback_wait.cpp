#include "winmm/callback_wait.h"

#include <chrono>
#include <thread>

namespace {

// A callback never blocks, so one still running after this is stuck for good.
constexpr std::chrono::milliseconds kCallbackDeadline{2000};

}  // namespace

bool WaitForCallbacks(const std::atomic<int32_t>& inFlight) {
    const auto deadline = std::chrono::steady_clock::now() + kCallbackDeadline;
    // seq_cst, as the callback's count and the detaching of the engine are:
    // a callback that counted itself in after this reads 0 sees no engine.
    while (inFlight.load(std::memory_order_seq_cst) != 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}
