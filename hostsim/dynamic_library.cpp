#include "hostsim/dynamic_library.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace hostsim {

#if defined(_WIN32)

bool DynamicLibrary::Open(const std::string& path, std::string* error) {
    handle_ = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
    if (handle_ == nullptr && error != nullptr) {
        *error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    }
    return handle_ != nullptr;
}

void* DynamicLibrary::Symbol(const char* name) const {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void DynamicLibrary::Close() {
    if (handle_ != nullptr) {
        FreeLibrary(static_cast<HMODULE>(handle_));
        handle_ = nullptr;
    }
}

#else

bool DynamicLibrary::Open(const std::string& path, std::string* error) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr && error != nullptr) {
        const char* reason = dlerror();
        *error = reason != nullptr ? reason : "cannot load " + path;
    }
    return handle_ != nullptr;
}

void* DynamicLibrary::Symbol(const char* name) const {
    return dlsym(handle_, name);
}

void DynamicLibrary::Close() {
    if (handle_ != nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
    }
}

#endif

}  // namespace hostsim
