// MidiEngine: the platform-independent half of the engine each script
// instance owns. The device layer derives from it and supplies the platform
// operations; the dispatcher calls it. Its parts, each named after its file:
// the vocabulary, the script-value seam (script_values.h), the filters, the
// input queue with its decoding, and the output encoding.
//
// Every operation runs on the host's thread, called by the dispatcher, unless
// it says otherwise; the input queue's writer runs on the driver's thread.
#pragma once

#include <cstdint>

#include "contract/host_api.h"
#include "engine/decode.h"
#include "engine/encode.h"
#include "engine/filters.h"
#include "engine/input_queue.h"
#include "engine/script_values.h"
#include "engine/status.h"
#include "engine/vocabulary.h"

class MidiEngine {
public:
    // Keeps the three services, which the script instance owns and releases
    // after deleting the engine.
    MidiEngine(HostValueService& valueService, HostListService& listService,
               HostMemoryService& memoryService);
    MidiEngine(const MidiEngine&) = delete;
    MidiEngine& operator=(const MidiEngine&) = delete;

    // ---- virtual operations, in slot order [dispatcher calls, host thread]
    virtual ~MidiEngine();
    virtual StatusCode Init() = 0;
    virtual int32_t GetTime() = 0;
    virtual void ResetTimer() = 0;
    // Append the port names to `list`; the first host failure, the list as far
    // as it got (a name left out is never silent).
    virtual HostResult GetInputPorts(ScriptValue& list) = 0;
    virtual StatusCode OpenInput(int32_t portIndex, uint32_t bufSize) = 0;
    virtual StatusCode CloseInput() = 0;
    virtual HostResult GetOutputPorts(ScriptValue& list) = 0;
    virtual StatusCode OpenOutput(int32_t portIndex) = 0;
    virtual StatusCode CloseOutput() = 0;
    // [#code: code, #text: "..."] into `destination`, which the caller owns.
    virtual void SetStatusResult(StatusCode code, ScriptValue& destination);
    // What SendMessage asks of the device layer, once the message is checked.
    virtual StatusCode SendShortMessage(uint8_t status, uint8_t data1, uint8_t data2,
                                        uint32_t length) = 0;
    // `data` is the script's #data list (the caller's), `count` its length;
    // its elements are read with ReadByteProperty.
    virtual StatusCode SendLongMessage(uint8_t manufacturerID, const ScriptValue& data,
                                       int32_t count) = 0;

    // ---- filters
    StatusCode SetSystemFilter(const ScriptValue& messageTypes) {
        return filters_.SetSystemFilter(messageTypes);
    }
    StatusCode SetChannelFilter(const ScriptValue& messageTypes, const ScriptValue& channels) {
        return filters_.SetChannelFilter(messageTypes, channels);
    }

    // ---- the queue's reader
    bool InputOverflowed() { return queue_.Overflowed(); }
    void FlushInput() { queue_.Flush(); }
    bool MessagesPending() const { return queue_.Pending(); }
    // `propList` and `list` are the caller's, made empty; nothing is appended
    // while no input port is open.
    void GetNextMessage(ScriptValue& propList) {
        if (inputOpen) {
            decoder_.GetNextMessage(propList);
        }
    }
    void GetPendingMessages(ScriptValue& list) {
        if (inputOpen) {
            decoder_.GetPendingMessages(list);
        }
    }

    // ---- output
    StatusCode SendMessage(const ScriptValue& message);

    // 0 when the whole vocabulary was made; otherwise the host's result of the
    // first word it could not make. Such an engine is only fit to be deleted.
    HostResult VocabularyResult() const { return vocabulary_.Result(); }
    Symbol WordSymbol(Word word) const { return vocabulary_.SymbolOf(word); }
    const ScriptValue& WordValue(Word word) const { return vocabulary_.ValueOf(word); }

    // The masks the filters set and capture reads; tests look at them and set
    // them directly.
    FilterMasks& Masks() { return masks_; }

protected:
    // ---- for the device layer: the operations by the names the documents give
    StatusCode ReadIntegerProperty(const ScriptValue& list, int32_t position, int32_t& out) {
        return values_.ReadInteger(list, position, out);
    }
    StatusCode ReadByteProperty(const ScriptValue& list, int32_t position, int32_t min, int32_t max,
                                uint8_t& out) {
        return values_.ReadByte(list, position, min, max, out);
    }
    StatusCode Read14BitProperty(const ScriptValue& list, int32_t position, int32_t offset,
                                 uint8_t& low, uint8_t& high) {
        return values_.Read14Bit(list, position, offset, low, high);
    }
    bool AppendIntegerProperty(ScriptValue& propList, Word key, int32_t integer) {
        return values_.AppendIntegerPair(propList, key, integer);
    }
    StatusCode AllocateQueue(uint32_t requestedSize) {
        return queue_.Allocate(memoryService, requestedSize);
    }
    void FreeQueue() { queue_.Free(memoryService); }
    ScriptValues& Values() { return values_; }
    InputQueue& Queue() { return queue_; }

    bool inputOpen = false;   // host thread only
    bool outputOpen = false;  // host thread only
    HostMemoryService& memoryService;

private:
    Vocabulary vocabulary_;
    ScriptValues values_;
    FilterMasks masks_;
    InputQueue queue_{masks_};
    InputFilters filters_{masks_, values_};
    MessageDecoder decoder_{queue_, values_};
    MessageEncoder encoder_{values_};
};
