#include "hostsim/loader.h"

#include "hostsim/names.h"

#include <cstring>
#include <utility>

#include "hostsim/unknown_only.h"

namespace hostsim {

// ---------------------------------------------------------------- interface calls

namespace {

// The module's interface objects are InterfaceObjects: each operation is
// called through the table's own member, of the type the contract declares,
// never through a slot cast to another function type (undefined behaviour,
// and what clang's -fsanitize=function stops at).
InterfaceObject* AsInterface(void* object) {
    return static_cast<InterfaceObject*>(object);
}

}  // namespace

HostResult InterfaceQuery(void* object, const InterfaceId& iid, void** out) {
    InterfaceObject* self = AsInterface(object);
    return self->operations->queryInterface(self, &iid, out);
}

uint32_t InterfaceAddRef(void* object) {
    InterfaceObject* self = AsInterface(object);
    return self->operations->addRef(self);
}

uint32_t InterfaceRelease(void* object) {
    InterfaceObject* self = AsInterface(object);
    return self->operations->release(self);
}

HostResult InterfaceRegister(void* object, HostRegistrationService* service,
                             HostRegistry* registry) {
    InterfaceObject* self = AsInterface(object);
    return self->operations->registerXtra(self, service, registry);
}

HostResult InterfaceCall(void* object, CallRecord* call) {
    InterfaceObject* self = AsInterface(object);
    return self->operations->call(self, call);
}

// ---------------------------------------------------------------- records

// The host's own object for an instance: counts references, frees nothing
// (the record owns the block).
struct InstanceRecord::HostObject final : public HostUnknown {
    HostResult TESMAR_CALL QueryInterface(const InterfaceId* iid, void** out) override {
        return QueryUnknownOnly(static_cast<HostUnknown*>(this), iid, out);
    }
    uint32_t TESMAR_CALL AddRef() override { return static_cast<uint32_t>(++count); }
    uint32_t TESMAR_CALL Release() override {
        // The record's own reference is never given up through Release.
        if (count <= 1) {
            ++bad;
            return static_cast<uint32_t>(count);
        }
        return static_cast<uint32_t>(--count);
    }

    int32_t count = 1;
    int32_t bad = 0;
};

std::unique_ptr<InstanceRecord> InstanceRecord::Allocate(SimHost& host, uint32_t size,
                                                         HostServiceProvider* provider) {
    const uint32_t bytes = size < sizeof(HostHeader) ? uint32_t{sizeof(HostHeader)} : size;
    void* block = host.memory().Alloc(bytes);
    if (block == nullptr) {
        return nullptr;
    }
    std::memset(block, 0, bytes);
    std::unique_ptr<InstanceRecord> record(new InstanceRecord());
    record->host_ = &host;
    record->object_ = std::make_unique<HostObject>();
    record->header_ = static_cast<HostHeader*>(block);
    record->header_->object = record->object_.get();
    record->header_->serviceProvider = provider != nullptr ? provider : &host.provider();
    record->header_->memoryService = &host.memory();
    return record;
}

InstanceRecord::~InstanceRecord() {
    host_->memory().Free(header_);
}

int32_t InstanceRecord::References() const {
    return object_->count;
}

int32_t InstanceRecord::BadReleases() const {
    return object_->bad;
}

// ---------------------------------------------------------------- module

LoadedModule::LoadedModule(SimHost& host)
    : host_(host), registry_(std::make_unique<SimRegistry>()) {}

std::unique_ptr<LoadedModule> LoadedModule::Load(SimHost& host, const std::string& path,
                                                 std::string* error) {
    std::string ignored;
    std::string& message = error != nullptr ? *error : ignored;
    std::unique_ptr<LoadedModule> module(new LoadedModule(host));
    if (!module->library_.Open(path, &message)) {
        return nullptr;
    }
    // Every failure below unloads the library before the module is dropped.
    const auto fail = [&module]() -> std::unique_ptr<LoadedModule> {
        module->Unload();
        return nullptr;
    };
    const auto find = [&](const char* name) {
        void* symbol = module->library_.Symbol(name);
        if (symbol == nullptr) {
            message = path + ": no export " + name;
        }
        return symbol;
    };
    ModuleExports& exports = module->exports_;
    exports.getClassObject = reinterpret_cast<DllGetClassObjectFn>(find("DllGetClassObject"));
    exports.canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(find("DllCanUnloadNow"));
    exports.getClassForm = reinterpret_cast<DllGetClassFormFn>(find("DllGetClassForm"));
    exports.getClassInfo = reinterpret_cast<DllGetClassInfoFn>(find("DllGetClassInfo"));
    exports.getInterface = reinterpret_cast<DllGetInterfaceFn>(find("DllGetInterface"));
    if (exports.getClassObject == nullptr || exports.canUnloadNow == nullptr ||
        exports.getClassForm == nullptr || exports.getClassInfo == nullptr ||
        exports.getInterface == nullptr) {
        return fail();
    }

    ClassInfoEntry* table = nullptr;
    const HostResult result = exports.getClassInfo(&host.memory(), &table);
    if (result != kHostOk || table == nullptr) {
        message = path + ": DllGetClassInfo failed (" + std::to_string(result) + ")";
        return fail();
    }
    // The table ends at an entry whose two identifiers are zero.
    constexpr Guid kZero{};
    constexpr int kMaxEntries = 64;
    for (int i = 0; i < kMaxEntries; ++i) {
        const ClassInfoEntry& entry = table[i];
        if (SameGuid(entry.classId, kZero) && SameGuid(entry.interfaceId, kZero)) {
            break;
        }
        module->classInfo_.push_back(entry);
    }
    host.memory().Free(table);

    bool haveRegistrar = false;
    bool haveScript = false;
    for (const ClassInfoEntry& entry : module->classInfo_) {
        if (!haveRegistrar && SameGuid(entry.interfaceId, kIidRegistration)) {
            module->registrarClass_ = entry.classId;
            haveRegistrar = true;
        }
        if (!haveScript && SameGuid(entry.interfaceId, kIidScripting)) {
            module->scriptClass_ = entry.classId;
            haveScript = true;
        }
    }
    if (!haveRegistrar || !haveScript) {
        message = path + ": the class-info table lacks the registrar or the script class";
        return fail();
    }
    return module;
}

LoadedModule::~LoadedModule() {
    // A module with live objects stays mapped: unloading it would leave the
    // host holding pointers into nothing.
    if (exports_.canUnloadNow != nullptr && exports_.canUnloadNow() == kHostOk) {
        Unload();
    }
}

void LoadedModule::Unload() {
    // Its entry points go with it: nothing may call into the unmapped code.
    exports_ = ModuleExports{};
    library_.Close();
}

HostResult LoadedModule::CanUnloadNow() const {
    return exports_.canUnloadNow != nullptr ? exports_.canUnloadNow() : kHostOk;
}

HostResult LoadedModule::Register() {
    registry_->Clear();
    methodTable_.clear();
    xtraName_.clear();
    methods_.clear();

    uint32_t size = 0;
    CreateInstanceFn create = nullptr;
    DestroyInstanceFn destroy = nullptr;
    HostResult result = exports_.getClassForm(&registrarClass_, &size, &create, &destroy);
    if (result != kHostOk) {
        return result;
    }
    std::unique_ptr<InstanceRecord> record = InstanceRecord::Allocate(host_, size);
    if (record == nullptr) {
        return kHostOutOfMemory;
    }
    result = create(record->header());
    if (result != kHostOk) {
        return result;
    }
    void* registration = nullptr;
    result =
        exports_.getInterface(record->header(), &registrarClass_, &kIidRegistration, &registration);
    if (result == kHostOk) {
        result = InterfaceRegister(registration, registry_.get(), registry_->handle());
        InterfaceRelease(registration);
    }
    destroy(record->header());
    if (result != kHostOk) {
        return result;
    }

    const RegistryValue* table = FindRegistryValue("msgTable");
    if (table != nullptr && !table->bytes.empty()) {
        methodTable_.assign(reinterpret_cast<const char*>(table->bytes.data()),
                            table->bytes.size() - 1);
        xtraName_ = ReadXtraName(methodTable_);
        methods_ = ReadMethodTable(methodTable_);
    }
    return kHostOk;
}

const RegistryValue* LoadedModule::FindRegistryValue(std::string_view key) const {
    const std::vector<RegistryValue>& values = registry_->values();
    for (auto it = values.rbegin(); it != values.rend(); ++it) {
        if (it->key == key) {
            return &*it;
        }
    }
    return nullptr;
}

int32_t LoadedModule::MethodNumber(std::string_view name) const {
    for (size_t i = 0; i < methods_.size(); ++i) {
        if (SameName(methods_[i].name, name)) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

std::vector<std::string> LoadedModule::MethodNames() const {
    std::vector<std::string> names;
    for (const MethodEntry& method : methods_) {
        names.push_back(method.name);
    }
    return names;
}

std::unique_ptr<ScriptObject> LoadedModule::NewInstance(HostResult* resultOut) {
    HostResult ignored = kHostOk;
    HostResult& result = resultOut != nullptr ? *resultOut : ignored;
    uint32_t size = 0;
    CreateInstanceFn create = nullptr;
    DestroyInstanceFn destroy = nullptr;
    result = exports_.getClassForm(&scriptClass_, &size, &create, &destroy);
    if (result != kHostOk) {
        return nullptr;
    }
    std::unique_ptr<InstanceRecord> record =
        InstanceRecord::Allocate(host_, size, instanceProvider_);
    if (record == nullptr) {
        result = kHostOutOfMemory;
        return nullptr;
    }
    result = create(record->header());
    if (result != kHostOk) {
        return nullptr;
    }
    void* scripting = nullptr;
    result = exports_.getInterface(record->header(), &scriptClass_, &kIidScripting, &scripting);
    if (result != kHostOk || scripting == nullptr) {
        destroy(record->header());
        if (result == kHostOk) {
            result = kHostNoInterface;
        }
        return nullptr;
    }
    return std::unique_ptr<ScriptObject>(
        new ScriptObject(*this, std::move(record), destroy, scripting));
}

// ---------------------------------------------------------------- instances

ScriptObject::ScriptObject(LoadedModule& module, std::unique_ptr<InstanceRecord> record,
                           DestroyInstanceFn destroy, void* scripting)
    : module_(module), record_(std::move(record)), destroy_(destroy), scripting_(scripting) {}

ScriptObject::~ScriptObject() {
    InterfaceRelease(scripting_);
    destroy_(record_->header());
}

HostResult ScriptObject::Call(int32_t method, const std::vector<ScriptValue>& args,
                              ScriptValue& result) {
    SimHost& host = module_.host();
    std::vector<ScriptValue> values;
    values.reserve(args.size() + 1);
    values.push_back(host.Object(module_.XtraName(), reinterpret_cast<uintptr_t>(this)));
    values.insert(values.end(), args.begin(), args.end());

    CallRecord call{};
    call.methodNumber = method;
    call.result = result;
    call.args = values.data();
    const HostResult code = InterfaceCall(scripting_, &call);
    result = call.result;
    host.Release(values[0]);
    return code;
}

}  // namespace hostsim
