// The layouts winmm relies on, stated where the Windows build compiles them
// against the system's own headers; the host contract's are asserted in
// contract/host_api.h, which this includes. The 64-bit build, which exists to
// run the tests under 64-bit Wine, keeps the fixed offsets; the sizes that
// hold pointers are checked on the 32-bit product only.
#include <cstddef>

#include "contract/host_api.h"
#include "winmm/winmm_midi_engine.h"

static_assert(sizeof(MIDIINCAPSA) == 44);
static_assert(sizeof(MIDIOUTCAPSA) == 52);

#if defined(_WIN64)
static_assert(sizeof(void*) == 8);
#else
static_assert(sizeof(void*) == 4);
static_assert(sizeof(MIDIHDR) == 64);
static_assert(sizeof(InputBufferSlot) == 576);
#endif
