#include "winmm/module_pin.h"

#if defined(_WIN32)
#include "winmm/api.h"
#else
#include <dlfcn.h>
#endif

void PinModule() {
#if defined(_WIN32)
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(&PinModule), &module);
#else
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&PinModule), &info) != 0 && info.dli_fname != nullptr) {
        // The handle is never closed, and NODELETE keeps the code mapped
        // through any number of dlclose calls.
        dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
#endif
}
