// Decoding: the reader's side of the input queue, each record turned into the
// property list a script receives ([#type: ..., properties, #timestamp: t]).
// Host thread only; the engine calls it only while an input port is open.
#pragma once

#include "contract/host_api.h"
#include "engine/input_queue.h"
#include "engine/script_values.h"

struct MessageType;

class MessageDecoder {
public:
    // The queue and the values must outlive it.
    MessageDecoder(InputQueue& queue, ScriptValues& values) : queue_(queue), values_(values) {}
    MessageDecoder(const MessageDecoder&) = delete;
    MessageDecoder& operator=(const MessageDecoder&) = delete;

    // Appends the oldest message's pairs to `propList`, which the caller made
    // and owns; it stays empty when there is none.
    void GetNextMessage(ScriptValue& propList);
    // Appends every queued message to `list`, oldest first.
    void GetPendingMessages(ScriptValue& list);

private:
    // Appends a record's whole message to `propList`; false when the host
    // failed to make or append any part of it.
    bool BuildMessage(const RawRecord& record, ScriptValue& propList);
    bool AppendMessageProperties(const MessageType& type, const RawRecord& record,
                                 ScriptValue& propList);
    bool AppendSysExData(const RawRecord& record, ScriptValue& propList);

    InputQueue& queue_;
    ScriptValues& values_;
};
