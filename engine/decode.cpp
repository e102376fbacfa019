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
    const int32_t channel = (record.status & 0x0F) + 1;
    const int32_t data1 = record.data1;
    const int32_t data2 = record.data2;
    bool made = true;
    switch (record.type) {
        case Word::noteOff:
        case Word::noteOn:
            made = AppendIntegerProperty(propList, Word::channel, channel) &&
                   AppendIntegerProperty(propList, Word::number, data1) &&
                   AppendIntegerProperty(propList, Word::velocity, data2);
            break;
        case Word::polyKeyPressure:
            made = AppendIntegerProperty(propList, Word::channel, channel) &&
                   AppendIntegerProperty(propList, Word::number, data1) &&
                   AppendIntegerProperty(propList, Word::pressure, data2);
            break;
        case Word::controlChange:
            made = AppendIntegerProperty(propList, Word::channel, channel) &&
                   AppendIntegerProperty(propList, Word::number, data1) &&
                   AppendIntegerProperty(propList, Word::value, data2);
            break;
        case Word::monoModeOn:
            made = AppendIntegerProperty(propList, Word::numChannels, data2);
            break;
        case Word::programChange:
        case Word::channelPressure:
            made = AppendIntegerProperty(propList, Word::channel, channel) &&
                   AppendIntegerProperty(propList, Word::number, data1);
            break;
        case Word::pitchBend:
            made = AppendIntegerProperty(propList, Word::channel, channel) &&
                   AppendIntegerProperty(propList, Word::amount, ((data2 << 7) | data1) - 8192);
            break;
        case Word::mtcQuarterFrame:
            made = AppendIntegerProperty(propList, Word::subFrame, (data1 >> 4) & 7) &&
                   AppendIntegerProperty(propList, Word::data, data1 & 0x0F);
            break;
        case Word::songPositionPointer:
            made = AppendIntegerProperty(propList, Word::position, (data2 << 7) | data1);
            break;
        case Word::songSelect:
            made = AppendIntegerProperty(propList, Word::number, data1);
            break;
        case Word::systemExclusive:
            made = AppendIntegerProperty(propList, Word::manufacturerID, data1) &&
                   AppendSysExData(record, propList);
            break;
        default:  // the mode messages without a value, tune request, real time
            break;
    }
    return made &&
           AppendIntegerProperty(propList, Word::timestamp, static_cast<int32_t>(record.timestamp));
}

bool MidiEngine::AppendSysExData(const RawRecord& record, ScriptValue& propList) {
    ScriptValue bytes{};
    if (listService.NewList(&bytes) != kHostOk) {
        return false;
    }
    const uint8_t* storage = queue.storage();
    const uint32_t size = queue.size();
    uint32_t position = record.sysExFirst;
    bool made = true;
    for (uint32_t i = 0; i < record.sysExCount && made; ++i) {
        ScriptValue byte{};
        made = valueService.IntegerToValue(storage[position], &byte) == kHostOk;
        if (made) {
            made = listService.AppendToList(&bytes, &byte) == kHostOk;
            valueService.ValueRelease(&byte);
        }
        position = position + 1 == size ? 0 : position + 1;
    }
    made =
        made && listService.AppendToPropList(&propList, &WordValue(Word::data), &bytes) == kHostOk;
    valueService.ValueRelease(&bytes);
    return made;
}
