#include "engine/filters.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

constexpr uint16_t Entry(int n) {
    return static_cast<uint16_t>(1u << n);
}

constexpr uint16_t kRealTimeEntries =
    Entry(8) | Entry(10) | Entry(11) | Entry(12) | Entry(14) | Entry(15);
constexpr uint16_t kSysExEntries = Entry(0) | Entry(7);
constexpr uint16_t kCommonEntries = Entry(1) | Entry(2) | Entry(3) | Entry(6) | kSysExEntries;
// Entries 4, 5, 9 and 13 stand for status bytes that are never queued.
constexpr uint16_t kSystemEntriesInUse = kRealTimeEntries | kCommonEntries;

struct SystemName {
    Word word;
    uint16_t entries;
};

constexpr SystemName kSystemNames[] = {
    {Word::clock, Entry(8)},
    {Word::start, Entry(10)},
    {Word::continue_, Entry(11)},
    {Word::stop, Entry(12)},
    {Word::activeSensing, Entry(14)},
    {Word::systemReset, Entry(15)},
    {Word::realTime, kRealTimeEntries},
    {Word::mtcQuarterFrame, Entry(1)},
    {Word::songPositionPointer, Entry(2)},
    {Word::songSelect, Entry(3)},
    {Word::tuneRequest, Entry(6)},
    {Word::systemExclusive, kSysExEntries},
    {Word::common, kCommonEntries},
    {Word::all, kSystemEntriesInUse},
    {Word::none, 0},
};

struct ChannelName {
    Word word;
    uint8_t typeBits;
    uint8_t modeBits;
};

constexpr ChannelName kChannelNames[] = {
    {Word::noteOff, 0x01, 0},
    {Word::noteOn, 0x02, 0},
    {Word::polyKeyPressure, 0x04, 0},
    {Word::controlChange, 0x08, 0},
    {Word::programChange, 0x10, 0},
    {Word::channelPressure, 0x20, 0},
    {Word::pitchBend, 0x40, 0},
    {Word::note, 0x03, 0},
    {Word::voice, 0x7F, 0},
    {Word::localControlOff, 0, 0x01},
    {Word::localControlOn, 0, 0x02},
    {Word::allNotesOff, 0, 0x04},
    {Word::omniModeOff, 0, 0x08},
    {Word::omniModeOn, 0, 0x10},
    {Word::monoModeOn, 0, 0x20},
    {Word::polyModeOn, 0, 0x40},
    {Word::mode, 0, 0x7F},
    {Word::all, 0x7F, 0x7F},
    {Word::none, 0, 0},
};

}  // namespace

bool InputFilters::LookUpFilterName(Symbol name, bool channelFilter, FilterBits& bits) const {
    if (channelFilter) {
        for (const ChannelName& entry : kChannelNames) {
            if (values_.vocabulary().SymbolOf(entry.word) == name) {
                bits.typeBits |= entry.typeBits;
                bits.modeBits |= entry.modeBits;
                return true;
            }
        }
        return false;
    }
    for (const SystemName& entry : kSystemNames) {
        if (values_.vocabulary().SymbolOf(entry.word) == name) {
            bits.systemEntries |= entry.entries;
            return true;
        }
    }
    return false;
}

// A symbol or a list of symbols. A failing list element is skipped; the code
// of the last failure is returned.
StatusCode InputFilters::CollectFilterNames(const ScriptValue& names, bool channelFilter,
                                            FilterBits& bits) {
    const int32_t type = values_.TypeOf(names);
    if (type == kValueTypeSymbol) {
        Symbol name = 0;
        if (values_.ToSymbol(names, name) != kHostOk) {
            return kStatusInvalidParameterValue;
        }
        return LookUpFilterName(name, channelFilter, bits) ? kStatusOk : kStatusUnknownMessageType;
    }
    if (type != kValueTypeList) {
        return kStatusInvalidParameterType;
    }
    return values_.ForEachElement(
        names, kStatusInvalidParameterValue, [&](const ScriptValue& element) {
            Symbol name = 0;
            if (values_.ToSymbol(element, name) != kHostOk) {
                return kStatusInvalidParameterType;
            }
            return LookUpFilterName(name, channelFilter, bits) ? kStatusOk
                                                               : kStatusUnknownMessageType;
        });
}

StatusCode InputFilters::SetSystemFilter(const ScriptValue& messageTypes) {
    for (int entry = 0; entry < 16; ++entry) {
        if (kSystemEntriesInUse & Entry(entry)) {
            masks_.typeMask[entry].store(masks_.typeMask[entry].load(kRelaxed) & 0x7F, kRelaxed);
        }
    }
    FilterBits bits;
    const StatusCode result = CollectFilterNames(messageTypes, false, bits);
    for (int entry = 0; entry < 16; ++entry) {
        if (bits.systemEntries & Entry(entry)) {
            masks_.typeMask[entry].store(masks_.typeMask[entry].load(kRelaxed) | 0x80, kRelaxed);
        }
    }
    return result;
}

// Changes nothing; fails with the code of the last bad element.
StatusCode InputFilters::SelectChannels(const ScriptValue& channels, bool (&selected)[16]) {
    const int32_t type = values_.TypeOf(channels);
    if (type == kValueTypeInteger) {
        int32_t channel = 0;
        if (values_.ToInteger(channels, channel) != kHostOk) {
            return kStatusInvalidParameterValue;
        }
        if (channel < 0 || channel > 16) {
            return kStatusParameterOutOfRange;
        }
        for (int c = 0; c < 16; ++c) {
            selected[c] = channel == 0 || channel == c + 1;
        }
        return kStatusOk;
    }
    if (type != kValueTypeList) {
        return kStatusInvalidParameterType;
    }
    return values_.ForEachElement(channels, kStatusInvalidParameterType,
                                  [&](const ScriptValue& element) {
                                      int32_t channel = 0;
                                      if (values_.ToInteger(element, channel) != kHostOk) {
                                          return kStatusInvalidParameterValue;
                                      }
                                      if (channel < 1 || channel > 16) {
                                          return kStatusParameterOutOfRange;
                                      }
                                      selected[channel - 1] = true;
                                      return kStatusOk;
                                  });
}

StatusCode InputFilters::SetChannelFilter(const ScriptValue& messageTypes,
                                          const ScriptValue& channels) {
    bool selected[16] = {};
    const StatusCode channelResult = SelectChannels(channels, selected);
    if (channelResult != kStatusOk) {
        return channelResult;
    }
    bool any = false;
    for (bool channel : selected) {
        any = any || channel;
    }
    if (!any) {
        return kStatusOk;  // an empty channel list changes nothing
    }
    for (int c = 0; c < 16; ++c) {
        if (selected[c]) {
            masks_.typeMask[c].store(masks_.typeMask[c].load(kRelaxed) & 0x80, kRelaxed);
            masks_.modeMask[c].store(masks_.modeMask[c].load(kRelaxed) & 0x80, kRelaxed);
        }
    }
    FilterBits bits;
    const StatusCode result = CollectFilterNames(messageTypes, true, bits);
    for (int c = 0; c < 16; ++c) {
        if (selected[c]) {
            masks_.typeMask[c].store(masks_.typeMask[c].load(kRelaxed) | bits.typeBits, kRelaxed);
            masks_.modeMask[c].store(masks_.modeMask[c].load(kRelaxed) | bits.modeBits, kRelaxed);
        }
    }
    return result;
}
