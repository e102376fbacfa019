// MidiEngine: the platform-independent half of the engine each script
// instance owns. The device layer derives from it and supplies the platform
// operations; the dispatcher calls it.
#pragma once

#include <cstdint>

#include "contract/host_api.h"
#include "engine/input_queue.h"
#include "engine/status.h"
#include "engine/vocabulary.h"

struct MessageType;

class MidiEngine {
public:
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
    virtual void SetStatusResult(StatusCode code, ScriptValue& destination);
    virtual StatusCode SendShortMessage(uint8_t status, uint8_t data1, uint8_t data2,
                                        uint32_t length) = 0;
    virtual StatusCode SendLongMessage(uint8_t manufacturerID, const ScriptValue& data,
                                       int32_t count) = 0;

    // ---- host thread: filters
    StatusCode SetSystemFilter(const ScriptValue& messageTypes);
    StatusCode SetChannelFilter(const ScriptValue& messageTypes, const ScriptValue& channels);

    // ---- host thread: the queue's reader
    bool InputOverflowed() { return queue.Overflowed(); }
    void FlushInput() { queue.Flush(); }
    bool MessagesPending() const { return queue.Pending(); }
    void GetNextMessage(ScriptValue& propList);
    void GetPendingMessages(ScriptValue& list);

    // ---- host thread: output encoding
    StatusCode SendMessage(const ScriptValue& message);

    // 0 when the whole vocabulary was made; otherwise the host's result of the
    // first word it could not make. Such an engine is only fit to be deleted.
    HostResult VocabularyResult() const { return vocabularyResult_; }

    // ---- the vocabulary the host made for this engine
    Symbol WordSymbol(Word word) const { return symbols[static_cast<int>(word)]; }
    const ScriptValue& WordValue(Word word) const { return values[static_cast<int>(word)]; }

protected:
    // Fetches the element at `position` as an integer: 11 when absent, 10
    // when no integer. The fetched value is released either way.
    StatusCode ReadIntegerProperty(const ScriptValue& list, int32_t position, int32_t& out);
    StatusCode ReadByteProperty(const ScriptValue& list, int32_t position, int32_t min, int32_t max,
                                uint8_t& out);
    StatusCode Read14BitProperty(const ScriptValue& list, int32_t position, int32_t offset,
                                 uint8_t& low, uint8_t& high);

    // Makes the integer, appends the pair and releases its own integer value.
    // False when the host could not make or append it.
    bool AppendIntegerProperty(ScriptValue& propList, Word key, int32_t integer);

    StatusCode AllocateQueue(uint32_t requestedSize) {
        return queue.Allocate(memoryService, requestedSize);
    }
    void FreeQueue() { queue.Free(memoryService); }

    bool inputOpen = false;   // host thread only
    bool outputOpen = false;  // host thread only
    HostValueService& valueService;
    HostListService& listService;
    HostMemoryService& memoryService;
    Symbol symbols[kWordCount] = {};
    ScriptValue values[kWordCount] = {};  // the filter words' slots stay unused
    FilterMasks masks;
    InputQueue queue{masks};

private:
    HostResult vocabularyResult_ = kHostOk;
    int wordsMade_ = 0;  // words whose Symbol and symbol value were made

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

    StatusCode SendSystemExclusive(const ScriptValue& message);
    // Appends a record's whole message to `propList`; false when the host
    // failed to make or append any part of it.
    bool BuildMessage(const RawRecord& record, ScriptValue& propList);
    bool AppendMessageProperties(const MessageType& type, const RawRecord& record,
                                 ScriptValue& propList);
    bool AppendSysExData(const RawRecord& record, ScriptValue& propList);
};
