#include "engine/midi_engine.h"

namespace {

// How the numbers after the type are read and packed.
enum class Shape : uint8_t {
    numberAndValue,  // 3: 0..127, 4: 0..127
    number,          // 3: 0..127
    pitchBend,       // 3: -8192..8191
    fixed,           // controller number and value from the table
    monoMode,        // 3: 0..127 as the value of controller 126
    quarterFrame,    // 2: 0..7, 3: 0..15
    songPosition,    // 2: 0..16383
    songSelect,      // 2: 0..127
    statusOnly,
    systemExclusive,  // 2: 0..127, 3: a list of data bytes
};

struct OutputType {
    Word word;
    uint8_t status;
    Shape shape;
    bool channel;  // position 2 holds the channel, 1..16
    uint8_t data1;
    uint8_t data2;
};

constexpr OutputType kOutputTypes[] = {
    {Word::noteOff, 0x80, Shape::numberAndValue, true, 0, 0},
    {Word::noteOn, 0x90, Shape::numberAndValue, true, 0, 0},
    {Word::polyKeyPressure, 0xA0, Shape::numberAndValue, true, 0, 0},
    {Word::controlChange, 0xB0, Shape::numberAndValue, true, 0, 0},
    {Word::programChange, 0xC0, Shape::number, true, 0, 0},
    {Word::channelPressure, 0xD0, Shape::number, true, 0, 0},
    {Word::pitchBend, 0xE0, Shape::pitchBend, true, 0, 0},
    {Word::localControlOff, 0xB0, Shape::fixed, true, 0x7A, 0x00},
    {Word::localControlOn, 0xB0, Shape::fixed, true, 0x7A, 0x7F},
    {Word::allNotesOff, 0xB0, Shape::fixed, true, 0x7B, 0x00},
    {Word::omniModeOff, 0xB0, Shape::fixed, true, 0x7C, 0x00},
    {Word::omniModeOn, 0xB0, Shape::fixed, true, 0x7D, 0x00},
    {Word::monoModeOn, 0xB0, Shape::monoMode, true, 0x7E, 0},
    {Word::polyModeOn, 0xB0, Shape::fixed, true, 0x7F, 0x00},
    {Word::mtcQuarterFrame, 0xF1, Shape::quarterFrame, false, 0, 0},
    {Word::songPositionPointer, 0xF2, Shape::songPosition, false, 0, 0},
    {Word::songSelect, 0xF3, Shape::songSelect, false, 0, 0},
    {Word::tuneRequest, 0xF6, Shape::statusOnly, false, 0, 0},
    {Word::clock, 0xF8, Shape::statusOnly, false, 0, 0},
    {Word::start, 0xFA, Shape::statusOnly, false, 0, 0},
    {Word::continue_, 0xFB, Shape::statusOnly, false, 0, 0},
    {Word::stop, 0xFC, Shape::statusOnly, false, 0, 0},
    {Word::activeSensing, 0xFE, Shape::statusOnly, false, 0, 0},
    {Word::systemReset, 0xFF, Shape::statusOnly, false, 0, 0},
    {Word::systemExclusive, 0xF0, Shape::systemExclusive, false, 0, 0},
};

}  // namespace

StatusCode MidiEngine::ReadIntegerProperty(const ScriptValue& list, int32_t position,
                                           int32_t& out) {
    ScriptValue item{};
    if (listService.GetValueByIndex(&list, position, &item) != kHostOk) {
        return kStatusMissingProperty;
    }
    const HostResult converted = valueService.ValueToInteger(&item, &out);
    valueService.ValueRelease(&item);
    return converted == kHostOk ? kStatusOk : kStatusPropertyNotInteger;
}

StatusCode MidiEngine::ReadByteProperty(const ScriptValue& list, int32_t position, int32_t min,
                                        int32_t max, uint8_t& out) {
    int32_t integer = 0;
    if (const StatusCode code = ReadIntegerProperty(list, position, integer); code != kStatusOk) {
        return code;
    }
    if (integer < min || integer > max) {
        return kStatusPropertyOutOfRange;
    }
    out = static_cast<uint8_t>(integer);
    return kStatusOk;
}

StatusCode MidiEngine::Read14BitProperty(const ScriptValue& list, int32_t position, int32_t offset,
                                         uint8_t& low, uint8_t& high) {
    int32_t integer = 0;
    if (const StatusCode code = ReadIntegerProperty(list, position, integer); code != kStatusOk) {
        return code;
    }
    // In 64 bits so that no script value can overflow the sum.
    const int64_t shifted = int64_t{integer} + offset;
    if (shifted < 0 || shifted > 16383) {
        return kStatusPropertyOutOfRange;
    }
    low = static_cast<uint8_t>(shifted & 0x7F);
    high = static_cast<uint8_t>((shifted >> 7) & 0x7F);
    return kStatusOk;
}

StatusCode MidiEngine::SendMessage(const ScriptValue& message) {
    if (!outputOpen) {
        return kStatusOutputNotOpen;
    }
    ScriptValue first{};
    if (listService.GetValueByIndex(&message, 1, &first) != kHostOk) {
        return kStatusUnpackError;
    }
    Symbol name = 0;
    const HostResult converted = valueService.ValueToSymbol(&first, &name);
    valueService.ValueRelease(&first);
    if (converted != kHostOk) {
        return kStatusMessageNotSymbol;
    }
    const OutputType* type = nullptr;
    for (const OutputType& candidate : kOutputTypes) {
        if (WordSymbol(candidate.word) == name) {
            type = &candidate;
            break;
        }
    }
    if (type == nullptr) {
        return kStatusUnknownMessageType;
    }

    uint8_t status = type->status;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
    uint32_t length = 3;
    StatusCode result = kStatusOk;
    if (type->channel) {
        uint8_t channel = 0;
        result = ReadByteProperty(message, 2, 1, 16, channel);
        if (result != kStatusOk) {
            return result;
        }
        status = static_cast<uint8_t>(status + channel - 1);
    }
    switch (type->shape) {
        case Shape::numberAndValue:
            result = ReadByteProperty(message, 3, 0, 127, data1);
            if (result == kStatusOk) {
                result = ReadByteProperty(message, 4, 0, 127, data2);
            }
            break;
        case Shape::number:
            result = ReadByteProperty(message, 3, 0, 127, data1);
            length = 2;
            break;
        case Shape::pitchBend:
            result = Read14BitProperty(message, 3, 8192, data1, data2);
            break;
        case Shape::fixed:
            data1 = type->data1;
            data2 = type->data2;
            break;
        case Shape::monoMode:
            data1 = type->data1;
            result = ReadByteProperty(message, 3, 0, 127, data2);
            break;
        case Shape::quarterFrame: {
            uint8_t subFrame = 0;
            uint8_t value = 0;
            result = ReadByteProperty(message, 2, 0, 7, subFrame);
            if (result == kStatusOk) {
                result = ReadByteProperty(message, 3, 0, 15, value);
            }
            data1 = static_cast<uint8_t>(subFrame * 16 + value);
            length = 2;
            break;
        }
        case Shape::songPosition:
            result = Read14BitProperty(message, 2, 0, data1, data2);
            break;
        case Shape::songSelect:
            result = ReadByteProperty(message, 2, 0, 127, data1);
            length = 2;
            break;
        case Shape::statusOnly:
            length = 1;
            break;
        case Shape::systemExclusive:
            return SendSystemExclusive(message);
    }
    if (result != kStatusOk) {
        return result;
    }
    return SendShortMessage(status, data1, data2, length);
}

StatusCode MidiEngine::SendSystemExclusive(const ScriptValue& message) {
    uint8_t manufacturerID = 0;
    const StatusCode result = ReadByteProperty(message, 2, 0, 127, manufacturerID);
    if (result != kStatusOk) {
        return result;
    }
    ScriptValue data{};
    if (listService.GetValueByIndex(&message, 3, &data) != kHostOk) {
        return kStatusMissingProperty;
    }
    int32_t type = 0;
    valueService.ValueType(&data, &type);
    StatusCode sent = kStatusInvalidParameterType;
    if (type == kValueTypeList) {
        sent = SendLongMessage(manufacturerID, data, listService.CountElements(&data));
    }
    valueService.ValueRelease(&data);
    return sent;
}
