// Script calls: one CallRecord in, exactly one engine operation, the result
// written back.
#pragma once

#include "contract/host_api.h"
#include "host/script_instance.h"

// [the scripting interface's Call, host thread] Reads the call's arguments
// (the host's; element 0 is the instance itself), calls the engine and makes
// the result in call.result, which the host then owns. 0, or the host's code
// of an argument it could not convert.
HostResult DispatchCall(ScriptInstance& instance, CallRecord& call);
