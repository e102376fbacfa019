// The composition root: the one place where the module meets the device
// layer. Everything else in host/ knows only the engine and the contract.
#pragma once

#include "contract/host_api.h"

class MidiEngine;

// [script class calls, host thread] The engine a script instance runs on;
// null when it cannot be allocated. It keeps the three services without
// adding references; the caller deletes it.
MidiEngine* ComposeEngine(HostValueService& valueService, HostListService& listService,
                          HostMemoryService& memoryService);

// [DllCanUnloadNow calls, host thread] True while the device layer needs
// the module to stay loaded.
bool DevicesHoldModule();
