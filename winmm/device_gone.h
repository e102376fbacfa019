// Telling a device that is gone (a pulled cable) from one that refused a
// call: once it says so, or takes over a second to fail, it is not called
// again but to close it, since on some stacks every call on a removed device
// takes seconds to fail.
#pragma once

#include <atomic>
#include <chrono>

#include "winmm/api.h"

inline constexpr std::chrono::milliseconds kSlowFailure{1000};

// Answers that only a device no longer there gives.
constexpr bool SaysDeviceGone(MMRESULT result) {
    return result == MMSYSERR_NODRIVER || result == MIDIERR_NODEVICE;
}

// One open device's verdict, from the calls made on it: by the host thread,
// and by the input callback as it gives buffers back (lock-free; relaxed: it
// only spares calls, it guards no memory).
class GoneWatch {
public:
    bool Gone() const { return gone_.load(std::memory_order_relaxed); }

    // Makes a call on the device and judges its answer and how long it took.
    template <typename Call>
    MMRESULT Watch(Call call) {
        const auto start = std::chrono::steady_clock::now();
        const MMRESULT result = call();
        if (result != MMSYSERR_NOERROR &&
            (SaysDeviceGone(result) || std::chrono::steady_clock::now() - start > kSlowFailure)) {
            gone_.store(true, std::memory_order_relaxed);
        }
        return result;
    }

private:
    std::atomic<bool> gone_{false};
};
