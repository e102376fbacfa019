#include "engine/midi_engine.h"

MidiEngine::MidiEngine(HostValueService& valueService, HostListService& listService,
                       HostMemoryService& memoryService)
    : valueService(valueService), listService(listService), memoryService(memoryService) {
    // Stops at the first word the host cannot make: an engine without its
    // whole vocabulary would misread every message for its whole life.
    for (int i = 0; i < kWordCount; ++i) {
        HostResult made = valueService.StringToSymbol(kWords[i].text, &symbols[i]);
        if (made == kHostOk && kWords[i].hasValue) {
            made = valueService.SymbolToValue(symbols[i], &values[i]);
        }
        if (made != kHostOk) {
            vocabularyResult_ = made;
            return;
        }
        wordsMade_ = i + 1;
    }
}

MidiEngine::~MidiEngine() {
    FreeQueue();
    for (int i = 0; i < wordsMade_; ++i) {
        if (kWords[i].hasValue) {
            valueService.ValueRelease(&values[i]);
        }
    }
}

// A value the host failed to make is neither appended nor released.
void MidiEngine::SetStatusResult(StatusCode code, ScriptValue& destination) {
    if (listService.NewPropList(&destination) != kHostOk) {
        return;
    }
    AppendIntegerProperty(destination, Word::code, code);
    ScriptValue text{};
    if (valueService.StringToValue(StatusText(code), &text) == kHostOk) {
        listService.AppendToPropList(&destination, &WordValue(Word::text), &text);
        valueService.ValueRelease(&text);
    }
}

bool MidiEngine::AppendIntegerProperty(ScriptValue& propList, Word key, int32_t integer) {
    ScriptValue item{};
    if (valueService.IntegerToValue(integer, &item) != kHostOk) {
        return false;
    }
    const bool appended =
        listService.AppendToPropList(&propList, &WordValue(key), &item) == kHostOk;
    valueService.ValueRelease(&item);
    return appended;
}
