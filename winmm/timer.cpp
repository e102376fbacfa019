#include "winmm/winmm_midi_engine.h"

int32_t WinMmMidiEngine::GetTime() {
    // Unsigned subtraction stays right across the clock's wrap at 2^32.
    return static_cast<int32_t>(timeGetTime() - timerBase);
}

void WinMmMidiEngine::ResetTimer() {
    timerBase = timeGetTime();
}
