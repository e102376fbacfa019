#include "engine/message_types.h"
#include "engine/midi_engine.h"

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
    const MessageType* type = nullptr;
    for (const MessageType& candidate : kMessageTypes) {
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
