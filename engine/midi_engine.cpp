#include "engine/midi_engine.h"

MidiEngine::MidiEngine(HostValueService& valueService, HostListService& listService,
                       HostMemoryService& memoryService)
    : memoryService(memoryService),
      vocabulary_(valueService),
      values_(valueService, listService, vocabulary_) {}

// The queue goes first, then the vocabulary with the members.
MidiEngine::~MidiEngine() {
    FreeQueue();
}

void MidiEngine::SetStatusResult(StatusCode code, ScriptValue& destination) {
    values_.MakeStatus(code, destination);
}

StatusCode MidiEngine::SendMessage(const ScriptValue& message) {
    if (!outputOpen) {
        return kStatusOutputNotOpen;
    }
    EncodedMessage encoded;
    if (const StatusCode code = encoder_.Encode(message, encoded); code != kStatusOk) {
        return code;
    }
    if (!encoded.systemExclusive) {
        return SendShortMessage(encoded.status, encoded.data1, encoded.data2, encoded.length);
    }
    const StatusCode sent = SendLongMessage(encoded.manufacturerID, encoded.data, encoded.count);
    encoder_.ReleaseData(encoded);
    return sent;
}
