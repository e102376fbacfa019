#include <algorithm>

#include "engine/message_types.h"
#include "engine/midi_engine.h"

// A record is consumed only once the script holds its whole message: when the
// host fails to make or append any part of it, what was made is released and
// the record stays queued for the next call.

void MidiEngine::GetNextMessage(ScriptValue& propList) {
    if (!inputOpen) {
        return;
    }
    RawRecord record;
    if (!queue.Peek(record)) {
        return;
    }
    if (!record.hasType) {
        queue.Consume(record);  // damaged: skipped, the list stays empty
        return;
    }
    if (BuildMessage(record, propList)) {
        queue.Consume(record);
        return;
    }
    // Nothing partial goes back: an empty list again (VOID if even that fails).
    valueService.ValueRelease(&propList);
    listService.NewPropList(&propList);
}

void MidiEngine::GetPendingMessages(ScriptValue& list) {
    if (!inputOpen) {
        return;
    }
    // Records captured meanwhile are collected in the same call.
    RawRecord record;
    while (queue.Peek(record)) {
        if (!record.hasType) {
            queue.Consume(record);
            continue;
        }
        ScriptValue message{};
        if (listService.NewPropList(&message) != kHostOk) {
            return;  // keep what was collected; the rest stays queued
        }
        const bool handedOver =
            BuildMessage(record, message) && listService.AppendToList(&list, &message) == kHostOk;
        valueService.ValueRelease(&message);
        if (!handedOver) {
            return;
        }
        queue.Consume(record);
    }
}

bool MidiEngine::BuildMessage(const RawRecord& record, ScriptValue& propList) {
    if (listService.AppendToPropList(&propList, &WordValue(Word::type), &WordValue(record.type)) !=
        kHostOk) {
        return false;
    }
    const MessageType* type = FindMessageType(record.type);
    if (type != nullptr && !AppendMessageProperties(*type, record, propList)) {
        return false;
    }
    return AppendIntegerProperty(propList, Word::timestamp, static_cast<int32_t>(record.timestamp));
}

bool MidiEngine::AppendMessageProperties(const MessageType& type, const RawRecord& record,
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
        !AppendIntegerProperty(propList, Word::channel, (record.status & 0x0F) + 1)) {
        return false;
    }
    for (int k = 0; k < 2 && type.keys[k] != Word::none; ++k) {
        const bool made = type.shape == Shape::systemExclusive && type.keys[k] == Word::data
                              ? AppendSysExData(record, propList)
                              : AppendIntegerProperty(propList, type.keys[k], numbers[k]);
        if (!made) {
            return false;
        }
    }
    return true;
}

bool MidiEngine::AppendSysExData(const RawRecord& record, ScriptValue& propList) {
    ScriptValue bytes{};
    if (listService.NewList(&bytes) != kHostOk) {
        return false;
    }
    bool made = true;
    uint8_t chunk[64];
    for (uint32_t from = 0; from < record.sysExCount && made; from += sizeof chunk) {
        const uint32_t count = std::min<uint32_t>(sizeof chunk, record.sysExCount - from);
        queue.CopySysEx(record, from, chunk, count);
        for (uint32_t i = 0; i < count && made; ++i) {
            ScriptValue byte{};
            made = valueService.IntegerToValue(chunk[i], &byte) == kHostOk;
            if (made) {
                made = listService.AppendToList(&bytes, &byte) == kHostOk;
                valueService.ValueRelease(&byte);
            }
        }
    }
    made =
        made && listService.AppendToPropList(&propList, &WordValue(Word::data), &bytes) == kHostOk;
    valueService.ValueRelease(&bytes);
    return made;
}
