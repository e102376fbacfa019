// Script calls: one CallRecord in, exactly one engine operation, the result
// written back. Runs on the host's thread.
#pragma once

#include "contract/host_api.h"
#include "host/script_instance.h"

HostResult DispatchCall(ScriptInstance& instance, CallRecord& call);
