// The clock that the plug-in, the trace and the script read. By default the
// machine's. Under --frames a virtual one that stands still until the movie
// moves it on, so timestamps follow the play file and the frames, not the
// machine: the same script gives the same times everywhere.
#pragma once

#include <cstdint>
#include <string>

namespace console {

// From now on the clock is virtual, at 0 ms; the plug-in at `modulePath`
// (loaded) reads it too. False with *error when the module's clock cannot
// be reached (Windows: its import of timeGetTime).
bool UseVirtualClock(const std::string& modulePath, std::string* error);
bool ClockIsVirtual();
// Milliseconds since the console started, or the virtual clock's reading.
uint32_t ClockNow();
// Virtual only: moves the clock on to `ms`; it never goes back.
void AdvanceClockTo(uint32_t ms);

}  // namespace console
