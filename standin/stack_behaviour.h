// How a MIDI stack behaves where real ones part from what the winmm
// documentation describes: input handed back in pieces, real-time bytes
// inside system-exclusive buffers, limits on output blocks, completions on
// the caller's thread. simwinmm plays it per port, loopdrv for its loopback
// port; the console sets it from --ports. All zero: the documented behaviour
// (a buffer comes back full or when its message has ended).
//
// A plain record of 32-bit fields (flags are 0 or 1): the console hands it
// to loopdrv across a DLL boundary.
#pragma once

#include <cstdint>

namespace standin {

struct StackBehaviour {
    // ---- input
    // A system-exclusive buffer goes back once it holds this many bytes, full
    // or not (0: only when full, or when its message has ended).
    uint32_t pieceBytes = 0;
    // The end of a message does not send its buffer back: the next message's
    // bytes follow in it (`... F7 F0 ...`). A buffer then goes back at its
    // piece size, when full, or when nothing more is coming for now.
    uint32_t packMessages = 0;
    // Real-time bytes that come during a system-exclusive message go into its
    // buffer, as the legacy stack passes them, instead of as short messages.
    uint32_t realTimeInSysEx = 0;
    // After every n-th buffer handed back with bytes in it, the next one goes
    // back empty (0: never).
    uint32_t emptyEvery = 0;
    // A clock comes in after every n bytes of a system-exclusive message, as
    // from a clock source on the same cable (0: none).
    uint32_t clockEvery = 0;

    // ---- output
    // midiOutLongMsg refuses a block longer than this (0: no limit but winmm's).
    uint32_t blockLimit = 0;
    // midiOutLongMsg sends the block and reports it done (MOM_DONE) on the
    // calling thread, before it returns.
    uint32_t doneInline = 0;
};

static_assert(sizeof(StackBehaviour) == 28);

}  // namespace standin
