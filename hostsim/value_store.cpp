#include "hostsim/value_store.h"

#include <atomic>

#include "hostsim/names.h"

namespace hostsim {
namespace {

// Handles carry their store's tag so that a value from another SimHost is
// told apart from one of ours.
std::atomic<uint32_t> nextTag{1};

constexpr uint32_t kGenerationBits = 24;
constexpr uint32_t kGenerationMask = (1u << kGenerationBits) - 1;

}  // namespace

const char* KindName(Kind kind) {
    switch (kind) {
        case Kind::Void:
            return "void";
        case Kind::Integer:
            return "integer";
        case Kind::Symbol:
            return "symbol";
        case Kind::String:
            return "string";
        case Kind::Float:
            return "float";
        case Kind::PropList:
            return "propList";
        case Kind::List:
            return "list";
        case Kind::Object:
            return "object";
    }
    return "unknown";
}

ValueStore::ValueStore() : tag_((nextTag.fetch_add(1) % 255) + 1) {
    voidNode_.refs = 1;  // never reaches 0: the shared void is not owned by anyone
}

ValueStore::~ValueStore() {
    // Leaks are reported through the accounting; here they are only reclaimed,
    // and the owners of objects among them may be gone already.
    tellOwners_ = false;
    for (Slot& slot : slots_) {
        if (slot.node != nullptr) {
            Node* node = slot.node;
            slot.node = nullptr;
            Unref(node);
        }
    }
}

Node* ValueStore::NewNode(Kind kind) {
    Node* node = new Node;
    node->kind = kind;
    return node;
}

ScriptValue ValueStore::NewHandle(Node* node) {
    uint32_t index;
    if (!freeSlots_.empty()) {
        index = freeSlots_.back();
        freeSlots_.pop_back();
    } else {
        index = static_cast<uint32_t>(slots_.size());
        slots_.push_back(Slot{});
    }
    Slot& slot = slots_[index];
    slot.node = node;
    ++liveHandles_;
    return ScriptValue{{index + 1, (tag_ << kGenerationBits) | slot.generation}};
}

Node* ValueStore::Resolve(const ScriptValue& value) const {
    if (value.word[0] == 0 && value.word[1] == 0) {
        return const_cast<Node*>(&voidNode_);
    }
    const uint32_t index = value.word[0] - 1;
    if (value.word[0] == 0 || index >= slots_.size() ||
        (value.word[1] >> kGenerationBits) != tag_ || slots_[index].node == nullptr ||
        slots_[index].generation != (value.word[1] & kGenerationMask)) {
        ++badUses_;
        return nullptr;
    }
    return slots_[index].node;
}

bool ValueStore::ReleaseHandle(const ScriptValue& value) {
    if (value.word[0] == 0 && value.word[1] == 0) {
        return true;
    }
    const uint32_t index = value.word[0] - 1;
    if (value.word[0] == 0 || index >= slots_.size() ||
        (value.word[1] >> kGenerationBits) != tag_ || slots_[index].node == nullptr ||
        slots_[index].generation != (value.word[1] & kGenerationMask)) {
        ++badReleases_;
        return false;
    }
    Slot& slot = slots_[index];
    Node* node = slot.node;
    slot.node = nullptr;
    slot.generation = (slot.generation + 1) & kGenerationMask;
    freeSlots_.push_back(index);
    --liveHandles_;
    Unref(node);
    return true;
}

void ValueStore::Unref(Node* node) {
    // Most releases leave the node alive or free one without elements: no
    // work list for those.
    if (node == &voidNode_ || --node->refs > 0) {
        return;
    }
    std::vector<std::pair<ObjectOwner*, uintptr_t>> dead;
    if (node->items.empty() && node->keys.empty()) {
        Delete(node, dead);
    } else {
        // Iterative, so that a long chain of nested lists cannot exhaust the
        // stack.
        std::vector<Node*> pending(node->items.begin(), node->items.end());
        pending.insert(pending.end(), node->keys.begin(), node->keys.end());
        Delete(node, dead);
        while (!pending.empty()) {
            Node* current = pending.back();
            pending.pop_back();
            if (current == &voidNode_ || --current->refs > 0) {
                continue;
            }
            pending.insert(pending.end(), current->items.begin(), current->items.end());
            pending.insert(pending.end(), current->keys.begin(), current->keys.end());
            Delete(current, dead);
        }
    }
    // Owners destroy instances, which release values of their own: by now
    // nothing of this release is half done.
    for (const auto& [owner, id] : dead) {
        owner->LastReferenceGone(id);
    }
}

void ValueStore::Delete(Node* node, std::vector<std::pair<ObjectOwner*, uintptr_t>>& dead) {
    if (node->kind == Kind::Object && node->owner != nullptr && tellOwners_) {
        dead.emplace_back(node->owner, node->objectId);
    }
    delete node;
}

bool ValueStore::Reaches(const Node* haystack, const Node* needle) {
    if (haystack->items.empty()) {
        return haystack == needle;
    }
    std::vector<const Node*> pending{haystack};
    while (!pending.empty()) {
        const Node* current = pending.back();
        pending.pop_back();
        if (current == needle) {
            return true;
        }
        pending.insert(pending.end(), current->items.begin(), current->items.end());
    }
    return false;
}

Symbol ValueStore::Intern(std::string_view name) {
    std::string lower = LowerCase(name);
    auto found = symbols_.find(lower);
    if (found != symbols_.end()) {
        return found->second;
    }
    names_.emplace_back(name);
    const Symbol symbol = static_cast<Symbol>(names_.size());
    symbols_.emplace(std::move(lower), symbol);
    return symbol;
}

const std::string& ValueStore::SymbolName(Symbol symbol) const {
    static const std::string unknown;
    return KnownSymbol(symbol) ? names_[symbol - 1] : unknown;
}

std::string ValueStore::LeakLines() const {
    std::string out;
    for (size_t i = 0; i < slots_.size(); ++i) {
        const Node* node = slots_[i].node;
        if (node != nullptr) {
            out += "value ";
            out += KindName(node->kind);
            out += ": ";
            out += Print(node);
            out += '\n';
        }
    }
    return out;
}

}  // namespace hostsim
