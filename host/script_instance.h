// The script class's instance record: the host header, then what the
// instance owns. The host allocates it with the size DllGetClassForm reports;
// only the host's thread touches it.
#pragma once

#include "contract/host_api.h"

class MidiEngine;

struct ScriptInstance {
    HostHeader header;
    HostValueService* valueService;  // obtained at creation, released at destruction
    HostListService* listService;    // obtained at creation, released at destruction
    MidiEngine* engine;              // owned; null when it could not be created
};
