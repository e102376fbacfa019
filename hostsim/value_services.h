// The host's services over the value store, with fault injection and memory
// accounting. SimHost owns one of each; the plug-in only borrows them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "contract/host_api.h"
#include "hostsim/value_store.h"
#include "standin/fault_plan.h"

namespace hostsim {

enum class Operation : uint8_t {
    StringToSymbol,
    ValueType,
    ValueRelease,
    ValueToInteger,
    ValueToSymbol,
    IntegerToValue,
    SymbolToValue,
    StringToValue,
    NewList,
    AppendToList,
    CountElements,
    GetValueByIndex,
    NewPropList,
    AppendToPropList,
    Alloc,
    Free,
    QueryInterface,
    GetAppInfoString,
};
constexpr int kOperationCount = static_cast<int>(Operation::GetAppInfoString) + 1;

// Named as in host_api.h, indexed by Operation.
extern const char* const kOperationNames[kOperationCount];

class MemoryBlocks {
public:
    ~MemoryBlocks();
    void* Alloc(uint64_t size);  // null over kMaxAllocation or when the heap fails
    bool Free(void* block);      // false for a block that is not live
    int64_t LiveBlocks() const { return static_cast<int64_t>(sizes_.size()); }
    int64_t LiveBytes() const { return liveBytes_; }
    std::string LeakLines() const;

private:
    std::unordered_map<void*, uint64_t> sizes_;
    int64_t liveBytes_ = 0;
};

// Reference counts of the borrowed services: counted, never freeing anything.
class ServiceCount {
public:
    uint32_t AddRef() { return static_cast<uint32_t>(++count_) + 1; }
    // False when the count would drop below what was handed out.
    bool Release() {
        if (count_ == 0) {
            return false;
        }
        --count_;
        return true;
    }
    int64_t Outstanding() const { return count_; }

private:
    int64_t count_ = 0;
};

struct HostState;

// QueryInterface, AddRef and Release, the same for every service.
template <class Interface>
class SimService : public Interface {
public:
    explicit SimService(HostState& state) : state_(state) {}
    HostResult TESMAR_CALL QueryInterface(const InterfaceId* iid, void** out) override;
    uint32_t TESMAR_CALL AddRef() override { return count.AddRef(); }
    uint32_t TESMAR_CALL Release() override;
    ServiceCount count;

protected:
    ~SimService() = default;
    HostState& state_;
};

class SimValueService final : public SimService<HostValueService> {
public:
    using SimService::SimService;
    HostResult TESMAR_CALL StringToSymbol(const char* name, Symbol* out) override;
    HostResult TESMAR_CALL ValueType(const ScriptValue* value, int32_t* type) override;
    HostResult TESMAR_CALL ValueRelease(ScriptValue* value) override;
    HostResult TESMAR_CALL ValueToInteger(const ScriptValue* value, int32_t* out) override;
    HostResult TESMAR_CALL ValueToSymbol(const ScriptValue* value, Symbol* out) override;
    HostResult TESMAR_CALL IntegerToValue(int32_t integer, ScriptValue* out) override;
    HostResult TESMAR_CALL SymbolToValue(Symbol symbol, ScriptValue* out) override;
    HostResult TESMAR_CALL StringToValue(const char* text, ScriptValue* out) override;
};

class SimListService final : public SimService<HostListService> {
public:
    using SimService::SimService;
    HostResult TESMAR_CALL NewList(ScriptValue* out) override;
    HostResult TESMAR_CALL AppendToList(ScriptValue* list, const ScriptValue* value) override;
    int32_t TESMAR_CALL CountElements(const ScriptValue* list) override;
    HostResult TESMAR_CALL GetValueByIndex(const ScriptValue* list, int32_t position,
                                           ScriptValue* out) override;
    HostResult TESMAR_CALL NewPropList(ScriptValue* out) override;
    HostResult TESMAR_CALL AppendToPropList(ScriptValue* list, const ScriptValue* key,
                                            const ScriptValue* value) override;
};

class SimMemoryService final : public SimService<HostMemoryService> {
public:
    using SimService::SimService;
    void* TESMAR_CALL Alloc(uint32_t size) override;
    void TESMAR_CALL Free(void* block) override;
};

class SimAppInfoService final : public SimService<HostAppInfoService> {
public:
    using SimService::SimService;
    HostResult TESMAR_CALL GetAppInfoString(int32_t property, char* buffer, uint32_t size) override;
};

class SimServiceProvider final : public SimService<HostServiceProvider> {
public:
    using SimService::SimService;
};

// Everything behind one SimHost.
struct HostState {
    HostState();
    HostState(const HostState&) = delete;
    HostState& operator=(const HostState&) = delete;

    // Any service hands out any other, as the host's objects do.
    HostResult Lookup(const InterfaceId* iid, void** out);
    int64_t ServiceReferences() const;

    ValueStore store;
    FaultPlan faults{kOperationNames, kOperationCount};
    MemoryBlocks blocks;
    std::string productName = "Director";
    std::string versionText = "8.5";

    SimValueService values;
    SimListService lists;
    SimMemoryService memory;
    SimAppInfoService appInfo;
    SimServiceProvider provider;
};

template <class Interface>
HostResult TESMAR_CALL SimService<Interface>::QueryInterface(const InterfaceId* iid, void** out) {
    return state_.Lookup(iid, out);
}

template <class Interface>
uint32_t TESMAR_CALL SimService<Interface>::Release() {
    if (!count.Release()) {
        state_.store.CountBadRelease();
    }
    return static_cast<uint32_t>(count.Outstanding()) + 1;
}

}  // namespace hostsim
