// The exports that loopdrv/control.h describes.
#include "loopdrv/control.h"

#include "loopdrv/loopback.h"

extern "C" BOOL WINAPI LoopbackWaitIdle(DWORD timeoutMs) {
    loopdrv::Guard guard;
    return loopdrv::Loopback::Instance().WaitIdle(timeoutMs) ? TRUE : FALSE;
}

extern "C" BOOL WINAPI LoopbackInject(const BYTE* bytes, DWORD count) {
    loopdrv::Loopback& loop = loopdrv::Loopback::Instance();
    bool wake = false;
    bool queued;
    {
        loopdrv::Guard guard;
        queued = loop.Inject(bytes, count, &wake);
    }
    if (wake)
        loop.Wake();
    return queued ? TRUE : FALSE;
}

extern "C" BOOL WINAPI LoopbackSetBehaviour(const standin::StackBehaviour* behaviour) {
    if (behaviour == nullptr)
        return FALSE;
    loopdrv::Guard guard;
    loopdrv::Loopback::Instance().SetBehaviour(*behaviour);
    return TRUE;
}
