// One system-exclusive message handed to the output driver. The whole record
// is one block from HostMemoryService; the message bytes follow `done`.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "winmm/api.h"

struct SysExOutputRecord {
    MIDIHDR header;  // first: the driver hands its address back in MOM_DONE
    SysExOutputRecord* next;
    // Written by the output callback (release), read by the host thread (acquire).
    std::atomic<uint8_t> done;
};

static_assert(std::is_standard_layout_v<SysExOutputRecord>);
static_assert(offsetof(SysExOutputRecord, header) == 0);
static_assert(sizeof(std::atomic<uint8_t>) == 1);

// The message starts at the byte right after `done`.
inline constexpr size_t kSysExBytesOffset = offsetof(SysExOutputRecord, done) + 1;

inline uint8_t* SysExBytes(SysExOutputRecord* record) {
    return reinterpret_cast<uint8_t*>(record) + kSysExBytesOffset;
}
