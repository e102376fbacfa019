// The one seam between the engine and script values: reading what a script
// handed in (an element as an integer, a byte in a range, a 14-bit value or
// a symbol; walking a list) and making what goes back (integer properties,
// strings, status results), over the host's value and list services and the
// vocabulary. Filters, decoding, encoding and the device layer's sysex send
// all read and make values here. Host thread only; it releases every value
// it fetches before returning.
#pragma once

#include <cstdint>

#include "contract/host_api.h"
#include "engine/status.h"
#include "engine/vocabulary.h"

class ScriptValues {
public:
    // The services and the vocabulary must outlive it.
    ScriptValues(HostValueService& values, HostListService& lists, const Vocabulary& vocabulary)
        : values_(values), lists_(lists), vocabulary_(vocabulary) {}
    ScriptValues(const ScriptValues&) = delete;
    ScriptValues& operator=(const ScriptValues&) = delete;

    // ---- reading a script's values
    // Element `position` (from 1) of a list or property list as an integer:
    // 11 when absent, 10 when no integer.
    StatusCode ReadInteger(const ScriptValue& list, int32_t position, int32_t& out);
    // ... as a byte from `min` to `max`: also 12 outside the range.
    StatusCode ReadByte(const ScriptValue& list, int32_t position, int32_t min, int32_t max,
                        uint8_t& out);
    // ... as a 14-bit value after adding `offset`, split into its low and high
    // seven bits: also 12 outside 0..16383.
    StatusCode Read14Bit(const ScriptValue& list, int32_t position, int32_t offset, uint8_t& low,
                         uint8_t& high);
    // The host's type code of a value (1 integer, 2 symbol, 7 list).
    int32_t TypeOf(const ScriptValue& value);
    int32_t Count(const ScriptValue& list) { return lists_.CountElements(&list); }
    HostResult ToInteger(const ScriptValue& value, int32_t& out) {
        return values_.ValueToInteger(&value, &out);
    }
    HostResult ToSymbol(const ScriptValue& value, Symbol& out) {
        return values_.ValueToSymbol(&value, &out);
    }
    // Fetches element `position`; false when there is none. The caller
    // releases what it got.
    bool Fetch(const ScriptValue& list, int32_t position, ScriptValue& out) {
        return lists_.GetValueByIndex(&list, position, &out) == kHostOk;
    }
    void Release(ScriptValue& value) { values_.ValueRelease(&value); }

    // Calls `visit(element)` for every element of a list, in order; an element
    // that cannot be fetched counts as `unreadable`. Every element is visited
    // whatever the others gave; the code of the last failure is returned.
    template <typename Visit>
    StatusCode ForEachElement(const ScriptValue& list, StatusCode unreadable, Visit visit) {
        StatusCode result = kStatusOk;
        const int32_t count = Count(list);
        for (int32_t position = 1; position <= count; ++position) {
            ScriptValue element{};
            if (!Fetch(list, position, element)) {
                result = unreadable;
                continue;
            }
            const StatusCode code = visit(static_cast<const ScriptValue&>(element));
            Release(element);
            if (code != kStatusOk) {
                result = code;
            }
        }
        return result;
    }

    // ---- making values for a script
    HostResult NewList(ScriptValue& out) { return lists_.NewList(&out); }
    HostResult NewPropList(ScriptValue& out) { return lists_.NewPropList(&out); }
    HostResult Append(ScriptValue& list, const ScriptValue& value) {
        return lists_.AppendToList(&list, &value);
    }
    HostResult AppendPair(ScriptValue& propList, Word key, const ScriptValue& value) {
        return lists_.AppendToPropList(&propList, &vocabulary_.ValueOf(key), &value);
    }
    // Makes the integer, appends it (to a property list under `key`, or to a
    // list), and releases its own value. False when the host could not make or
    // append it.
    bool AppendIntegerPair(ScriptValue& propList, Word key, int32_t integer);
    bool AppendInteger(ScriptValue& list, int32_t integer);
    // Makes the string and appends it to a list: the host's result.
    HostResult AppendString(ScriptValue& list, const char* text);
    // [#code: code, #text: "..."] into `destination`; a part the host could
    // not make is left out.
    void MakeStatus(StatusCode code, ScriptValue& destination);

    const Vocabulary& vocabulary() const { return vocabulary_; }

private:
    HostValueService& values_;
    HostListService& lists_;
    const Vocabulary& vocabulary_;
};
