#include "loopdrv/plug.h"

#include <mmsystem.h>

#include <mmddk.h>

#include "loopdrv/control.h"
#include "loopdrv/loopback.h"

namespace loopdrv {
namespace {

// Guarded by the device lock.
bool unplugged = false;
bool deadHandle[2] = {false, false};  // by Direction

bool Describes(UINT message) {
    return message == MIDM_GETDEVCAPS || message == MODM_GETDEVCAPS || message == MIDM_OPEN ||
           message == MODM_OPEN;
}

bool Uses(UINT message) {
    return message == MIDM_ADDBUFFER || message == MIDM_START || message == MODM_DATA ||
           message == MODM_LONGDATA;
}

}  // namespace

bool Refused(Direction direction, UINT message) {
    if (Describes(message))
        return unplugged;
    return Uses(message) && Cut(direction);
}

bool Cut(Direction direction) {
    return unplugged || deadHandle[static_cast<int>(direction)];
}

void Closed(Direction direction) {
    deadHandle[static_cast<int>(direction)] = false;
}

}  // namespace loopdrv

extern "C" BOOL WINAPI LoopbackPlug(BOOL plugged) {
    loopdrv::Guard guard;
    if ((plugged != FALSE) != loopdrv::unplugged)
        return FALSE;
    loopdrv::unplugged = plugged == FALSE;
    if (loopdrv::unplugged) {
        const loopdrv::Loopback& loop = loopdrv::Loopback::Instance();
        loopdrv::deadHandle[0] = loop.InputOpen();
        loopdrv::deadHandle[1] = loop.OutputOpen();
    }
    return TRUE;
}
