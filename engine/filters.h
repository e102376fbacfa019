// The input filters: which received messages capture queues, set by name
// from script calls. They write the masks that capture reads on the driver's
// thread (engine/input_queue.h); everything here runs on the host's thread.
#pragma once

#include <cstdint>

#include "contract/host_api.h"
#include "engine/input_queue.h"
#include "engine/script_values.h"
#include "engine/status.h"

class InputFilters {
public:
    // The masks and the values must outlive it.
    InputFilters(FilterMasks& masks, ScriptValues& values) : masks_(masks), values_(values) {}
    InputFilters(const InputFilters&) = delete;
    InputFilters& operator=(const InputFilters&) = delete;

    // A system filter name or a list of them: every system message not named
    // is blocked afterwards.
    StatusCode SetSystemFilter(const ScriptValue& messageTypes);
    // Channel filter names on channels 0 (all), 1..16 or a list of them.
    StatusCode SetChannelFilter(const ScriptValue& messageTypes, const ScriptValue& channels);

private:
    // What a list of filter names passes: bit n of systemEntries is bit 7 of
    // typeMask[n]; typeBits and modeBits go to every selected channel.
    struct FilterBits {
        uint16_t systemEntries = 0;
        uint8_t typeBits = 0;
        uint8_t modeBits = 0;
    };
    bool LookUpFilterName(Symbol name, bool channelFilter, FilterBits& bits) const;
    StatusCode CollectFilterNames(const ScriptValue& names, bool channelFilter, FilterBits& bits);
    StatusCode SelectChannels(const ScriptValue& channels, bool (&selected)[16]);

    FilterMasks& masks_;
    ScriptValues& values_;
};
