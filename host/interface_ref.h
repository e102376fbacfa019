// Holding references to the host's interfaces: each one obtained is released
// exactly once, when its holder goes. Host thread, like every call on them.
#pragma once

#include <utility>

#include "contract/host_api.h"

template <typename Interface>
class InterfaceRef {
public:
    InterfaceRef() = default;
    // Adopts a reference the caller obtained (null holds nothing).
    explicit InterfaceRef(Interface* adopted) : interface_(adopted) {}
    InterfaceRef(InterfaceRef&& other) noexcept : interface_(other.Detach()) {}
    InterfaceRef& operator=(InterfaceRef&& other) noexcept {
        if (this != &other) {
            Reset();
            interface_ = other.Detach();
        }
        return *this;
    }
    InterfaceRef(const InterfaceRef&) = delete;
    InterfaceRef& operator=(const InterfaceRef&) = delete;
    ~InterfaceRef() { Reset(); }

    Interface* operator->() const { return interface_; }
    Interface& operator*() const { return *interface_; }
    explicit operator bool() const { return interface_ != nullptr; }

    // Gives the reference up to the caller, who releases it.
    Interface* Detach() { return std::exchange(interface_, nullptr); }
    void Reset() {
        if (Interface* held = Detach()) {
            held->Release();
        }
    }

private:
    Interface* interface_ = nullptr;
};

// The host's service `iid` from the instance's provider; holds nothing when
// the host does not hand it out.
template <typename Service>
InterfaceRef<Service> QueryService(HostServiceProvider& provider, const InterfaceId& iid) {
    void* service = nullptr;
    if (provider.QueryInterface(&iid, &service) != kHostOk) {
        return InterfaceRef<Service>();
    }
    return InterfaceRef<Service>(static_cast<Service*>(service));
}
