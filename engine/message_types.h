// The MIDI message types as scripts name them: the one table that sending,
// capture and decoding all read, so that a type, its status byte and its
// properties are written once.
#pragma once

#include <cstdint>

#include "engine/vocabulary.h"

// How the numbers after the type are laid out, in a script's list and in the
// wire bytes.
enum class Shape : uint8_t {
    numberAndValue,   // data1 0..127, data2 0..127
    number,           // data1 0..127
    pitchBend,        // data1, data2: 14 bits, -8192..8191 to scripts
    fixed,            // a channel-mode message: data1 and data2 from the table
    monoMode,         // controller data1 of the table; data2 0..127
    quarterFrame,     // data1: subFrame 0..7, data 0..15
    songPosition,     // data1, data2: 14 bits, 0..16383
    songSelect,       // data1 0..127
    statusOnly,       // the status byte alone
    systemExclusive,  // manufacturer 0..127 and a list of data bytes
};

struct MessageType {
    Word word;
    uint8_t status;  // for channel messages, that of channel 1
    Shape shape;
    bool channel;   // a script's list holds the channel (1..16) after the type
    uint8_t data1;  // fixed and monoMode: the controller number
    uint8_t data2;  // fixed: the controller value
    // The properties after the channel, in the order of a script's list and of
    // a decoded message; `none` where there are fewer.
    Word keys[2];
};

inline constexpr MessageType kMessageTypes[] = {
    {Word::noteOff, 0x80, Shape::numberAndValue, true, 0, 0, {Word::number, Word::velocity}},
    {Word::noteOn, 0x90, Shape::numberAndValue, true, 0, 0, {Word::number, Word::velocity}},
    {Word::polyKeyPressure,
     0xA0,
     Shape::numberAndValue,
     true,
     0,
     0,
     {Word::number, Word::pressure}},
    {Word::controlChange, 0xB0, Shape::numberAndValue, true, 0, 0, {Word::number, Word::value}},
    {Word::programChange, 0xC0, Shape::number, true, 0, 0, {Word::number, Word::none}},
    {Word::channelPressure, 0xD0, Shape::number, true, 0, 0, {Word::number, Word::none}},
    {Word::pitchBend, 0xE0, Shape::pitchBend, true, 0, 0, {Word::amount, Word::none}},
    {Word::localControlOff, 0xB0, Shape::fixed, true, 0x7A, 0x00, {Word::none, Word::none}},
    {Word::localControlOn, 0xB0, Shape::fixed, true, 0x7A, 0x7F, {Word::none, Word::none}},
    {Word::allNotesOff, 0xB0, Shape::fixed, true, 0x7B, 0x00, {Word::none, Word::none}},
    {Word::omniModeOff, 0xB0, Shape::fixed, true, 0x7C, 0x00, {Word::none, Word::none}},
    {Word::omniModeOn, 0xB0, Shape::fixed, true, 0x7D, 0x00, {Word::none, Word::none}},
    {Word::monoModeOn, 0xB0, Shape::monoMode, true, 0x7E, 0, {Word::numChannels, Word::none}},
    {Word::polyModeOn, 0xB0, Shape::fixed, true, 0x7F, 0x00, {Word::none, Word::none}},
    {Word::mtcQuarterFrame, 0xF1, Shape::quarterFrame, false, 0, 0, {Word::subFrame, Word::data}},
    {Word::songPositionPointer,
     0xF2,
     Shape::songPosition,
     false,
     0,
     0,
     {Word::position, Word::none}},
    {Word::songSelect, 0xF3, Shape::songSelect, false, 0, 0, {Word::number, Word::none}},
    {Word::tuneRequest, 0xF6, Shape::statusOnly, false, 0, 0, {Word::none, Word::none}},
    {Word::clock, 0xF8, Shape::statusOnly, false, 0, 0, {Word::none, Word::none}},
    {Word::start, 0xFA, Shape::statusOnly, false, 0, 0, {Word::none, Word::none}},
    {Word::continue_, 0xFB, Shape::statusOnly, false, 0, 0, {Word::none, Word::none}},
    {Word::stop, 0xFC, Shape::statusOnly, false, 0, 0, {Word::none, Word::none}},
    {Word::activeSensing, 0xFE, Shape::statusOnly, false, 0, 0, {Word::none, Word::none}},
    {Word::systemReset, 0xFF, Shape::statusOnly, false, 0, 0, {Word::none, Word::none}},
    {Word::systemExclusive,
     0xF0,
     Shape::systemExclusive,
     false,
     0,
     0,
     {Word::manufacturerID, Word::data}},
};

// The entry of each word that names a message type; null for other words.
struct MessageTypeIndex {
    const MessageType* entry[kWordCount];
    constexpr MessageTypeIndex() : entry() {
        for (const MessageType& type : kMessageTypes) {
            entry[static_cast<int>(type.word)] = &type;
        }
    }
};
inline constexpr MessageTypeIndex kMessageTypeIndex;

inline const MessageType* FindMessageType(Word word) {
    return kMessageTypeIndex.entry[static_cast<int>(word)];
}
