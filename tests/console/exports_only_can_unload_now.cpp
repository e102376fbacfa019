// A shared library that is no plug-in: of the five entry points it exports
// only DllCanUnloadNow, so the loader gives up after finding that one.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) int32_t DllCanUnloadNow() {
    return 0;
}
