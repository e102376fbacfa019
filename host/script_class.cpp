#include "host/script_class.h"

#include "engine/midi_engine.h"
#include "host/composition.h"
#include "host/dispatch.h"
#include "host/interface_ref.h"
#include "host/script_instance.h"

namespace {

// The instance record is the host's memory and keeps plain pointers; each one
// is adopted back into a holder to be released.
void ReleaseServices(ScriptInstance& instance) {
    InterfaceRef<HostValueService>(instance.valueService).Reset();
    instance.valueService = nullptr;
    InterfaceRef<HostListService>(instance.listService).Reset();
    instance.listService = nullptr;
}

}  // namespace

HostResult TESMAR_CALL CreateScriptInstance(HostHeader* header) {
    auto* instance = reinterpret_cast<ScriptInstance*>(header);
    HostServiceProvider& provider = *header->serviceProvider;
    auto values = QueryService<HostValueService>(provider, kIidHostValueService);
    auto lists = QueryService<HostListService>(provider, kIidHostListService);
    instance->engine = nullptr;
    if (values && lists) {
        MidiEngine* engine = ComposeEngine(*values, *lists, *header->memoryService);
        // An engine whose vocabulary the host could not make would misread
        // every message: the instance fails as a whole, leaving nothing behind
        // (the host does not destroy what it could not create).
        if (engine != nullptr && engine->VocabularyResult() != kHostOk) {
            const HostResult failure = engine->VocabularyResult();
            delete engine;
            values.Reset();  // released in the order obtained
            return failure;
        }
        instance->engine = engine;
    }
    // Without both services there is nothing to run an engine on: the
    // instance stays, every method a no-op, and the one service obtained is
    // still released at destruction.
    instance->valueService = values.Detach();
    instance->listService = lists.Detach();
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
