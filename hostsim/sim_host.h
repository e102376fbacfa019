// The stand-in host: a value store with the host's value, list and memory
// services, accounting of every live value and memory block, fault injection
// and printing as the host's message window prints.
//
// Single-threaded, like the real host's script side: every operation runs on
// the thread that owns the SimHost.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "contract/host_api.h"

namespace hostsim {

// Type codes, as ValueType reports them. The plug-in knows 1, 2 and 7.
enum class Kind : int32_t {
    Void = 0,
    Integer = 1,
    Symbol = 2,
    String = 3,
    Float = 4,
    PropList = 6,
    List = 7,
    Object = 8,
};

// Told when the last reference to one of its objects goes, as the host
// destroys a script instance that nothing holds any more. It must outlive
// every value of its objects; the SimHost's own end reclaims without telling.
class ObjectOwner {
public:
    // Called once per object, after its value is gone from the store, so the
    // owner may use the SimHost's services (and release other values) in it.
    virtual void LastReferenceGone(uintptr_t id) = 0;

protected:
    ~ObjectOwner() = default;
};

class SimHost {
public:
    SimHost();
    ~SimHost();
    SimHost(const SimHost&) = delete;
    SimHost& operator=(const SimHost&) = delete;

    // ---- the services the plug-in receives (not reference-counted away:
    // AddRef/Release are counted so a test can check they balance)
    HostValueService& values();
    HostListService& lists();
    HostMemoryService& memory();
    HostAppInfoService& appInfo();
    HostServiceProvider& provider();  // hands out the four services above

    // Product name and version text that appInfo() answers (5 and 6).
    void SetAppInfo(std::string productName, std::string versionText);

    // ---- making values natively (each result is one live value to release,
    // except Void: a Void is no live value and releasing it does nothing, so
    // a result slot the host supplies as Void may be overwritten freely)
    ScriptValue Void();
    ScriptValue Integer(int32_t value);
    ScriptValue Float(double value);
    ScriptValue String(std::string_view text);
    ScriptValue SymbolValue(std::string_view name);
    ScriptValue NewList();
    ScriptValue NewPropList();
    // An object value: the console keeps script instances in these. `tag` is
    // printed; `id` is handed back by ObjectId. With an owner, every copy and
    // every list holding it counts, and the owner is told when the last one
    // lets go.
    ScriptValue Object(std::string_view tag, uintptr_t id, ObjectOwner* owner = nullptr);
    // Appends; the list keeps its own reference, the caller still owns `value`.
    void Append(ScriptValue& list, const ScriptValue& value);
    void AppendPair(ScriptValue& propList, std::string_view key, const ScriptValue& value);
    // Element `position` (1..Count) of a list, or the value of a property
    // list's pair, becomes `value`; false when there is no such position or
    // the list would contain itself.
    bool SetAt(ScriptValue& list, int32_t position, const ScriptValue& value);
    // Removes element or pair `position` (1..Count); false when there is none.
    bool DeleteAt(ScriptValue& list, int32_t position);
    // Another reference to the same value (one more live value).
    ScriptValue Copy(const ScriptValue& value);
    void Release(ScriptValue& value);

    // ---- reading values natively
    Kind KindOf(const ScriptValue& value) const;
    int32_t IntegerOf(const ScriptValue& value) const;   // 0 when no integer
    double FloatOf(const ScriptValue& value) const;      // integers too
    std::string TextOf(const ScriptValue& value) const;  // strings; symbols' names
    uintptr_t ObjectId(const ScriptValue& value) const;
    int32_t Count(const ScriptValue& list) const;
    // True when both are references to the same value (one list seen through
    // two variables).
    bool SameValue(const ScriptValue& a, const ScriptValue& b) const;
    // Element at position 1..Count as a new reference (release it).
    ScriptValue At(const ScriptValue& list, int32_t position);
    // Key name of pair `position` of a property list.
    std::string KeyAt(const ScriptValue& propList, int32_t position) const;
    // As the message window prints it: 1, 2.5000, "text", #noteOn, <Void>,
    // [1, 2], [], [#code: 0, #text: "No error"], [:].
    std::string Print(const ScriptValue& value) const;
    // Symbols: interned without regard to case, printed in the first spelling.
    Symbol Intern(std::string_view name);
    std::string SymbolName(Symbol symbol) const;

    // ---- accounting
    int64_t LiveValues() const;  // references made and not yet released
    int64_t LiveBlocks() const;  // Alloc'd and not yet Free'd
    int64_t LiveBytes() const;
    int64_t BadReleases() const;  // releases of dead or unknown values, bad Frees,
                                  // service Releases beyond their AddRefs
    int64_t BadUses() const;      // dead or foreign values handed to an operation
    // AddRefs (QueryInterface included) minus Releases over the services: 0
    // when whoever borrowed them gave them all back.
    int64_t ServiceReferences() const;
    // One line per leaked value or block; empty when nothing is alive.
    std::string LeakReport() const;

    // ---- fault injection: the n-th call (1 = the next) of the named service
    // operation ("NewPropList", "Alloc", "ValueToInteger", "QueryInterface",
    // ...) fails: a nonzero result code, or null for Alloc; a failing make
    // leaves a Void that is no live value. ValueRelease and Free are counted
    // but never fail. An unknown name is reported on standard error.
    void FailCall(std::string_view operation, uint32_t nth);
    void ClearFaults();
    uint64_t CallCount(std::string_view operation) const;

    // What a failing service operation returns: the value is of the wrong
    // kind, the handle is dead, the position does not exist...
    static constexpr HostResult kFailure = static_cast<HostResult>(0x80004005u);
    // ...or the call was made to fail with FailCall (QueryInterface answers
    // kHostNoInterface either way).
    static constexpr HostResult kInjectedFailure = static_cast<HostResult>(0x8004FA11u);

    // Allocations larger than this fail, as in a 32-bit host.
    static constexpr uint64_t kMaxAllocation = 1ull << 30;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace hostsim
