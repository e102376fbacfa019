#include "engine/decode.h"

#include <algorithm>

#include "engine/message_types.h"

// A record is consumed only once the script holds its whole message: when the
// host fails to make or append any part of it, what was made is released and
// the record stays queued for the next call.

void MessageDecoder::GetNextMessage(ScriptValue& propList) {
    RawRecord record;
    if (!queue_.Peek(record)) {
        return;
    }
    if (!record.hasType) {
        queue_.Consume(record);  // damaged: skipped, the list stays empty
        return;
    }
    if (BuildMessage(record, propList)) {
        queue_.Consume(record);
        return;
    }
    // Nothing partial goes back: an empty list again (VOID if even that fails).
    values_.Release(propList);
    values_.NewPropList(propList);
}

void MessageDecoder::GetPendingMessages(ScriptValue& list) {
    // Records captured meanwhile are collected in the same call.
    RawRecord record;
    while (queue_.Peek(record)) {
        if (!record.hasType) {
            queue_.Consume(record);
            continue;
        }
        ScriptValue message{};
        if (values_.NewPropList(message) != kHostOk) {
            return;  // keep what was collected; the rest stays queued
        }
        const bool handedOver =
            BuildMessage(record, message) && values_.Append(list, message) == kHostOk;
        values_.Release(message);
        if (!handedOver) {
            return;
        }
        queue_.Consume(record);
    }
}

bool MessageDecoder::BuildMessage(const RawRecord& record, ScriptValue& propList) {
    if (values_.AppendPair(propList, Word::type, values_.vocabulary().ValueOf(record.type)) !=
        kHostOk) {
        return false;
    }
    const MessageType* type = FindMessageType(record.type);
    if (type != nullptr && !AppendMessageProperties(*type, record, propList)) {
        return false;
    }
    return values_.AppendIntegerPair(propList, Word::timestamp,
                                     static_cast<int32_t>(record.timestamp));
}

bool MessageDecoder::AppendMessageProperties(const MessageType& type, const RawRecord& record,
                                             ScriptValue& propList) {
    const int32_t data1 = record.data1;
    const int32_t data2 = record.data2;
    // The numbers behind the table's keys, in their order.
    int32_t numbers[2] = {data1, data2};
    bool showsChannel = type.channel;
    switch (type.shape) {
        case Shape::numberAndValue:
        case Shape::number:
        case Shape::songSelect:
        case Shape::statusOnly:
        case Shape::systemExclusive:
            break;
        case Shape::pitchBend:
            numbers[0] = ((data2 << 7) | data1) - 8192;
            break;
        case Shape::fixed:
            showsChannel = false;  // mode messages are shown without their channel
            break;
        case Shape::monoMode:
            showsChannel = false;
            numbers[0] = data2;
            break;
        case Shape::quarterFrame:
            numbers[0] = (data1 >> 4) & 7;
            numbers[1] = data1 & 0x0F;
            break;
        case Shape::songPosition:
            numbers[0] = (data2 << 7) | data1;
            break;
    }
    if (showsChannel &&
        !values_.AppendIntegerPair(propList, Word::channel, (record.status & 0x0F) + 1)) {
        return false;
    }
    for (int k = 0; k < 2 && type.keys[k] != Word::none; ++k) {
        const bool made = type.shape == Shape::systemExclusive && type.keys[k] == Word::data
                              ? AppendSysExData(record, propList)
                              : values_.AppendIntegerPair(propList, type.keys[k], numbers[k]);
        if (!made) {
            return false;
        }
    }
    return true;
}

bool MessageDecoder::AppendSysExData(const RawRecord& record, ScriptValue& propList) {
    ScriptValue bytes{};
    if (values_.NewList(bytes) != kHostOk) {
        return false;
    }
    bool made = true;
    uint8_t chunk[64];
    for (uint32_t from = 0; from < record.sysExCount && made; from += sizeof chunk) {
        const uint32_t count = std::min<uint32_t>(sizeof chunk, record.sysExCount - from);
        queue_.CopySysEx(record, from, chunk, count);
        for (uint32_t i = 0; i < count && made; ++i) {
            made = values_.AppendInteger(bytes, chunk[i]);
        }
    }
    made = made && values_.AppendPair(propList, Word::data, bytes) == kHostOk;
    values_.Release(bytes);
    return made;
}
