#include "console/module_session.h"

#include <iterator>

namespace console {

std::unique_ptr<ModuleSession> ModuleSession::Open(hostsim::SimHost& host, const std::string& path,
                                                   std::string* error) {
    auto module = hostsim::LoadedModule::Load(host, path, error);
    if (!module) {
        return nullptr;
    }
    const HostResult registered = module->Register();
    if (registered != kHostOk || module->MethodNames().empty()) {
        *error =
            "registration of " + path + " failed (host code " + std::to_string(registered) + ")";
        return nullptr;
    }
    return std::unique_ptr<ModuleSession>(new ModuleSession(std::move(module)));
}

ModuleSession::ModuleSession(std::unique_ptr<hostsim::LoadedModule> module)
    : module_(std::move(module)) {}

ModuleSession::~ModuleSession() {
    ModuleSession::DestroyInstances();
    module_.reset();
}

int32_t ModuleSession::MethodNumber(std::string_view name) const {
    return module_->MethodNumber(name);
}

int32_t ModuleSession::ParameterCount(int32_t method) const {
    const std::vector<hostsim::MethodEntry>& methods = module_->Methods();
    if (method < 0 || static_cast<size_t>(method) >= methods.size()) {
        return 0;
    }
    return methods[static_cast<size_t>(method)].parameters;
}

bool ModuleSession::NewInstance(uintptr_t* id, std::string* error) {
    HostResult code = kHostOk;
    auto instance = module_->NewInstance(&code);
    if (!instance) {
        *error = "the instance could not be created (host code " + std::to_string(code) + ")";
        return false;
    }
    *id = ++lastId_;
    instances_.emplace(*id, std::move(instance));
    return true;
}

HostResult ModuleSession::Call(uintptr_t id, int32_t method, const std::vector<ScriptValue>& args,
                               ScriptValue& result) {
    const auto found = instances_.find(id);
    if (found == instances_.end()) {
        return kHostClassNotFound;
    }
    return found->second->Call(method, args, result);
}

void ModuleSession::LastReferenceGone(uintptr_t id) {
    Destroy(id);
}

void ModuleSession::DestroyInstances() {
    // The newest first, as a host ends what it made last first.
    while (!instances_.empty()) {
        Destroy(std::prev(instances_.end())->first);
    }
}

void ModuleSession::Destroy(uintptr_t id) {
    const auto found = instances_.find(id);
    if (found == instances_.end()) {
        return;
    }
    // Out of the table before the module runs its destroy operation.
    std::unique_ptr<hostsim::ScriptObject> instance = std::move(found->second);
    instances_.erase(found);
    instance.reset();
}

}  // namespace console
