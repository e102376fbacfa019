#include "hostsim/registry.h"

#include <cstring>

#include "hostsim/unknown_only.h"

namespace hostsim {

class SimRegistry::Entry final : public RegistryEntry {
public:
    Entry(SimRegistry& registry, const ClassId& classId, const InterfaceId& iid)
        : registry_(registry), classId_(classId), iid_(iid) {
        ++registry_.openEntries_;
    }

    HostResult TESMAR_CALL QueryInterface(const InterfaceId* iid, void** out) override {
        return QueryUnknownOnly(static_cast<RegistryEntry*>(this), iid, out);
    }
    uint32_t TESMAR_CALL AddRef() override { return static_cast<uint32_t>(++count_); }
    uint32_t TESMAR_CALL Release() override {
        const int32_t count = --count_;
        if (count == 0) {
            --registry_.openEntries_;
            delete this;
        }
        return static_cast<uint32_t>(count);
    }
    HostResult TESMAR_CALL PutRegistryValue(int32_t kind, const void* value, uint32_t size,
                                            const char* key) override {
        return registry_.Put(classId_, iid_, kind, value, size, key);
    }

private:
    ~Entry() = default;
    SimRegistry& registry_;
    ClassId classId_;
    InterfaceId iid_;
    int32_t count_ = 1;
};

HostResult TESMAR_CALL SimRegistry::QueryInterface(const InterfaceId* iid, void** out) {
    return QueryUnknownOnly(static_cast<HostRegistrationService*>(this), iid, out);
}

uint32_t TESMAR_CALL SimRegistry::AddRef() {
    return static_cast<uint32_t>(++references_);
}

uint32_t TESMAR_CALL SimRegistry::Release() {
    return static_cast<uint32_t>(--references_);
}

HostResult TESMAR_CALL SimRegistry::GetRegistryEntry(HostRegistry* registry, const ClassId* classId,
                                                     const InterfaceId* iid,
                                                     RegistryEntry** entry) {
    if (entry == nullptr) {
        return kRefused;
    }
    *entry = nullptr;
    if (faults_.Enter(Operation::GetRegistryEntry) || registry != handle() || classId == nullptr ||
        iid == nullptr) {
        return kRefused;
    }
    *entry = new Entry(*this, *classId, *iid);
    return kHostOk;
}

void SimRegistry::FailCall(std::string_view operation, uint32_t nth) {
    faults_.Fail(operation, nth);
}

HostResult SimRegistry::Put(const ClassId& classId, const InterfaceId& iid, int32_t kind,
                            const void* value, uint32_t size, const char* key) {
    if (faults_.Enter(Operation::PutRegistryValue) || value == nullptr || key == nullptr) {
        return kRefused;
    }
    RegistryValue captured{classId, iid, key, kind, {}};
    const auto* bytes = static_cast<const uint8_t*>(value);
    switch (kind) {
        case kRegistryInteger:
            captured.bytes.assign(bytes, bytes + sizeof(int32_t));
            break;
        case kRegistryText:
            captured.bytes.assign(bytes, bytes + std::strlen(static_cast<const char*>(value)) + 1);
            break;
        default:
            captured.bytes.assign(bytes, bytes + size);
            break;
    }
    values_.push_back(std::move(captured));
    return kHostOk;
}

}  // namespace hostsim
