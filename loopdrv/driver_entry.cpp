// The driver's module entry points: the installable-driver procedure, and the
// four that the audio device enumerator looks for in every driver it may pick.
// This driver offers no audio endpoints; its "preferred" priority is what makes
// the enumerator, and through it winmm, choose it.
#include <objbase.h>

#include "loopdrv/loopback.h"

extern "C" LRESULT WINAPI DriverProc(DWORD_PTR id, HDRVR driver, UINT message, LPARAM param1,
                                     LPARAM param2) {
    switch (message) {
        case DRV_LOAD:
        case DRV_OPEN:
        case DRV_CLOSE:
        case DRV_ENABLE:
        case DRV_DISABLE:
        case DRV_INSTALL:
        case DRV_REMOVE:
            return loopdrv::kDriverSuccess;
        case DRV_FREE:
            loopdrv::Loopback::Instance().Shutdown();
            return loopdrv::kDriverSuccess;
        case DRV_QUERYCONFIGURE:
            return 0;
        case DRV_CONFIGURE:
            return DRVCNF_OK;
        default:
            return DefDriverProc(id, driver, message, param1, param2);
    }
}

constexpr int kPriorityPreferred = 3;

extern "C" int WINAPI GetPriority() {
    return kPriorityPreferred;
}

extern "C" HRESULT WINAPI GetEndpointIDs(int /*flow*/, WCHAR*** ids, GUID** guids, UINT* count,
                                         UINT* defaultIndex) {
    if (ids != nullptr)
        *ids = nullptr;
    if (guids != nullptr)
        *guids = nullptr;
    if (count != nullptr)
        *count = 0;
    if (defaultIndex != nullptr)
        *defaultIndex = 0;
    return S_OK;
}

extern "C" HRESULT WINAPI GetAudioEndpoint(void* /*key*/, void* /*device*/, void** client) {
    if (client != nullptr)
        *client = nullptr;
    return E_NOTIMPL;
}

extern "C" HRESULT WINAPI GetAudioSessionManager(void* /*device*/, void** manager) {
    if (manager != nullptr)
        *manager = nullptr;
    return E_NOTIMPL;
}
