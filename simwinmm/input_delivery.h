// The driver thread of an open input device, and what the winmm input
// functions ask of it. Everything here takes the driver's lock as it says.
#pragma once

#include <memory>
#include <mutex>

#include "simwinmm/driver_state.h"

namespace simwinmm {

// Calls the app's callback, if it has one. Without the lock.
void NotifyInput(InDevice& dev, UINT message, DWORD_PTR param1, DWORD_PTR param2);
// Returns every queued buffer, filled or not, and stops. Lock held on entry
// and on return; let go around the callbacks.
void ResetInput(Driver& d, std::unique_lock<std::mutex>& lock, InDevice& dev);
// Returns the buffer being filled; empty ones stay queued. Lock as above.
void StopInput(Driver& d, std::unique_lock<std::mutex>& lock, InDevice& dev);
// The driver thread's body, from the open until the device closes; the
// thread's own copy of `dev` keeps the device alive meanwhile.
void InputWorker(const std::shared_ptr<InDevice>& dev);

}  // namespace simwinmm
