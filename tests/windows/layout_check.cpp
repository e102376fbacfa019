// The layouts the host and winmm rely on, stated where the Windows build
// compiles them (the sources assert them too). The 64-bit build, which exists
// to run the tests under 64-bit Wine, keeps the contract's fixed offsets; the
// sizes that hold pointers are checked on the 32-bit product only.
#include <cstddef>

#include "host/host_api.h"
#include "winmm/winmm_midi_engine.h"

static_assert(offsetof(CallRecord, methodNumber) == 8);
static_assert(offsetof(CallRecord, result) == 12);
static_assert(offsetof(CallRecord, args) == 24);
static_assert(sizeof(ClassInfoEntry) == 40);
static_assert(sizeof(MIDIINCAPSA) == 44);
static_assert(sizeof(MIDIOUTCAPSA) == 52);

#if defined(_WIN64)
static_assert(sizeof(void*) == 8);
#else
static_assert(sizeof(void*) == 4);
static_assert(sizeof(MIDIHDR) == 64);
static_assert(sizeof(InputBufferSlot) == 576);
static_assert(sizeof(InterfaceObject) == 12);
#endif
