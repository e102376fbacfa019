// The driver's own exports beside winmm's, for tests and the console. Find
// them in the loaded driver: GetProcAddress(GetModuleHandleA("wineloop.drv"), name).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "standin/stack_behaviour.h"

// "LoopbackWaitIdle": TRUE once everything sent to the output or injected so
// far has been delivered to the input client, or dropped because the input is
// not open or not started; FALSE on timeout (and on the driver's own thread).
using LoopbackWaitIdleProc = BOOL(WINAPI*)(DWORD timeoutMs);

// "LoopbackInject": queues raw MIDI wire bytes (short messages and sysex, real-
// time bytes anywhere, no running status) for the input, as if they had come
// in on the wire; the driver thread delivers them like looped-back output.
// FALSE, with nothing queued, when no input is open, its cable is pulled (or
// its handle died with a pull), or the bytes are not whole messages. A sysex
// may be left unfinished: the next bytes go on with it.
using LoopbackInjectProc = BOOL(WINAPI*)(const BYTE* bytes, DWORD count);

// "LoopbackSetBehaviour": how the port behaves from now on where real MIDI
// stacks part from the documented behaviour (standin/stack_behaviour.h): input
// in pieces, packed messages, empty buffers, real-time bytes inside sysex, a
// clock during sysex; output block limits and MOM_DONE inside the send.
// FALSE when `behaviour` is null.
using LoopbackSetBehaviourProc = BOOL(WINAPI*)(const standin::StackBehaviour* behaviour);

// "LoopbackPlug": pulls the cable (FALSE) or plugs it back (TRUE), as
// loopdrv/plug.h describes; FALSE when it already is so.
using LoopbackPlugProc = BOOL(WINAPI*)(BOOL plugged);

// The export `name` of the driver loaded in this process; null when the
// driver is not loaded (winmm loads it with its first MIDI call) or lacks it.
template <typename Proc>
Proc FindLoopbackExport(const char* name) {
    HMODULE driver = GetModuleHandleA("wineloop.drv");
    if (driver == nullptr)
        return nullptr;
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(driver, name)));
}
