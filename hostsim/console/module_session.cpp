#include "hostsim/console/module_session.h"

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
    : module_(std::move(module)), parameterCounts_(ParameterCounts(module_->MethodTableText())) {}

ModuleSession::~ModuleSession() {
    ModuleSession::DestroyInstances();
    module_.reset();
}

int32_t ModuleSession::MethodNumber(std::string_view name) const {
    return module_->MethodNumber(name);
}

int32_t ModuleSession::ParameterCount(int32_t method) const {
    if (method < 0 || static_cast<size_t>(method) >= parameterCounts_.size()) {
        return 0;
    }
    return parameterCounts_[static_cast<size_t>(method)];
}

bool ModuleSession::NewInstance(uintptr_t* id, std::string* error) {
    HostResult code = kHostOk;
    auto instance = module_->NewInstance(&code);
    if (!instance) {
        *error = "the instance could not be created (host code " + std::to_string(code) + ")";
        return false;
    }
    instances_.push_back(std::move(instance));
    *id = instances_.size();
    return true;
}

HostResult ModuleSession::Call(uintptr_t id, int32_t method, const std::vector<ScriptValue>& args,
                               ScriptValue& result) {
    if (id == 0 || id > instances_.size() || !instances_[id - 1]) {
        return kHostClassNotFound;
    }
    return instances_[id - 1]->Call(method, args, result);
}

void ModuleSession::DestroyInstances() {
    while (!instances_.empty()) {
        instances_.pop_back();
    }
}

}  // namespace console
