#include "host/script_class.h"

#include "engine/midi_engine.h"
#include "host/composition.h"
#include "host/dispatch.h"
#include "host/script_instance.h"

namespace {

template <typename Service>
Service* QueryService(HostServiceProvider& provider, const InterfaceId& iid) {
    void* service = nullptr;
    if (provider.QueryInterface(&iid, &service) != kHostOk) {
        return nullptr;
    }
    return static_cast<Service*>(service);
}

void ReleaseServices(ScriptInstance& instance) {
    if (instance.valueService != nullptr) {
        instance.valueService->Release();
        instance.valueService = nullptr;
    }
    if (instance.listService != nullptr) {
        instance.listService->Release();
        instance.listService = nullptr;
    }
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
    if (instance->valueService == nullptr || instance->listService == nullptr) {
        return kHostOk;
    }
    instance->engine =
        ComposeEngine(*instance->valueService, *instance->listService, *header->memoryService);
    // An engine whose vocabulary the host could not make would misread every
    // message: the instance fails as a whole, leaving nothing behind (the host
    // does not destroy what it could not create).
    if (instance->engine != nullptr && instance->engine->VocabularyResult() != kHostOk) {
        const HostResult failure = instance->engine->VocabularyResult();
        delete instance->engine;
        instance->engine = nullptr;
        ReleaseServices(*instance);
        return failure;
    }
    return kHostOk;
}

void TESMAR_CALL DestroyScriptInstance(HostHeader* header) {
    auto* instance = reinterpret_cast<ScriptInstance*>(header);
    // The engine closes its ports while the services are still held.
    delete instance->engine;
    instance->engine = nullptr;
    ReleaseServices(*instance);
}

HostResult TESMAR_CALL ScriptCallOp(InterfaceObject* self, CallRecord* call) {
    if (call == nullptr) {
        return kHostNoInterface;
    }
    return DispatchCall(*reinterpret_cast<ScriptInstance*>(self->owner), *call);
}
