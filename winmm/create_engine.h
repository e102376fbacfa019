// The device layer's factory: the only way an engine is made.
#pragma once

#include "contract/host_api.h"

class MidiEngine;

// [composition root calls, host thread] Null when the engine cannot be
// allocated. The engine keeps the three services without adding references;
// the caller deletes it.
MidiEngine* CreateMidiEngine(HostValueService& valueService, HostListService& listService,
                             HostMemoryService& memoryService);

// [composition root calls, host thread] True once memory has been kept for a
// device the driver would not let go: its callbacks may still come, so the
// module must stay loaded.
bool DeviceMemoryKept();
