// QueryInterface for the simulator's host objects that offer nothing but the
// unknown interface.
#pragma once

#include "contract/host_api.h"

namespace hostsim {

// Hands out `self` with a reference added when asked for the unknown
// interface; anything else gets kHostNoInterface and a null `*out`.
template <class Interface>
HostResult QueryUnknownOnly(Interface* self, const InterfaceId* iid, void** out) {
    if (out == nullptr) {
        return kHostNoInterface;
    }
    *out = nullptr;
    if (iid == nullptr || !SameGuid(*iid, kIidUnknown)) {
        return kHostNoInterface;
    }
    self->AddRef();
    *out = self;
    return kHostOk;
}

}  // namespace hostsim
