// On Windows the plug-in reads winmm's timeGetTime. The virtual clock takes
// that import's place in the loaded module's import table, so the module,
// and only it, reads the movie's time.
#include "console/console_clock.h"

#include <windows.h>

#include <atomic>
#include <cstring>

namespace console {
namespace {

std::atomic<bool> isVirtual{false};
std::atomic<uint32_t> virtualMs{0};
const DWORD started = GetTickCount();

DWORD WINAPI VirtualTimeGetTime() {
    return virtualMs.load();
}

bool PatchImport(HMODULE module, const char* library, const char* function, ULONG_PTR with) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        return false;
    }
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         entry->Name != 0; ++entry) {
        if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), library) != 0) {
            continue;
        }
        const DWORD namesAt =
            entry->OriginalFirstThunk != 0 ? entry->OriginalFirstThunk : entry->FirstThunk;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + namesAt);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) {
                continue;
            }
            DWORD protection = 0;
            if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE,
                                &protection)) {
                return false;
            }
            slots->u1.Function = with;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            return true;
        }
    }
    return false;
}

}  // namespace

bool UseVirtualClock(const std::string& modulePath, std::string* error) {
    // Already loaded: this only finds it (and lets its count go again).
    HMODULE module = LoadLibraryA(modulePath.c_str());
    const bool patched =
        module != nullptr && PatchImport(module, "winmm.dll", "timeGetTime",
                                         reinterpret_cast<ULONG_PTR>(&VirtualTimeGetTime));
    if (module != nullptr) {
        FreeLibrary(module);
    }
    if (!patched) {
        *error = "the module " + modulePath + " imports no timeGetTime from winmm.dll";
        return false;
    }
    virtualMs.store(0);
    isVirtual.store(true);
    return true;
}

bool ClockIsVirtual() {
    return isVirtual.load();
}

uint32_t ClockNow() {
    return isVirtual.load() ? virtualMs.load() : GetTickCount() - started;
}

void AdvanceClockTo(uint32_t ms) {
    if (isVirtual.load() && ms > virtualMs.load()) {
        virtualMs.store(ms);
    }
}

}  // namespace console
