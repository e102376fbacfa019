// winmm's entry point for the output port.
#include <cstring>

#include "loopdrv/loopback.h"
#include "loopdrv/plug.h"

namespace {

DWORD GetOutputCaps(MIDIOUTCAPSW* caps, DWORD size) {
    if (caps == nullptr)
        return MMSYSERR_INVALPARAM;
    MIDIOUTCAPSW full = {};
    full.wMid = loopdrv::kUnmapped;
    full.wPid = loopdrv::kUnmapped;
    full.vDriverVersion = 0x0100;
    std::memcpy(full.szPname, loopdrv::kPortName, sizeof loopdrv::kPortName);
    full.wTechnology = MOD_MIDIPORT;
    full.wChannelMask = 0xFFFF;
    std::memcpy(caps, &full, size < sizeof full ? size : sizeof full);
    return MMSYSERR_NOERROR;
}

}  // namespace

extern "C" DWORD WINAPI modMessage(UINT device, UINT message, DWORD_PTR /*user*/, DWORD_PTR param1,
                                   DWORD_PTR param2) {
    using loopdrv::Guard;
    using loopdrv::Loopback;
    switch (message) {
        case DRVM_INIT:
        case DRVM_EXIT:
        case DRVM_ENABLE:
        case DRVM_DISABLE:
            return MMSYSERR_NOERROR;
        case MODM_GETNUMDEVS:
            return 1;
        default:
            break;
    }
    if (device != 0)
        return MMSYSERR_BADDEVICEID;
    {
        Guard guard;
        if (loopdrv::Refused(loopdrv::Direction::kOutput, message))
            return MMSYSERR_NODRIVER;
        if (message == MODM_CLOSE)
            loopdrv::Closed(loopdrv::Direction::kOutput);
    }
    switch (message) {
        case MODM_GETDEVCAPS:
            return GetOutputCaps(reinterpret_cast<MIDIOUTCAPSW*>(param1),
                                 static_cast<DWORD>(param2));
        case MODM_PREPARE:
            return loopdrv::PrepareHeader(reinterpret_cast<MIDIHDR*>(param1),
                                          static_cast<DWORD>(param2));
        case MODM_UNPREPARE: {
            Guard guard;
            return loopdrv::UnprepareHeader(reinterpret_cast<MIDIHDR*>(param1),
                                            static_cast<DWORD>(param2));
        }
        default:
            break;
    }
    Loopback& loop = Loopback::Instance();
    if (message == MODM_DATA || message == MODM_LONGDATA) {
        bool wake = false;
        DWORD result;
        {
            Guard guard;
            result = message == MODM_DATA ? loop.SendShort(static_cast<DWORD>(param1), &wake)
                                          : loop.SendLong(reinterpret_cast<MIDIHDR*>(param1),
                                                          static_cast<DWORD>(param2), &wake);
        }
        if (wake)
            loop.Wake();
        return result;
    }
    Guard guard;
    switch (message) {
        case MODM_OPEN:
            return loop.OpenOutput(reinterpret_cast<const MIDIOPENDESC*>(param1),
                                   static_cast<DWORD>(param2));
        case MODM_CLOSE:
            return loop.CloseOutput();
        case MODM_RESET:
            return loop.ResetOutput();
        default:
            return MMSYSERR_NOTSUPPORTED;
    }
}
