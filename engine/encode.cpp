#include "engine/encode.h"

#include "engine/message_types.h"

StatusCode MessageEncoder::Encode(const ScriptValue& message, EncodedMessage& out) {
    ScriptValue first{};
    if (!values_.Fetch(message, 1, first)) {
        return kStatusUnpackError;
    }
    Symbol name = 0;
    const HostResult converted = values_.ToSymbol(first, name);
    values_.Release(first);
    if (converted != kHostOk) {
        return kStatusMessageNotSymbol;
    }
    const MessageType* type = nullptr;
    for (const MessageType& candidate : kMessageTypes) {
        if (values_.vocabulary().SymbolOf(candidate.word) == name) {
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
        result = values_.ReadByte(message, 2, 1, 16, channel);
        if (result != kStatusOk) {
            return result;
        }
        status = static_cast<uint8_t>(status + channel - 1);
    }
    switch (type->shape) {
        case Shape::numberAndValue:
            result = values_.ReadByte(message, 3, 0, 127, data1);
            if (result == kStatusOk) {
                result = values_.ReadByte(message, 4, 0, 127, data2);
            }
            break;
        case Shape::number:
            result = values_.ReadByte(message, 3, 0, 127, data1);
            length = 2;
            break;
        case Shape::pitchBend:
            result = values_.Read14Bit(message, 3, 8192, data1, data2);
            break;
        case Shape::fixed:
            data1 = type->data1;
            data2 = type->data2;
            break;
        case Shape::monoMode:
            data1 = type->data1;
            result = values_.ReadByte(message, 3, 0, 127, data2);
            break;
        case Shape::quarterFrame: {
            uint8_t subFrame = 0;
            uint8_t value = 0;
            result = values_.ReadByte(message, 2, 0, 7, subFrame);
            if (result == kStatusOk) {
                result = values_.ReadByte(message, 3, 0, 15, value);
            }
            data1 = static_cast<uint8_t>(subFrame * 16 + value);
            length = 2;
            break;
        }
        case Shape::songPosition:
            result = values_.Read14Bit(message, 2, 0, data1, data2);
            break;
        case Shape::songSelect:
            result = values_.ReadByte(message, 2, 0, 127, data1);
            length = 2;
            break;
        case Shape::statusOnly:
            length = 1;
            break;
        case Shape::systemExclusive:
            return EncodeSystemExclusive(message, out);
    }
    if (result != kStatusOk) {
        return result;
    }
    out.systemExclusive = false;
    out.status = status;
    out.data1 = data1;
    out.data2 = data2;
    out.length = length;
    return kStatusOk;
}

StatusCode MessageEncoder::EncodeSystemExclusive(const ScriptValue& message, EncodedMessage& out) {
    uint8_t manufacturerID = 0;
    const StatusCode result = values_.ReadByte(message, 2, 0, 127, manufacturerID);
    if (result != kStatusOk) {
        return result;
    }
    ScriptValue data{};
    if (!values_.Fetch(message, 3, data)) {
        return kStatusMissingProperty;
    }
    if (values_.TypeOf(data) != kValueTypeList) {
        values_.Release(data);
        return kStatusInvalidParameterType;
    }
    out.systemExclusive = true;
    out.manufacturerID = manufacturerID;
    out.count = values_.Count(data);
    out.data = data;
    return kStatusOk;
}
