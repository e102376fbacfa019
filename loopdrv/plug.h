// A cable pulled and plugged back, as the stacks users have behave: while
// unplugged the device cannot be described or opened and refuses to send or
// take buffers, with MMSYSERR_NODRIVER; a handle open when the cable went
// stays dead after it comes back, until it is closed (a replugged device is a
// new device). Closing, resetting and unpreparing always work, so a client
// can let go of what it held.
//
// The console and tests call LoopbackPlug (loopdrv/control.h); winmm's entry
// points ask Refused() first. All calls hold the device lock.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace loopdrv {

enum class Direction { kInput, kOutput };

// True when `message` (MIDM_* or MODM_*) must fail as on a removed device.
bool Refused(Direction direction, UINT message);
// The client of `direction` closed: its handle is no longer the dead one.
void Closed(Direction direction);
// No bytes cross `direction`: its cable is out, or its handle died with an
// earlier pull.
bool Cut(Direction direction);

}  // namespace loopdrv
