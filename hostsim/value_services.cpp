#include "hostsim/value_services.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace hostsim {
namespace {

constexpr HostResult kFailure = SimHost::kFailure;
constexpr HostResult kInjected = SimHost::kInjectedFailure;

bool IsList(const Node* node) {
    return node != nullptr && (node->kind == Kind::List || node->kind == Kind::PropList);
}

}  // namespace

// ---------------------------------------------------------------- faults

const char* const kOperationNames[kOperationCount] = {
    "StringToSymbol", "ValueType",       "ValueRelease",     "ValueToInteger",   "ValueToSymbol",
    "IntegerToValue", "SymbolToValue",   "StringToValue",    "NewList",          "AppendToList",
    "CountElements",  "GetValueByIndex", "NewPropList",      "AppendToPropList", "Alloc",
    "Free",           "QueryInterface",  "GetAppInfoString",
};

// ---------------------------------------------------------------- memory

MemoryBlocks::~MemoryBlocks() {
    for (auto& [block, size] : sizes_) {
        std::free(block);
    }
}

void* MemoryBlocks::Alloc(uint64_t size) {
    if (size > SimHost::kMaxAllocation) {
        return nullptr;
    }
    // Every block is distinct, even an empty one.
    void* block = std::malloc(size == 0 ? 1 : static_cast<size_t>(size));
    if (block == nullptr) {
        return nullptr;
    }
    sizes_.emplace(block, size);
    liveBytes_ += static_cast<int64_t>(size);
    return block;
}

bool MemoryBlocks::Free(void* block) {
    auto found = sizes_.find(block);
    if (found == sizes_.end()) {
        return false;
    }
    liveBytes_ -= static_cast<int64_t>(found->second);
    sizes_.erase(found);
    std::free(block);
    return true;
}

std::string MemoryBlocks::LeakLines() const {
    std::string out;
    for (const auto& [block, size] : sizes_) {
        out += "block: " + std::to_string(size) + " bytes\n";
    }
    return out;
}

// ---------------------------------------------------------------- state

HostState::HostState()
    : values(*this), lists(*this), memory(*this), appInfo(*this), provider(*this) {}

HostResult HostState::Lookup(const InterfaceId* iid, void** out) {
    if (faults.Enter(Operation::QueryInterface) || iid == nullptr || out == nullptr) {
        if (out != nullptr) {
            *out = nullptr;
        }
        return kHostNoInterface;
    }
    if (SameGuid(*iid, kIidHostValueService)) {
        values.AddRef();
        *out = static_cast<HostValueService*>(&values);
    } else if (SameGuid(*iid, kIidHostListService)) {
        lists.AddRef();
        *out = static_cast<HostListService*>(&lists);
    } else if (SameGuid(*iid, kIidHostMemoryService)) {
        memory.AddRef();
        *out = static_cast<HostMemoryService*>(&memory);
    } else if (SameGuid(*iid, kIidHostAppInfoService)) {
        appInfo.AddRef();
        *out = static_cast<HostAppInfoService*>(&appInfo);
    } else if (SameGuid(*iid, kIidUnknown)) {
        provider.AddRef();
        *out = static_cast<HostServiceProvider*>(&provider);
    } else {
        *out = nullptr;
        return kHostNoInterface;
    }
    return kHostOk;
}

int64_t HostState::ServiceReferences() const {
    return values.count.Outstanding() + lists.count.Outstanding() + memory.count.Outstanding() +
           appInfo.count.Outstanding() + provider.count.Outstanding();
}

// ---------------------------------------------------------------- values

HostResult TESMAR_CALL SimValueService::StringToSymbol(const char* name, Symbol* out) {
    const bool fail = state_.faults.Enter(Operation::StringToSymbol);
    if (out == nullptr) {
        return kFailure;
    }
    *out = 0;
    if (fail) {
        return kInjected;
    }
    if (name == nullptr) {
        return kFailure;
    }
    *out = state_.store.Intern(name);
    return kHostOk;
}

HostResult TESMAR_CALL SimValueService::ValueType(const ScriptValue* value, int32_t* type) {
    const bool fail = state_.faults.Enter(Operation::ValueType);
    if (type == nullptr) {
        return kFailure;
    }
    *type = static_cast<int32_t>(Kind::Void);
    if (fail) {
        return kInjected;
    }
    const Node* node = value == nullptr ? nullptr : state_.store.Resolve(*value);
    if (node == nullptr) {
        return kFailure;
    }
    *type = static_cast<int32_t>(node->kind);
    return kHostOk;
}

HostResult TESMAR_CALL SimValueService::ValueRelease(ScriptValue* value) {
    // Counted but never made to fail: a release that did not release would
    // only turn into a leak the plug-in cannot do anything about.
    state_.faults.Enter(Operation::ValueRelease);
    if (value == nullptr) {
        state_.store.CountBadRelease();
        return kFailure;
    }
    return state_.store.ReleaseHandle(*value) ? kHostOk : kFailure;
}

HostResult TESMAR_CALL SimValueService::ValueToInteger(const ScriptValue* value, int32_t* out) {
    if (state_.faults.Enter(Operation::ValueToInteger)) {
        return kInjected;
    }
    const Node* node = value == nullptr ? nullptr : state_.store.Resolve(*value);
    if (node == nullptr || out == nullptr || node->kind != Kind::Integer) {
        return kFailure;
    }
    *out = node->integer;
    return kHostOk;
}

HostResult TESMAR_CALL SimValueService::ValueToSymbol(const ScriptValue* value, Symbol* out) {
    if (state_.faults.Enter(Operation::ValueToSymbol)) {
        return kInjected;
    }
    const Node* node = value == nullptr ? nullptr : state_.store.Resolve(*value);
    if (node == nullptr || out == nullptr || node->kind != Kind::Symbol) {
        return kFailure;
    }
    *out = node->symbol;
    return kHostOk;
}

HostResult TESMAR_CALL SimValueService::IntegerToValue(int32_t integer, ScriptValue* out) {
    const bool fail = state_.faults.Enter(Operation::IntegerToValue);
    if (out == nullptr) {
        return kFailure;
    }
    *out = ValueStore::kVoid;
    if (fail) {
        return kInjected;
    }
    Node* node = state_.store.NewNode(Kind::Integer);
    node->integer = integer;
    *out = state_.store.NewHandle(node);
    return kHostOk;
}

HostResult TESMAR_CALL SimValueService::SymbolToValue(Symbol symbol, ScriptValue* out) {
    const bool fail = state_.faults.Enter(Operation::SymbolToValue);
    if (out == nullptr) {
        return kFailure;
    }
    *out = ValueStore::kVoid;
    if (fail) {
        return kInjected;
    }
    if (!state_.store.KnownSymbol(symbol)) {
        return kFailure;
    }
    Node* node = state_.store.NewNode(Kind::Symbol);
    node->symbol = symbol;
    *out = state_.store.NewHandle(node);
    return kHostOk;
}

HostResult TESMAR_CALL SimValueService::StringToValue(const char* text, ScriptValue* out) {
    const bool fail = state_.faults.Enter(Operation::StringToValue);
    if (out == nullptr) {
        return kFailure;
    }
    *out = ValueStore::kVoid;
    if (fail) {
        return kInjected;
    }
    if (text == nullptr) {
        return kFailure;
    }
    Node* node = state_.store.NewNode(Kind::String);
    node->text = text;
    *out = state_.store.NewHandle(node);
    return kHostOk;
}

// ---------------------------------------------------------------- lists

HostResult TESMAR_CALL SimListService::NewList(ScriptValue* out) {
    const bool fail = state_.faults.Enter(Operation::NewList);
    if (out == nullptr) {
        return kFailure;
    }
    *out = ValueStore::kVoid;
    if (fail) {
        return kInjected;
    }
    *out = state_.store.NewHandle(state_.store.NewNode(Kind::List));
    return kHostOk;
}

HostResult TESMAR_CALL SimListService::NewPropList(ScriptValue* out) {
    const bool fail = state_.faults.Enter(Operation::NewPropList);
    if (out == nullptr) {
        return kFailure;
    }
    *out = ValueStore::kVoid;
    if (fail) {
        return kInjected;
    }
    *out = state_.store.NewHandle(state_.store.NewNode(Kind::PropList));
    return kHostOk;
}

HostResult TESMAR_CALL SimListService::AppendToList(ScriptValue* list, const ScriptValue* value) {
    if (state_.faults.Enter(Operation::AppendToList)) {
        return kInjected;
    }
    ValueStore& store = state_.store;
    Node* target = list == nullptr ? nullptr : store.Resolve(*list);
    Node* element = value == nullptr ? nullptr : store.Resolve(*value);
    if (target == nullptr || element == nullptr || target->kind != Kind::List ||
        ValueStore::Reaches(element, target)) {
        return kFailure;
    }
    ValueStore::Ref(element);
    target->items.push_back(element);
    return kHostOk;
}

HostResult TESMAR_CALL SimListService::AppendToPropList(ScriptValue* list, const ScriptValue* key,
                                                        const ScriptValue* value) {
    if (state_.faults.Enter(Operation::AppendToPropList)) {
        return kInjected;
    }
    ValueStore& store = state_.store;
    Node* target = list == nullptr ? nullptr : store.Resolve(*list);
    Node* keyNode = key == nullptr ? nullptr : store.Resolve(*key);
    Node* element = value == nullptr ? nullptr : store.Resolve(*value);
    if (target == nullptr || keyNode == nullptr || element == nullptr ||
        target->kind != Kind::PropList || ValueStore::Reaches(element, target) ||
        ValueStore::Reaches(keyNode, target)) {
        return kFailure;
    }
    ValueStore::Ref(keyNode);
    ValueStore::Ref(element);
    target->keys.push_back(keyNode);
    target->items.push_back(element);
    return kHostOk;
}

int32_t TESMAR_CALL SimListService::CountElements(const ScriptValue* list) {
    if (state_.faults.Enter(Operation::CountElements)) {
        return 0;
    }
    const Node* node = list == nullptr ? nullptr : state_.store.Resolve(*list);
    return IsList(node) ? static_cast<int32_t>(node->items.size()) : 0;
}

HostResult TESMAR_CALL SimListService::GetValueByIndex(const ScriptValue* list, int32_t position,
                                                       ScriptValue* out) {
    const bool fail = state_.faults.Enter(Operation::GetValueByIndex);
    if (out == nullptr) {
        return kFailure;
    }
    *out = ValueStore::kVoid;
    if (fail) {
        return kInjected;
    }
    const Node* node = list == nullptr ? nullptr : state_.store.Resolve(*list);
    if (!IsList(node) || position < 1 || static_cast<size_t>(position) > node->items.size()) {
        return kFailure;
    }
    Node* element = node->items[static_cast<size_t>(position) - 1];
    ValueStore::Ref(element);
    *out = state_.store.NewHandle(element);
    return kHostOk;
}

// ---------------------------------------------------------------- memory

void* TESMAR_CALL SimMemoryService::Alloc(uint32_t size) {
    if (state_.faults.Enter(Operation::Alloc)) {
        return nullptr;
    }
    return state_.blocks.Alloc(size);
}

void TESMAR_CALL SimMemoryService::Free(void* block) {
    state_.faults.Enter(Operation::Free);
    if (block != nullptr && !state_.blocks.Free(block)) {
        state_.store.CountBadRelease();
    }
}

// ---------------------------------------------------------------- app info

HostResult TESMAR_CALL SimAppInfoService::GetAppInfoString(int32_t property, char* buffer,
                                                           uint32_t size) {
    const bool fail = state_.faults.Enter(Operation::GetAppInfoString);
    if (buffer == nullptr || size == 0) {
        return kFailure;
    }
    buffer[0] = '\0';
    if (fail) {
        return kInjected;
    }
    const std::string* text = property == kAppInfoProductName ? &state_.productName
                              : property == kAppInfoVersion   ? &state_.versionText
                                                              : nullptr;
    if (text == nullptr) {
        return kFailure;
    }
    const size_t length = std::min<size_t>(text->size(), size - 1);
    std::memcpy(buffer, text->data(), length);
    buffer[length] = '\0';
    return kHostOk;
}

}  // namespace hostsim
