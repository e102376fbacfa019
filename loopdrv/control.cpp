// The exports that loopdrv/control.h describes.
#include "loopdrv/control.h"

#include "loopdrv/loopback.h"

extern "C" BOOL WINAPI LoopbackWaitIdle(DWORD timeoutMs) {
    loopdrv::Guard guard;
    return loopdrv::Loopback::Instance().WaitIdle(timeoutMs) ? TRUE : FALSE;
}

extern "C" BOOL WINAPI LoopbackInject(const BYTE* bytes, DWORD count) {
    loopdrv::Guard guard;
    return loopdrv::Loopback::Instance().Inject(bytes, count) ? TRUE : FALSE;
}
