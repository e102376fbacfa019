#include "engine/encode.h"

#include "engine/message_types.h"

StatusCode MessageEncoder::Encode(const ScriptValue& message, EncodedMessage& out) {
    const MessageType* type = nullptr;
    if (const StatusCode code = LookUpType(message, type); code != kStatusOk) {
        return code;
    }
    if (type->shape == Shape::systemExclusive) {
        return EncodeSystemExclusive(message, out);
    }
    out = EncodedMessage{};
    out.status = type->status;
    if (type->channel) {
        uint8_t channel = 0;
        if (const StatusCode code = values_.ReadByte(message, 2, 1, 16, channel);
            code != kStatusOk) {
            return code;
        }
        out.status = static_cast<uint8_t>(out.status + channel - 1);
    }
    return EncodeData(*type, message, out);
}

// The type symbol in position 1, found in the message table.
StatusCode MessageEncoder::LookUpType(const ScriptValue& message, const MessageType*& type) {
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
    for (const MessageType& candidate : kMessageTypes) {
        if (values_.vocabulary().SymbolOf(candidate.word) == name) {
            type = &candidate;
            return kStatusOk;
        }
    }
    return kStatusUnknownMessageType;
}

// The data bytes after the status, by the type's shape, each checked in order.
StatusCode MessageEncoder::EncodeData(const MessageType& type, const ScriptValue& message,
                                      EncodedMessage& out) {
    out.length = 3;
    StatusCode result = kStatusOk;
    switch (type.shape) {
        case Shape::numberAndValue:
            result = values_.ReadByte(message, 3, 0, 127, out.data1);
            if (result == kStatusOk) {
                result = values_.ReadByte(message, 4, 0, 127, out.data2);
            }
            break;
        case Shape::number:
            result = values_.ReadByte(message, 3, 0, 127, out.data1);
            out.length = 2;
            break;
        case Shape::pitchBend:
            result = values_.Read14Bit(message, 3, 8192, out.data1, out.data2);
            break;
        case Shape::fixed:
            out.data1 = type.data1;
            out.data2 = type.data2;
            break;
        case Shape::monoMode:
            out.data1 = type.data1;
            result = values_.ReadByte(message, 3, 0, 127, out.data2);
            break;
        case Shape::quarterFrame: {
            uint8_t subFrame = 0;
            uint8_t value = 0;
            result = values_.ReadByte(message, 2, 0, 7, subFrame);
            if (result == kStatusOk) {
                result = values_.ReadByte(message, 3, 0, 15, value);
            }
            out.data1 = static_cast<uint8_t>(subFrame * 16 + value);
            out.length = 2;
            break;
        }
        case Shape::songPosition:
            result = values_.Read14Bit(message, 2, 0, out.data1, out.data2);
            break;
        case Shape::songSelect:
            result = values_.ReadByte(message, 2, 0, 127, out.data1);
            out.length = 2;
            break;
        case Shape::statusOnly:
            out.length = 1;
            break;
        case Shape::systemExclusive:
            break;  // encoded apart
    }
    return result;
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
