// Closing a device: counting driver callbacks in and out of it, waiting on
// the host's thread for them to leave, and how long the closing may take.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

// How long a close may go on making calls between its reset and its close: a
// driver that answers each call slowly (a pulled device) makes the steps
// after it be skipped.
inline constexpr std::chrono::milliseconds kCloseDeadline{2000};

// What the driver holds as the callbacks' instance data: the first member of
// each open device. A device the driver would not let go is detached (no
// owner) and set aside, so a late callback finds no owner and returns.
template <typename Owner>
struct CallbackTarget {
    std::atomic<Owner*> owner{nullptr};
    // Callbacks running right now, counted at entry and exit.
    std::atomic<int32_t> callbacks{0};
};

// Counts a callback in for as long as it runs. Lock-free, fit for the
// driver's thread.
class CallbackCount {
public:
    // seq_cst, as the detaching of an owner is: a closing host thread either
    // sees this callback in flight or this callback sees no owner.
    explicit CallbackCount(std::atomic<int32_t>& counter) noexcept
        : counter(counter), depth(counter.fetch_add(1, std::memory_order_seq_cst) + 1) {}
    ~CallbackCount() { counter.fetch_sub(1, std::memory_order_acq_rel); }
    CallbackCount(const CallbackCount&) = delete;
    CallbackCount& operator=(const CallbackCount&) = delete;

    // Callbacks counted in, this one included, when it came.
    int32_t Depth() const { return depth; }

private:
    std::atomic<int32_t>& counter;
    const int32_t depth;
};

// True once `inFlight` reads 0; false when the deadline (2 s) passes first.
bool WaitForCallbacks(const std::atomic<int32_t>& inFlight);
