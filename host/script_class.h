// The script class: instances that each own one engine and the two host
// services it runs on, and the scripting interface's Call.
#pragma once

#include "contract/host_api.h"

HostResult TESMAR_CALL CreateScriptInstance(HostHeader* instance);
void TESMAR_CALL DestroyScriptInstance(HostHeader* instance);

HostResult TESMAR_CALL ScriptCallOp(InterfaceObject* self, CallRecord* call);
