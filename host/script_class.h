// The script class: instances that each own one engine and the two host
// services it runs on, and the scripting interface's Call.
#pragma once

#include "contract/host_api.h"

// [host -> plug-in, host thread] `instance` is the host's block of the size
// DllGetClassForm gave, its header filled in. Create obtains the two value
// services and makes the engine; on failure it leaves nothing behind and
// returns the host's code. Destroy deletes the engine (closing its ports)
// and releases the services; the host frees the block afterwards.
HostResult TESMAR_CALL CreateScriptInstance(HostHeader* instance);
void TESMAR_CALL DestroyScriptInstance(HostHeader* instance);

// [host -> plug-in through the scripting interface, host thread] One script
// method call (host/dispatch.h).
HostResult TESMAR_CALL ScriptCallOp(InterfaceObject* self, CallRecord* call);
