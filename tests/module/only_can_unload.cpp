// A library that exports only DllCanUnloadNow: the loader must refuse it.
#include "contract/host_api.h"

extern "C" __attribute__((visibility("default"))) HostResult TESMAR_CALL DllCanUnloadNow() {
    return kHostOk;
}
