// The small objects through which the host calls into the module. Each holds
// one reference to its owner for its own life plus one per reference of its
// own, and counts in the module-wide number of live objects.
#pragma once

#include <cstdint>

#include "contract/host_api.h"

// The operation tables of the two interfaces; static. The host calls their
// operations on its own thread.
extern const InterfaceOps kRegistrationOps;
extern const InterfaceOps kScriptingOps;

// [DllGetInterface calls, host thread] A new object with count 1 in *out, from
// the owner's memory service; the host releases it (the last Release frees
// it and lets go of the owner). When memory stays short (after the installed
// new-handler, if any, had its say) *out is null and the result is
// kHostOutOfMemory.
HostResult CreateInterfaceObject(const InterfaceOps& ops, HostHeader* owner, void** out);

// [DllCanUnloadNow calls, host thread] Interface objects alive in the module;
// the module may unload at 0.
int32_t ModuleObjectCount();
