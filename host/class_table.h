// The module's two classes, in the order the host walks them: the registrar
// (registers the script class and its method table) and the script class.
#pragma once

#include <cstdint>

#include "contract/host_api.h"

// This product's own class identifiers.
constexpr ClassId kTesmarRegistrarClass = {{0x3A91C6E1u, 0x4B1F7D20u, 0x8E5C0001u, 0x2F6D9A11u}};
constexpr ClassId kTesmarScriptClass = {{0x3A91C6E2u, 0x4B1F7D20u, 0x8E5C0002u, 0x2F6D9A12u}};

// [DllGetInterface calls, host thread] Makes an interface object for `owner`
// and stores it (or null) in *out; the host releases it.
using CreateInterfaceFn = HostResult (*)(HostHeader* owner, void** out);

struct ClassRow {
    const ClassId* classId;
    uint32_t instanceSize;
    CreateInstanceFn create;
    DestroyInstanceFn destroy;
    const InterfaceId* interfaceId;  // the one interface the class offers
    CreateInterfaceFn createInterface;
};

// Static, read by the exports; nothing in it is ever written.
constexpr int kClassCount = 2;
extern const ClassRow kClassTable[kClassCount];

// [the exports call, host thread] The first row whose class matches `classId`
// (null matches every row); null if none. The row is the table's.
const ClassRow* FindClass(const ClassId* classId);
