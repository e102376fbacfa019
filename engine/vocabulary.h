// The engine's words: every symbol it recognises or hands back to scripts,
// and the Symbols and symbol values one host made of them.
#pragma once

#include <cstdint>

#include "contract/host_api.h"

// In table order. Every word has a Symbol; all but the seven filter words
// (none .. common) also have a symbol value.
enum class Word : uint8_t {
    type,
    noteOn,
    channel,
    number,
    velocity,
    noteOff,
    polyKeyPressure,
    pressure,
    controlChange,
    value,
    programChange,
    channelPressure,
    pitchBend,
    amount,
    localControlOff,
    localControlOn,
    allNotesOff,
    omniModeOff,
    omniModeOn,
    monoModeOn,
    numChannels,
    polyModeOn,
    clock,
    start,
    stop,
    continue_,
    activeSensing,
    systemReset,
    mtcQuarterFrame,
    subFrame,
    songPositionPointer,
    position,
    songSelect,
    tuneRequest,
    systemExclusive,
    manufacturerID,
    data,
    none,
    all,
    note,
    voice,
    mode,
    realTime,
    common,
    timestamp,
    code,
    text,
};

constexpr int kWordCount = static_cast<int>(Word::text) + 1;

struct WordInfo {
    const char* text;
    bool hasValue;
};

// Indexed by Word.
extern const WordInfo kWords[kWordCount];

// The words as one host's Symbols and symbol values: made once when the engine
// is built, released when it goes. Host thread only. The host's services must
// outlive it.
class Vocabulary {
public:
    // Stops at the first word the host cannot make: Result() says which failure.
    explicit Vocabulary(HostValueService& values);
    ~Vocabulary();
    Vocabulary(const Vocabulary&) = delete;
    Vocabulary& operator=(const Vocabulary&) = delete;

    // 0 when every word was made; otherwise the host's result for the first
    // one it could not make. Such an engine is only fit to be deleted.
    HostResult Result() const { return result_; }
    Symbol SymbolOf(Word word) const { return symbols_[static_cast<int>(word)]; }
    // The symbol value of a word that has one (every word but the filter words).
    const ScriptValue& ValueOf(Word word) const { return values_[static_cast<int>(word)]; }

private:
    HostValueService& valueService_;
    Symbol symbols_[kWordCount] = {};
    ScriptValue values_[kWordCount] = {};  // the filter words' slots stay unused
    HostResult result_ = kHostOk;
    int made_ = 0;  // words whose Symbol and symbol value were made
};
