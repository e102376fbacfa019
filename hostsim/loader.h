// The stand-in host's module loader: loads the plug-in module, reads its
// class-info table, registers it into an in-memory registry, parses the method
// table and creates, calls and destroys script instances the way the host does.
//
// Single-threaded, like SimHost: every operation runs on the SimHost's thread.
// Instance records and interface objects come from the SimHost's memory, so
// its accounting covers them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "contract/host_api.h"
#include "hostsim/dynamic_library.h"
#include "hostsim/method_table.h"
#include "hostsim/registry.h"
#include "hostsim/sim_host.h"

namespace hostsim {

// The module's five entry points.
struct ModuleExports {
    DllGetClassObjectFn getClassObject = nullptr;
    DllCanUnloadNowFn canUnloadNow = nullptr;
    DllGetClassFormFn getClassForm = nullptr;
    DllGetClassInfoFn getClassInfo = nullptr;
    DllGetInterfaceFn getInterface = nullptr;
};

// Calls into the module's interface objects (the InterfaceObjects that
// DllGetInterface hands out) through their operation table, each operation
// with the type the contract declares for it: QueryInterface, AddRef,
// Release, then the interface's own operation (RegisterXtra on a
// registration object, Call on a scripting one).
HostResult InterfaceQuery(void* object, const InterfaceId& iid, void** out);
uint32_t InterfaceAddRef(void* object);
uint32_t InterfaceRelease(void* object);
HostResult InterfaceRegister(void* object, HostRegistrationService* service,
                             HostRegistry* registry);
HostResult InterfaceCall(void* object, CallRecord* call);

// An instance record as the host makes it: `size` bytes of SimHost memory,
// zero-filled, the header filled in; header.object is a reference-counted
// host object (count 1 while the record lives).
class InstanceRecord {
public:
    // Null when the memory cannot be obtained. The header hands out the
    // SimHost's services unless another provider is given.
    static std::unique_ptr<InstanceRecord> Allocate(SimHost& host, uint32_t size,
                                                    HostServiceProvider* provider = nullptr);
    ~InstanceRecord();  // frees the block
    InstanceRecord(const InstanceRecord&) = delete;
    InstanceRecord& operator=(const InstanceRecord&) = delete;

    HostHeader* header() const { return header_; }
    // The host object's reference count (1 when nobody else holds it).
    int32_t References() const;
    // AddRef/Release calls that went below zero or came after the end.
    int32_t BadReleases() const;

    struct HostObject;

private:
    InstanceRecord() = default;
    SimHost* host_ = nullptr;
    HostHeader* header_ = nullptr;
    std::unique_ptr<HostObject> object_;
};

class ScriptObject;

class LoadedModule {
public:
    // Null with a message in *error when the module cannot be loaded, an
    // export is missing or the class-info table cannot be read.
    static std::unique_ptr<LoadedModule> Load(SimHost& host, const std::string& path,
                                              std::string* error);
    // Expects every ScriptObject to be gone; checks DllCanUnloadNow and
    // unloads only when it answers 0 (a module with live objects stays mapped).
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    SimHost& host() const { return host_; }
    const ModuleExports& exports() const { return exports_; }
    // The class-info table as read at load, without the terminating entry.
    const std::vector<ClassInfoEntry>& ClassInfo() const { return classInfo_; }
    // The first class of the table (the registrar) and the script class: the
    // class entry offering the scripting interface.
    const ClassId& RegistrarClass() const { return registrarClass_; }
    const ClassId& ScriptClass() const { return scriptClass_; }

    // RegisterXtra with SimHost's app info into the in-memory registry (which
    // is cleared first). On success the method table is parsed from msgTable.
    HostResult Register();
    const std::vector<RegistryValue>& Registry() const { return registry_->values(); }
    // The last value put under `key`; null if none.
    const RegistryValue* FindRegistryValue(std::string_view key) const;
    // The registration service itself: its fault injection and accounting.
    SimRegistry& registry() const { return *registry_; }

    const std::string& MethodTableText() const { return methodTable_; }
    const std::string& XtraName() const { return xtraName_; }
    // The methods read from the method table (hostsim/method_table.h).
    const std::vector<MethodEntry>& Methods() const { return methods_; }
    std::vector<std::string> MethodNames() const;
    // Case-insensitive; -1 if none.
    int32_t MethodNumber(std::string_view name) const;

    // A script instance: record, CreateScriptInstance, scripting interface.
    // Null when any step fails (*result says which code); nothing is left behind.
    std::unique_ptr<ScriptObject> NewInstance(HostResult* result = nullptr);
    // The service provider the headers of new script instances carry (null:
    // the SimHost's own), for a test that watches how services are used.
    void UseServiceProvider(HostServiceProvider* provider) { instanceProvider_ = provider; }

    // DllCanUnloadNow; 0 once the module is unloaded.
    HostResult CanUnloadNow() const;
    // Unloads the module whatever DllCanUnloadNow answers, as a host that
    // does not ask would. Every ScriptObject must be gone.
    void Unload();

private:
    explicit LoadedModule(SimHost& host);

    SimHost& host_;
    DynamicLibrary library_;
    ModuleExports exports_;
    std::vector<ClassInfoEntry> classInfo_;
    ClassId registrarClass_{};
    ClassId scriptClass_{};
    std::unique_ptr<SimRegistry> registry_;
    std::string methodTable_;
    std::string xtraName_;
    std::vector<MethodEntry> methods_;
    HostServiceProvider* instanceProvider_ = nullptr;
};

// One instance of the script class with its scripting interface.
class ScriptObject {
public:
    // Releases the interface, destroys the instance, frees the record.
    ~ScriptObject();
    ScriptObject(const ScriptObject&) = delete;
    ScriptObject& operator=(const ScriptObject&) = delete;

    // `args` excludes `me`: the loader puts an object value for this instance
    // at element 0. `result` goes in as the value the host supplies (pass a
    // Void) and comes out as what the method wrote, or unchanged; the caller
    // releases it. Returns Call's code.
    HostResult Call(int32_t method, const std::vector<ScriptValue>& args, ScriptValue& result);

    HostHeader* record() const { return record_->header(); }
    // The scripting interface object (call it with the Interface* helpers).
    void* scripting() const { return scripting_; }
    // The host object's reference count of the record.
    int32_t References() const { return record_->References(); }

private:
    friend class LoadedModule;
    ScriptObject(LoadedModule& module, std::unique_ptr<InstanceRecord> record,
                 DestroyInstanceFn destroy, void* scripting);

    LoadedModule& module_;
    std::unique_ptr<InstanceRecord> record_;
    DestroyInstanceFn destroy_;
    void* scripting_;
};

}  // namespace hostsim
