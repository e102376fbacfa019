#include "hostsim/sim_host.h"

#include <cstddef>

#include "hostsim/value_services.h"
#include "hostsim/value_store.h"

namespace hostsim {

struct SimHost::Impl {
    HostState state;
};

SimHost::SimHost() : impl_(std::make_unique<Impl>()) {}
SimHost::~SimHost() = default;

HostValueService& SimHost::values() {
    return impl_->state.values;
}
HostListService& SimHost::lists() {
    return impl_->state.lists;
}
HostMemoryService& SimHost::memory() {
    return impl_->state.memory;
}
HostAppInfoService& SimHost::appInfo() {
    return impl_->state.appInfo;
}
HostServiceProvider& SimHost::provider() {
    return impl_->state.provider;
}

void SimHost::SetAppInfo(std::string productName, std::string versionText) {
    impl_->state.productName = std::move(productName);
    impl_->state.versionText = std::move(versionText);
}

// ---------------------------------------------------------------- making

ScriptValue SimHost::Void() {
    return ValueStore::kVoid;
}

ScriptValue SimHost::Integer(int32_t value) {
    Node* node = impl_->state.store.NewNode(Kind::Integer);
    node->integer = value;
    return impl_->state.store.NewHandle(node);
}

ScriptValue SimHost::Float(double value) {
    Node* node = impl_->state.store.NewNode(Kind::Float);
    node->real = value;
    return impl_->state.store.NewHandle(node);
}

ScriptValue SimHost::String(std::string_view text) {
    Node* node = impl_->state.store.NewNode(Kind::String);
    node->text = text;
    return impl_->state.store.NewHandle(node);
}

ScriptValue SimHost::SymbolValue(std::string_view name) {
    Node* node = impl_->state.store.NewNode(Kind::Symbol);
    node->symbol = impl_->state.store.Intern(name);
    return impl_->state.store.NewHandle(node);
}

ScriptValue SimHost::NewList() {
    return impl_->state.store.NewHandle(impl_->state.store.NewNode(Kind::List));
}

ScriptValue SimHost::NewPropList() {
    return impl_->state.store.NewHandle(impl_->state.store.NewNode(Kind::PropList));
}

ScriptValue SimHost::Object(std::string_view tag, uintptr_t id, ObjectOwner* owner) {
    Node* node = impl_->state.store.NewNode(Kind::Object);
    node->text = tag;
    node->objectId = id;
    node->owner = owner;
    return impl_->state.store.NewHandle(node);
}

void SimHost::Append(ScriptValue& list, const ScriptValue& value) {
    ValueStore& store = impl_->state.store;
    Node* target = store.Resolve(list);
    Node* element = store.Resolve(value);
    if (target == nullptr || element == nullptr || target->kind != Kind::List ||
        ValueStore::Reaches(element, target)) {
        return;
    }
    ValueStore::Ref(element);
    target->items.push_back(element);
}

void SimHost::AppendPair(ScriptValue& propList, std::string_view key, const ScriptValue& value) {
    ValueStore& store = impl_->state.store;
    Node* target = store.Resolve(propList);
    Node* element = store.Resolve(value);
    if (target == nullptr || element == nullptr || target->kind != Kind::PropList ||
        ValueStore::Reaches(element, target)) {
        return;
    }
    Node* keyNode = store.NewNode(Kind::Symbol);
    keyNode->symbol = store.Intern(key);
    ValueStore::Ref(element);
    target->keys.push_back(keyNode);
    target->items.push_back(element);
}

ScriptValue SimHost::Copy(const ScriptValue& value) {
    ValueStore& store = impl_->state.store;
    Node* node = store.Resolve(value);
    if (node == nullptr || node->kind == Kind::Void) {
        return ValueStore::kVoid;
    }
    ValueStore::Ref(node);
    return store.NewHandle(node);
}

bool SimHost::SameValue(const ScriptValue& a, const ScriptValue& b) const {
    const ValueStore& store = impl_->state.store;
    const Node* node = store.Resolve(a);
    return node != nullptr && node == store.Resolve(b);
}

void SimHost::Release(ScriptValue& value) {
    impl_->state.store.ReleaseHandle(value);
}

bool SimHost::SetAt(ScriptValue& list, int32_t position, const ScriptValue& value) {
    ValueStore& store = impl_->state.store;
    Node* target = store.Resolve(list);
    Node* element = store.Resolve(value);
    if (target == nullptr || element == nullptr ||
        (target->kind != Kind::List && target->kind != Kind::PropList) || position < 1 ||
        static_cast<size_t>(position) > target->items.size() ||
        ValueStore::Reaches(element, target)) {
        return false;
    }
    ValueStore::Ref(element);
    Node*& slot = target->items[static_cast<size_t>(position) - 1];
    Node* old = slot;
    slot = element;
    store.Unref(old);
    return true;
}

bool SimHost::DeleteAt(ScriptValue& list, int32_t position) {
    ValueStore& store = impl_->state.store;
    Node* target = store.Resolve(list);
    if (target == nullptr || (target->kind != Kind::List && target->kind != Kind::PropList) ||
        position < 1 || static_cast<size_t>(position) > target->items.size()) {
        return false;
    }
    const size_t index = static_cast<size_t>(position) - 1;
    Node* old = target->items[index];
    target->items.erase(target->items.begin() + static_cast<std::ptrdiff_t>(index));
    if (target->kind == Kind::PropList) {
        Node* key = target->keys[index];
        target->keys.erase(target->keys.begin() + static_cast<std::ptrdiff_t>(index));
        store.Unref(key);
    }
    store.Unref(old);
    return true;
}

// ---------------------------------------------------------------- reading

Kind SimHost::KindOf(const ScriptValue& value) const {
    const Node* node = impl_->state.store.Resolve(value);
    return node == nullptr ? Kind::Void : node->kind;
}

int32_t SimHost::IntegerOf(const ScriptValue& value) const {
    const Node* node = impl_->state.store.Resolve(value);
    return node != nullptr && node->kind == Kind::Integer ? node->integer : 0;
}

double SimHost::FloatOf(const ScriptValue& value) const {
    const Node* node = impl_->state.store.Resolve(value);
    if (node == nullptr) {
        return 0.0;
    }
    if (node->kind == Kind::Integer) {
        return node->integer;
    }
    return node->kind == Kind::Float ? node->real : 0.0;
}

std::string SimHost::TextOf(const ScriptValue& value) const {
    const ValueStore& store = impl_->state.store;
    const Node* node = store.Resolve(value);
    if (node == nullptr) {
        return {};
    }
    if (node->kind == Kind::String) {
        return node->text;
    }
    return node->kind == Kind::Symbol ? store.SymbolName(node->symbol) : std::string();
}

uintptr_t SimHost::ObjectId(const ScriptValue& value) const {
    const Node* node = impl_->state.store.Resolve(value);
    return node != nullptr && node->kind == Kind::Object ? node->objectId : 0;
}

int32_t SimHost::Count(const ScriptValue& list) const {
    const Node* node = impl_->state.store.Resolve(list);
    if (node == nullptr || (node->kind != Kind::List && node->kind != Kind::PropList)) {
        return 0;
    }
    return static_cast<int32_t>(node->items.size());
}

ScriptValue SimHost::At(const ScriptValue& list, int32_t position) {
    ValueStore& store = impl_->state.store;
    const Node* node = store.Resolve(list);
    if (node == nullptr || position < 1 || position > Count(list)) {
        return ValueStore::kVoid;
    }
    Node* element = node->items[static_cast<size_t>(position) - 1];
    ValueStore::Ref(element);
    return store.NewHandle(element);
}

std::string SimHost::KeyAt(const ScriptValue& propList, int32_t position) const {
    const ValueStore& store = impl_->state.store;
    const Node* node = store.Resolve(propList);
    if (node == nullptr || node->kind != Kind::PropList || position < 1 ||
        static_cast<size_t>(position) > node->keys.size()) {
        return {};
    }
    const Node* key = node->keys[static_cast<size_t>(position) - 1];
    return key->kind == Kind::Symbol ? store.SymbolName(key->symbol) : store.Print(key);
}

std::string SimHost::Print(const ScriptValue& value) const {
    const Node* node = impl_->state.store.Resolve(value);
    return node == nullptr ? "<Invalid>" : impl_->state.store.Print(node);
}

Symbol SimHost::Intern(std::string_view name) {
    return impl_->state.store.Intern(name);
}

std::string SimHost::SymbolName(Symbol symbol) const {
    return impl_->state.store.SymbolName(symbol);
}

// ---------------------------------------------------------------- accounting

int64_t SimHost::LiveValues() const {
    return impl_->state.store.LiveHandles();
}
int64_t SimHost::LiveBlocks() const {
    return impl_->state.blocks.LiveBlocks();
}
int64_t SimHost::LiveBytes() const {
    return impl_->state.blocks.LiveBytes();
}
int64_t SimHost::BadReleases() const {
    return impl_->state.store.BadReleases();
}
int64_t SimHost::BadUses() const {
    return impl_->state.store.BadUses();
}
int64_t SimHost::ServiceReferences() const {
    return impl_->state.ServiceReferences();
}

std::string SimHost::LeakReport() const {
    return impl_->state.store.LeakLines() + impl_->state.blocks.LeakLines();
}

// ---------------------------------------------------------------- faults

void SimHost::FailCall(std::string_view operation, uint32_t nth) {
    impl_->state.faults.Fail(operation, nth);
}

void SimHost::ClearFaults() {
    impl_->state.faults.ClearFailures();
}

uint64_t SimHost::CallCount(std::string_view operation) const {
    return impl_->state.faults.Count(operation);
}

}  // namespace hostsim
