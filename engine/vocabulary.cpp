#include "engine/vocabulary.h"

const WordInfo kWords[kWordCount] = {
    {"type", true},
    {"noteOn", true},
    {"channel", true},
    {"number", true},
    {"velocity", true},
    {"noteOff", true},
    {"polyKeyPressure", true},
    {"pressure", true},
    {"controlChange", true},
    {"value", true},
    {"programChange", true},
    {"channelPressure", true},
    {"pitchBend", true},
    {"amount", true},
    {"localControlOff", true},
    {"localControlOn", true},
    {"allNotesOff", true},
    {"omniModeOff", true},
    {"omniModeOn", true},
    {"monoModeOn", true},
    {"numChannels", true},
    {"polyModeOn", true},
    {"clock", true},
    {"start", true},
    {"stop", true},
    {"continue", true},
    {"activeSensing", true},
    {"systemReset", true},
    {"mtcQuarterFrame", true},
    {"subFrame", true},
    {"songPositionPointer", true},
    {"position", true},
    {"songSelect", true},
    {"tuneRequest", true},
    {"systemExclusive", true},
    {"manufacturerID", true},
    {"data", true},
    {"none", false},
    {"all", false},
    {"note", false},
    {"voice", false},
    {"mode", false},
    {"realTime", false},
    {"common", false},
    {"timestamp", true},
    {"code", true},
    {"text", true},
};

Vocabulary::Vocabulary(HostValueService& values) : valueService_(values) {
    // An engine without its whole vocabulary would misread every message for
    // its whole life.
    for (int i = 0; i < kWordCount; ++i) {
        HostResult made = values.StringToSymbol(kWords[i].text, &symbols_[i]);
        if (made == kHostOk && kWords[i].hasValue) {
            made = values.SymbolToValue(symbols_[i], &values_[i]);
        }
        if (made != kHostOk) {
            result_ = made;
            return;
        }
        made_ = i + 1;
    }
}

Vocabulary::~Vocabulary() {
    for (int i = 0; i < made_; ++i) {
        if (kWords[i].hasValue) {
            valueService_.ValueRelease(&values_[i]);
        }
    }
}
