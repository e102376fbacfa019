// Waiting, on the host's thread, for driver callbacks to leave the engine.
#pragma once

#include <atomic>
#include <cstdint>

// True once `inFlight` reads 0; false when the deadline (2 s) passes first.
bool WaitForCallbacks(const std::atomic<int32_t>& inFlight);
