// timeGetTime and the test controls that freeze it.
#include <atomic>
#include <chrono>

#include "simwinmm/control.h"
#include "simwinmm/winmm_api.h"

namespace {

// Bit 32 set: frozen at the low 32 bits. One word, so a reader never sees a
// flag without its value.
constexpr uint64_t kFrozen = uint64_t{1} << 32;
std::atomic<uint64_t> clockState{0};

uint32_t RealMilliseconds() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    return static_cast<uint32_t>(ms);
}

}  // namespace

extern "C" DWORD WINAPI timeGetTime(void) {
    const uint64_t state = clockState.load(std::memory_order_acquire);
    if ((state & kFrozen) != 0) {
        return static_cast<uint32_t>(state);
    }
    return RealMilliseconds();
}

namespace simwinmm {

void SetClock(uint32_t ms) {
    clockState.store(kFrozen | ms, std::memory_order_release);
}

void AdvanceClock(uint32_t ms) {
    uint64_t state = clockState.load(std::memory_order_acquire);
    uint64_t next;
    do {
        const uint32_t base =
            (state & kFrozen) != 0 ? static_cast<uint32_t>(state) : RealMilliseconds();
        next = kFrozen | static_cast<uint32_t>(base + ms);  // wraps at 2^32 as winmm's does
    } while (!clockState.compare_exchange_weak(state, next, std::memory_order_acq_rel));
}

void UseRealClock() {
    clockState.store(0, std::memory_order_release);
}

}  // namespace simwinmm
