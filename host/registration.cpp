#include "host/registration.h"

#include <cstring>

#include "host/class_table.h"
#include "host/interface_ref.h"
#include "host/method_table.h"

namespace {

constexpr char kProductName[] = "Director";
constexpr int32_t kMinimumVersion = 6;
constexpr uint32_t kAppInfoSize = 64;

// The number formed by the leading decimal digits of a version text (0 when
// it starts with none); saturates instead of overflowing.
int32_t LeadingVersionNumber(const char* text, uint32_t size) {
    constexpr int32_t kCap = 1000000;
    int32_t number = 0;
    for (uint32_t i = 0; i < size && text[i] >= '0' && text[i] <= '9'; ++i) {
        number = number * 10 + (text[i] - '0');
        if (number > kCap) {
            number = kCap;
        }
    }
    return number;
}

// Product name (with its zero byte, case counts) and major version.
HostResult CheckHost(HostAppInfoService& appInfo) {
    char text[kAppInfoSize] = {};
    HostResult result = appInfo.GetAppInfoString(kAppInfoProductName, text, kAppInfoSize);
    if (result != kHostOk) {
        return result;
    }
    if (std::memcmp(text, kProductName, sizeof kProductName) != 0) {
        return kHostNoInterface;
    }
    std::memset(text, 0, sizeof text);
    result = appInfo.GetAppInfoString(kAppInfoVersion, text, kAppInfoSize);
    if (result != kHostOk) {
        return result;
    }
    if (LeadingVersionNumber(text, kAppInfoSize) < kMinimumVersion) {
        return kHostNoInterface;
    }
    return kHostOk;
}

// The script class's registry entry `iid`: the host's result, or
// kHostNoInterface when it hands out none. A failed call hands out nothing
// to release.
HostResult GetScriptClassEntry(HostRegistrationService& service, HostRegistry* registry,
                               const InterfaceId& iid, InterfaceRef<RegistryEntry>& entry) {
    RegistryEntry* obtained = nullptr;
    const HostResult result =
        service.GetRegistryEntry(registry, &kTesmarScriptClass, &iid, &obtained);
    if (result != kHostOk) {
        return result;
    }
    if (obtained == nullptr) {
        return kHostNoInterface;
    }
    entry = InterfaceRef<RegistryEntry>(obtained);
    return kHostOk;
}

void PutLoadOptions(HostRegistrationService& service, HostRegistry* registry) {
    InterfaceRef<RegistryEntry> entry;
    if (GetScriptClassEntry(service, registry, kIidLoadOptions, entry) != kHostOk) {
        return;
    }
    const int32_t loadOptions = 3;
    entry->PutRegistryValue(kRegistryInteger, &loadOptions, 0, "XtraLoadControlOptions");
}

HostResult PutScriptingEntries(HostHeader& owner, RegistryEntry& entry) {
    const uint8_t safe = 1;
    HostResult result = entry.PutRegistryValue(kRegistryBoolean, &safe, 1, "safeForShockwave");
    if (result != kHostOk) {
        return result;
    }
    const uint32_t size = static_cast<uint32_t>(std::strlen(kMethodTable)) + 1;
    void* block = owner.memoryService->Alloc(size);
    if (block == nullptr) {
        // Without its method table the class is useless to scripts: say so.
        return kHostOutOfMemory;
    }
    std::memcpy(block, kMethodTable, size);
    result = entry.PutRegistryValue(kRegistryText, block, 0, "msgTable");
    owner.memoryService->Free(block);
    return result;
}

HostResult Register(HostHeader& owner, HostAppInfoService& appInfo,
                    HostRegistrationService& service, HostRegistry* registry) {
    HostResult result = CheckHost(appInfo);
    if (result != kHostOk) {
        return result;
    }
    PutLoadOptions(service, registry);
    InterfaceRef<RegistryEntry> entry;
    result = GetScriptClassEntry(service, registry, kIidScripting, entry);
    if (result != kHostOk) {
        return result;
    }
    return PutScriptingEntries(owner, *entry);
}

}  // namespace

HostResult TESMAR_CALL RegisterXtraOp(InterfaceObject* self, HostRegistrationService* service,
                                      HostRegistry* registry) {
    HostHeader& owner = *self->owner;
    const auto appInfo =
        QueryService<HostAppInfoService>(*owner.serviceProvider, kIidHostAppInfoService);
    if (!appInfo) {
        return kHostNoInterface;
    }
    if (service == nullptr) {
        return kHostNoInterface;
    }
    return Register(owner, *appInfo, *service, registry);
}
