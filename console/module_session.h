// The XtraSession of the console: the plug-in module as the loader loaded it.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "console/language/session.h"
#include "hostsim/loader.h"

namespace console {

class ModuleSession : public XtraSession {
public:
    // Null with *error when the module cannot be loaded or registered.
    static std::unique_ptr<ModuleSession> Open(hostsim::SimHost& host, const std::string& path,
                                               std::string* error);
    // Destroys the instances, then unloads the module.
    ~ModuleSession() override;

    const std::string& XtraName() const override { return module_->XtraName(); }
    const std::string& MethodTable() const override { return module_->MethodTableText(); }
    int32_t MethodNumber(std::string_view name) const override;
    int32_t ParameterCount(int32_t method) const override;
    bool NewInstance(uintptr_t* id, std::string* error) override;
    HostResult Call(uintptr_t id, int32_t method, const std::vector<ScriptValue>& args,
                    ScriptValue& result) override;
    void DestroyInstances() override;
    // Destroys the instance through the module's destroy operation at once
    // (closing its ports); an id not alive is ignored.
    void LastReferenceGone(uintptr_t id) override;

    size_t LiveInstances() const { return instances_.size(); }

private:
    explicit ModuleSession(std::unique_ptr<hostsim::LoadedModule> module);
    void Destroy(uintptr_t id);

    std::unique_ptr<hostsim::LoadedModule> module_;
    // By the id scripts hold: 1, 2, ... in the order made, never reused, so
    // that two values are the same instance only when their ids are equal.
    std::map<uintptr_t, std::unique_ptr<hostsim::ScriptObject>> instances_;
    uintptr_t lastId_ = 0;
};

}  // namespace console
