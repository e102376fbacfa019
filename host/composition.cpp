#include "host/composition.h"

#include "winmm/create_engine.h"

MidiEngine* ComposeEngine(HostValueService& valueService, HostListService& listService,
                          HostMemoryService& memoryService) {
    return CreateMidiEngine(valueService, listService, memoryService);
}

bool DevicesHoldModule() {
    return DeviceMemoryKept();
}
