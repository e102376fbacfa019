// The module's five entry points, the only symbols it exports.
#include <cstring>

#include "contract/host_api.h"
#include "host/class_table.h"
#include "host/composition.h"
#include "host/interface_object.h"

#if defined(_WIN32)
#define TESMAR_EXPORT
#else
#define TESMAR_EXPORT __attribute__((visibility("default")))
#endif

namespace {

// A class entry, then its interface's entry.
constexpr int kEntriesPerClass = 2;
constexpr uint32_t kClassEntryFlag = 1;

}  // namespace

extern "C" {

TESMAR_EXPORT HostResult TESMAR_CALL DllGetClassObject(const void*, const void*, void**) {
    return kHostClassNotFound;
}

TESMAR_EXPORT HostResult TESMAR_CALL DllCanUnloadNow() {
    return ModuleObjectCount() == 0 && !DevicesHoldModule() ? kHostOk : kHostCannotUnload;
}

TESMAR_EXPORT HostResult TESMAR_CALL DllGetClassForm(const ClassId* classId, uint32_t* sizeOut,
                                                     CreateInstanceFn* createOut,
                                                     DestroyInstanceFn* destroyOut) {
    const ClassRow* row = FindClass(classId);
    if (row == nullptr) {
        return kHostClassNotFound;
    }
    if (sizeOut != nullptr) {
        *sizeOut = row->instanceSize;
    }
    if (createOut != nullptr) {
        *createOut = row->create;
    }
    if (destroyOut != nullptr) {
        *destroyOut = row->destroy;
    }
    return kHostOk;
}

TESMAR_EXPORT HostResult TESMAR_CALL DllGetClassInfo(HostMemoryService* memory,
                                                     ClassInfoEntry** tableOut) {
    if (memory == nullptr || tableOut == nullptr) {
        return kHostOutOfMemory;
    }
    constexpr int kEntries = kClassCount * kEntriesPerClass;
    constexpr uint32_t kBytes = (kEntries + 1) * sizeof(ClassInfoEntry);
    auto* table = static_cast<ClassInfoEntry*>(memory->Alloc(kBytes));
    *tableOut = table;
    if (table == nullptr) {
        return kHostOutOfMemory;
    }
    // The terminator is all zero bytes, and so is every byte the entries leave.
    std::memset(static_cast<void*>(table), 0, kBytes);
    ClassInfoEntry* entry = table;
    for (const ClassRow& row : kClassTable) {
        entry->classId = *row.classId;
        entry->classVersion = kXtraVersion;
        entry->interfaceId = kIidClassFactory;
        entry->flagOrVersion = kClassEntryFlag;
        ++entry;
        entry->classId = *row.classId;
        entry->classVersion = kXtraVersion;
        entry->interfaceId = *row.interfaceId;
        entry->flagOrVersion = kXtraVersion;
        ++entry;
    }
    return kHostOk;
}

TESMAR_EXPORT HostResult TESMAR_CALL DllGetInterface(HostHeader* owner, const ClassId* classId,
                                                     const InterfaceId* iid, void** interfaceOut) {
    if (interfaceOut == nullptr) {
        return kHostNoInterface;
    }
    *interfaceOut = nullptr;
    if (owner == nullptr || iid == nullptr) {
        return kHostNoInterface;
    }
    for (const ClassRow& row : kClassTable) {
        if ((classId == nullptr || SameGuid(*classId, *row.classId)) &&
            SameGuid(*iid, *row.interfaceId)) {
            return row.createInterface(owner, interfaceOut);
        }
    }
    return kHostNoInterface;
}

}  // extern "C"
