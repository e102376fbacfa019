// winmm's entry point for the input port.
#include <cstring>

#include "loopdrv/loopback.h"
#include "loopdrv/plug.h"

namespace {

DWORD GetInputCaps(MIDIINCAPSW* caps, DWORD size) {
    if (caps == nullptr)
        return MMSYSERR_INVALPARAM;
    MIDIINCAPSW full = {};
    full.wMid = loopdrv::kUnmapped;
    full.wPid = loopdrv::kUnmapped;
    full.vDriverVersion = 0x0100;
    std::memcpy(full.szPname, loopdrv::kPortName, sizeof loopdrv::kPortName);
    std::memcpy(caps, &full, size < sizeof full ? size : sizeof full);
    return MMSYSERR_NOERROR;
}

}  // namespace

extern "C" DWORD WINAPI midMessage(UINT device, UINT message, DWORD_PTR /*user*/, DWORD_PTR param1,
                                   DWORD_PTR param2) {
    using loopdrv::Guard;
    using loopdrv::Loopback;
    switch (message) {
        case DRVM_INIT:
        case DRVM_EXIT:
        case DRVM_ENABLE:
        case DRVM_DISABLE:
            return MMSYSERR_NOERROR;
        case MIDM_GETNUMDEVS:
            return 1;
        default:
            break;
    }
    if (device != 0)
        return MMSYSERR_BADDEVICEID;
    {
        Guard guard;
        if (loopdrv::Refused(loopdrv::Direction::kInput, message))
            return MMSYSERR_NODRIVER;
        if (message == MIDM_CLOSE)
            loopdrv::Closed(loopdrv::Direction::kInput);
    }
    switch (message) {
        case MIDM_GETDEVCAPS:
            return GetInputCaps(reinterpret_cast<MIDIINCAPSW*>(param1), static_cast<DWORD>(param2));
        case MIDM_PREPARE:
            return loopdrv::PrepareHeader(reinterpret_cast<MIDIHDR*>(param1),
                                          static_cast<DWORD>(param2));
        case MIDM_UNPREPARE: {
            Guard guard;
            return loopdrv::UnprepareHeader(reinterpret_cast<MIDIHDR*>(param1),
                                            static_cast<DWORD>(param2));
        }
        default:
            break;
    }
    Guard guard;
    Loopback& loop = Loopback::Instance();
    switch (message) {
        case MIDM_OPEN:
            return loop.OpenInput(reinterpret_cast<const MIDIOPENDESC*>(param1),
                                  static_cast<DWORD>(param2));
        case MIDM_CLOSE:
            return loop.CloseInput();
        case MIDM_ADDBUFFER:
            return loop.AddBuffer(reinterpret_cast<MIDIHDR*>(param1), static_cast<DWORD>(param2));
        case MIDM_START:
            return loop.Start();
        case MIDM_STOP:
            return loop.Stop();
        case MIDM_RESET:
            return loop.ResetInput();
        default:
            return MMSYSERR_NOTSUPPORTED;
    }
}
