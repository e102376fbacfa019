// What the interpreter needs of the loaded plug-in: its name, its method
// table, and script instances it can create and call. The console implements
// it over the module loader; tests may implement it without a module.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "contract/host_api.h"

namespace console {

class XtraSession {
public:
    virtual ~XtraSession() = default;

    // The name scripts use in `xtra "Name"`.
    virtual const std::string& XtraName() const = 0;
    virtual const std::string& MethodTable() const = 0;
    // Case-insensitive; -1 when the table has no such method.
    virtual int32_t MethodNumber(std::string_view name) const = 0;
    // Parameters the table declares after `me`.
    virtual int32_t ParameterCount(int32_t method) const = 0;

    // A new script instance, identified by *id; false with *error otherwise.
    virtual bool NewInstance(uintptr_t* id, std::string* error) = 0;
    // `args` excludes `me`. `result` holds a Void the caller made; it is set
    // to what the method wrote (or left) and the caller releases it.
    virtual HostResult Call(uintptr_t id, int32_t method, const std::vector<ScriptValue>& args,
                            ScriptValue& result) = 0;
    // Destroys every instance made so far.
    virtual void DestroyInstances() = 0;
};

// Parameter counts of every method line of a method table, in method order:
// the comma-separated entries after the `object me` entry.
std::vector<int32_t> ParameterCounts(std::string_view methodTable);

}  // namespace console
