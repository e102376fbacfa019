// What the interpreter needs of the loaded plug-in: its name, its method
// table, and script instances it can create and call. The console implements
// it over the module loader; tests may implement it without a module.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "contract/host_api.h"
#include "hostsim/sim_host.h"

namespace console {

// The owner of the object values that hold its instances: when the last one
// lets go, LastReferenceGone(id) destroys instance `id`, as the host destroys
// a script object that nothing refers to any more.
class XtraSession : public hostsim::ObjectOwner {
public:
    virtual ~XtraSession() = default;

    // The name scripts use in `xtra "Name"`.
    virtual const std::string& XtraName() const = 0;
    virtual const std::string& MethodTable() const = 0;
    // Case-insensitive; -1 when the table has no such method.
    virtual int32_t MethodNumber(std::string_view name) const = 0;
    // Parameters the table declares after `me`.
    virtual int32_t ParameterCount(int32_t method) const = 0;

    // A new script instance, identified by *id (never one used before);
    // false with *error otherwise.
    virtual bool NewInstance(uintptr_t* id, std::string* error) = 0;
    // `args` excludes `me`. `result` holds a Void the caller made; it is set
    // to what the method wrote (or left) and the caller releases it.
    virtual HostResult Call(uintptr_t id, int32_t method, const std::vector<ScriptValue>& args,
                            ScriptValue& result) = 0;
    // Destroys every instance still alive: those whose values leaked.
    virtual void DestroyInstances() = 0;
};

}  // namespace console
