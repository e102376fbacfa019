// The one place that includes the platform MIDI API: on Windows the system's
// own headers, elsewhere simwinmm's declarations of the same subset.
#pragma once

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// Needs windows.h first; the blank line keeps include sorting from swapping them.
#include <mmsystem.h>

#else

#include "simwinmm/winmm_api.h"

#endif
