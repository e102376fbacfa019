#include "host/class_table.h"

#include "host/interface_object.h"
#include "host/script_class.h"
#include "host/script_instance.h"

namespace {

HostResult TESMAR_CALL CreateRegistrar(HostHeader*) {
    return kHostOk;
}
void TESMAR_CALL DestroyRegistrar(HostHeader*) {}

HostResult CreateRegistrationInterface(HostHeader* owner, void** out) {
    return CreateInterfaceObject(kRegistrationOps, owner, out);
}

HostResult CreateScriptingInterface(HostHeader* owner, void** out) {
    return CreateInterfaceObject(kScriptingOps, owner, out);
}

}  // namespace

const ClassRow kClassTable[kClassCount] = {
    {&kTesmarRegistrarClass, sizeof(HostHeader), CreateRegistrar, DestroyRegistrar,
     &kIidRegistration, CreateRegistrationInterface},
    {&kTesmarScriptClass, sizeof(ScriptInstance), CreateScriptInstance, DestroyScriptInstance,
     &kIidScripting, CreateScriptingInterface},
};

const ClassRow* FindClass(const ClassId* classId) {
    for (const ClassRow& row : kClassTable) {
        if (classId == nullptr || SameGuid(*classId, *row.classId)) {
            return &row;
        }
    }
    return nullptr;
}
