// The engine's words: every symbol it recognises or hands back to scripts.
#pragma once

#include <cstdint>

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
