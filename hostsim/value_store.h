// The value store behind SimHost: reference-counted nodes reached through
// handles. Every handle is one live value; a ScriptValue carries the handle's
// slot and a check word (store tag and generation), so a dead or foreign
// handle is recognised instead of followed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "contract/host_api.h"
#include "hostsim/sim_host.h"

namespace hostsim {

struct Node {
    Kind kind = Kind::Void;
    int32_t refs = 1;  // handles plus containing lists
    int32_t integer = 0;
    double real = 0.0;
    Symbol symbol = 0;
    uintptr_t objectId = 0;
    ObjectOwner* owner = nullptr;  // objects: told when the last reference goes
    std::string text;              // strings; object tags
    std::vector<Node*> items;      // list elements; property list values
    std::vector<Node*> keys;       // property list keys, parallel to items
};

class ValueStore {
public:
    ValueStore();
    ~ValueStore();
    ValueStore(const ValueStore&) = delete;
    ValueStore& operator=(const ValueStore&) = delete;

    // The Void that is no live value: {0, 0}. Releasing it does nothing.
    static constexpr ScriptValue kVoid = {{0, 0}};

    // A new node with one reference, to be handed to NewHandle or a list.
    Node* NewNode(Kind kind);
    // Takes over one reference of `node`.
    ScriptValue NewHandle(Node* node);
    // The node behind a value; the shared void node for kVoid; null for a
    // dead or foreign handle (counted as a bad use).
    Node* Resolve(const ScriptValue& value) const;
    // False (and counted) for a dead or foreign handle.
    bool ReleaseHandle(const ScriptValue& value);

    static void Ref(Node* node) { ++node->refs; }
    void Unref(Node* node);
    // Whether `needle` is `haystack` or inside it: appending would make a cycle.
    static bool Reaches(const Node* haystack, const Node* needle);

    Symbol Intern(std::string_view name);
    bool KnownSymbol(Symbol symbol) const { return symbol >= 1 && symbol <= names_.size(); }
    const std::string& SymbolName(Symbol symbol) const;

    std::string Print(const Node* node) const;

    int64_t LiveHandles() const { return liveHandles_; }
    int64_t BadReleases() const { return badReleases_; }
    int64_t BadUses() const { return badUses_; }
    void CountBadRelease() { ++badReleases_; }
    // One line per live handle.
    std::string LeakLines() const;

private:
    struct Slot {
        Node* node = nullptr;  // null while free
        uint32_t generation = 1;
    };

    void PrintInto(const Node* node, std::string& out) const;
    // Deletes a node whose last reference went; an owned object's owner is
    // added to `dead`, to be told once the store is consistent again.
    void Delete(Node* node, std::vector<std::pair<ObjectOwner*, uintptr_t>>& dead);

    uint32_t tag_;
    std::vector<Slot> slots_;
    std::vector<uint32_t> freeSlots_;
    Node voidNode_;
    std::vector<std::string> names_;                   // Symbol n is names_[n - 1]
    std::unordered_map<std::string, Symbol> symbols_;  // by lower-case name
    bool tellOwners_ = true;                           // false while the store itself ends
    int64_t liveHandles_ = 0;
    int64_t badReleases_ = 0;
    mutable int64_t badUses_ = 0;
};

const char* KindName(Kind kind);

}  // namespace hostsim
