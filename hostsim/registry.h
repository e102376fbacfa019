// The host's registration service over an in-memory registry: every value a
// module puts is captured with the entry it went to.
#pragma once

#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "contract/host_api.h"
#include "standin/fault_plan.h"

namespace hostsim {

// One PutRegistryValue as the registry captured it.
struct RegistryValue {
    ClassId classId;
    InterfaceId interfaceId;
    std::string key;
    int32_t kind;
    // Kind 3: the 4 bytes of the integer; kind 9: the text and its zero byte;
    // otherwise the `size` bytes given.
    std::vector<uint8_t> bytes;
};

class SimRegistry final : public HostRegistrationService {
public:
    SimRegistry() = default;
    SimRegistry(const SimRegistry&) = delete;
    SimRegistry& operator=(const SimRegistry&) = delete;
    ~SimRegistry() = default;

    HostResult TESMAR_CALL QueryInterface(const InterfaceId* iid, void** out) override;
    uint32_t TESMAR_CALL AddRef() override;
    uint32_t TESMAR_CALL Release() override;
    HostResult TESMAR_CALL GetRegistryEntry(HostRegistry* registry, const ClassId* classId,
                                            const InterfaceId* iid, RegistryEntry** entry) override;

    // The handle the module passes back to GetRegistryEntry.
    HostRegistry* handle() { return reinterpret_cast<HostRegistry*>(&handleToken_); }

    void Clear() { values_.clear(); }
    const std::vector<RegistryValue>& values() const { return values_; }
    // Entries handed out and not yet released.
    int32_t OpenEntries() const { return openEntries_; }
    // AddRefs minus Releases of the service itself.
    int32_t References() const { return references_; }

    // The n-th (1 = next) call of "GetRegistryEntry" or "PutRegistryValue"
    // fails with kHostNoInterface.
    void FailCall(std::string_view operation, uint32_t nth);
    uint64_t CallCount(std::string_view operation) const { return faults_.Count(operation); }
    static constexpr HostResult kRefused = kHostNoInterface;

private:
    class Entry;
    friend class Entry;
    HostResult Put(const ClassId& classId, const InterfaceId& iid, int32_t kind, const void* value,
                   uint32_t size, const char* key);

    enum class Operation { GetRegistryEntry, PutRegistryValue };
    static constexpr const char* kOperationNames[] = {"GetRegistryEntry", "PutRegistryValue"};

    std::vector<RegistryValue> values_;
    int32_t openEntries_ = 0;
    int32_t references_ = 0;
    FaultPlan faults_{kOperationNames, std::size(kOperationNames)};
    int handleToken_ = 0;
};

}  // namespace hostsim
