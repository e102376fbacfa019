#include "host/script_class.h"

#include "engine/midi_engine.h"
#include "host/dispatch.h"
#include "host/script_instance.h"
#include "winmm/create_engine.h"

namespace {

template <typename Service>
Service* QueryService(HostServiceProvider& provider, const InterfaceId& iid) {
    void* service = nullptr;
    if (provider.QueryInterface(&iid, &service) != kHostOk) {
        return nullptr;
    }
    return static_cast<Service*>(service);
}

}  // namespace

HostResult TESMAR_CALL CreateScriptInstance(HostHeader* header) {
    auto* instance = reinterpret_cast<ScriptInstance*>(header);
    HostServiceProvider& provider = *header->serviceProvider;
    instance->valueService = QueryService<HostValueService>(provider, kIidHostValueService);
    instance->listService = QueryService<HostListService>(provider, kIidHostListService);
    instance->engine = nullptr;
    // Without both services there is nothing to run an engine on: the
    // instance stays, every method a no-op, and the one service obtained is
    // still released at destruction.
    if (instance->valueService != nullptr && instance->listService != nullptr) {
        instance->engine = CreateMidiEngine(*instance->valueService, *instance->listService,
                                            *header->memoryService);
    }
    return kHostOk;
}

void TESMAR_CALL DestroyScriptInstance(HostHeader* header) {
    auto* instance = reinterpret_cast<ScriptInstance*>(header);
    // The engine closes its ports while the services are still held.
    delete instance->engine;
    instance->engine = nullptr;
    if (instance->valueService != nullptr) {
        instance->valueService->Release();
        instance->valueService = nullptr;
    }
    if (instance->listService != nullptr) {
        instance->listService->Release();
        instance->listService = nullptr;
    }
}

HostResult TESMAR_CALL ScriptCallOp(InterfaceObject* self, CallRecord* call) {
    if (call == nullptr) {
        return kHostNoInterface;
    }
    return DispatchCall(*reinterpret_cast<ScriptInstance*>(self->owner), *call);
}
