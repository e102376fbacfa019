#include "host/interface_object.h"

#include <new>

#include "host/registration.h"
#include "host/script_class.h"

namespace {

// Host thread only, like every interface operation.
int32_t moduleObjectCount = 0;

void* AllocateRetrying(HostMemoryService& memory, uint32_t size) {
    void* block = memory.Alloc(size);
    while (block == nullptr) {
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) {
            break;
        }
        // A handler may throw bad_alloc; nothing may cross the boundary.
        try {
            handler();
        } catch (...) {
            return nullptr;
        }
        block = memory.Alloc(size);
    }
    return block;
}

HostResult TESMAR_CALL QueryInterface(InterfaceObject* self, const InterfaceId* iid, void** out) {
    return self->owner->object->QueryInterface(iid, out);
}

uint32_t TESMAR_CALL AddRef(InterfaceObject* self) {
    self->owner->object->AddRef();
    return static_cast<uint32_t>(++self->referenceCount);
}

uint32_t TESMAR_CALL Release(InterfaceObject* self) {
    // The owner is taken first: once freed, the object may not be read.
    HostUnknown* owner = self->owner->object;
    const int32_t count = --self->referenceCount;
    if (count == 0) {
        self->owner->memoryService->Free(self);
        --moduleObjectCount;
        owner->Release();
    }
    owner->Release();
    return static_cast<uint32_t>(count);
}

}  // namespace

const InterfaceOps kRegistrationOps = {QueryInterface, AddRef, Release, {RegisterXtraOp}};
const InterfaceOps kScriptingOps = {QueryInterface, AddRef, Release, {.call = ScriptCallOp}};

HostResult CreateInterfaceObject(const InterfaceOps& ops, HostHeader* owner, void** out) {
    auto* object = static_cast<InterfaceObject*>(
        AllocateRetrying(*owner->memoryService, sizeof(InterfaceObject)));
    if (object == nullptr) {
        *out = nullptr;
        return kHostOutOfMemory;
    }
    object->operations = &ops;
    object->owner = owner;
    object->referenceCount = 1;
    owner->object->AddRef();
    owner->object->AddRef();
    ++moduleObjectCount;
    *out = object;
    return kHostOk;
}

int32_t ModuleObjectCount() {
    return moduleObjectCount;
}
