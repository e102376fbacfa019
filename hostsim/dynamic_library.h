// Loading a shared library and finding its symbols: the loader's only
// platform-specific part.
#pragma once

#include <string>

namespace hostsim {

class DynamicLibrary {
public:
    // False with a message in *error when the library cannot be loaded.
    bool Open(const std::string& path, std::string* error);
    // Null when there is no such symbol.
    void* Symbol(const char* name) const;
    void Close();
    ~DynamicLibrary() = default;  // stays loaded unless closed

private:
    void* handle_ = nullptr;
};

}  // namespace hostsim
