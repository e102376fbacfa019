#include "engine/midi_engine.h"

void MidiEngine::GetNextMessage(ScriptValue& propList) {
    if (!inputOpen) {
        return;
    }
    DecodeNext(propList);
}

void MidiEngine::GetPendingMessages(ScriptValue& list) {
    if (!inputOpen) {
        return;
    }
    // Records captured meanwhile are collected in the same call.
    while (queue.Pending()) {
        ScriptValue message{};
        if (listService.NewPropList(&message) != kHostOk) {
            return;  // keep what was collected; the rest stays queued
        }
        if (DecodeNext(message)) {
            listService.AppendToList(&list, &message);
        }
        valueService.ValueRelease(&message);
    }
}

bool MidiEngine::DecodeNext(ScriptValue& propList) {
    RawRecord record;
    if (!queue.Peek(record)) {
        return false;
    }
    if (!record.hasType) {
        queue.Consume(record);
        return false;
    }
    listService.AppendToPropList(&propList, &WordValue(Word::type), &WordValue(record.type));
    const int32_t channel = (record.status & 0x0F) + 1;
    const int32_t data1 = record.data1;
    const int32_t data2 = record.data2;
    switch (record.type) {
        case Word::noteOff:
        case Word::noteOn:
            AppendIntegerProperty(propList, Word::channel, channel);
            AppendIntegerProperty(propList, Word::number, data1);
            AppendIntegerProperty(propList, Word::velocity, data2);
            break;
        case Word::polyKeyPressure:
            AppendIntegerProperty(propList, Word::channel, channel);
            AppendIntegerProperty(propList, Word::number, data1);
            AppendIntegerProperty(propList, Word::pressure, data2);
            break;
        case Word::controlChange:
            AppendIntegerProperty(propList, Word::channel, channel);
            AppendIntegerProperty(propList, Word::number, data1);
            AppendIntegerProperty(propList, Word::value, data2);
            break;
        case Word::monoModeOn:
            AppendIntegerProperty(propList, Word::numChannels, data2);
            break;
        case Word::programChange:
        case Word::channelPressure:
            AppendIntegerProperty(propList, Word::channel, channel);
            AppendIntegerProperty(propList, Word::number, data1);
            break;
        case Word::pitchBend:
            AppendIntegerProperty(propList, Word::channel, channel);
            AppendIntegerProperty(propList, Word::amount, ((data2 << 7) | data1) - 8192);
            break;
        case Word::mtcQuarterFrame:
            AppendIntegerProperty(propList, Word::subFrame, (data1 >> 4) & 7);
            AppendIntegerProperty(propList, Word::data, data1 & 0x0F);
            break;
        case Word::songPositionPointer:
            AppendIntegerProperty(propList, Word::position, (data2 << 7) | data1);
            break;
        case Word::songSelect:
            AppendIntegerProperty(propList, Word::number, data1);
            break;
        case Word::systemExclusive: {
            AppendIntegerProperty(propList, Word::manufacturerID, data1);
            ScriptValue bytes{};
            if (listService.NewList(&bytes) != kHostOk) {
                break;  // nothing to hold the bytes: the pair is left out
            }
            const uint8_t* storage = queue.storage();
            const uint32_t size = queue.size();
            uint32_t position = record.sysExFirst;
            for (uint32_t i = 0; i < record.sysExCount; ++i) {
                ScriptValue byte{};
                if (valueService.IntegerToValue(storage[position], &byte) == kHostOk) {
                    listService.AppendToList(&bytes, &byte);
                    valueService.ValueRelease(&byte);
                }
                position = position + 1 == size ? 0 : position + 1;
            }
            listService.AppendToPropList(&propList, &WordValue(Word::data), &bytes);
            valueService.ValueRelease(&bytes);
            break;
        }
        default:  // the mode messages without a value, tune request, real time
            break;
    }
    AppendIntegerProperty(propList, Word::timestamp, static_cast<int32_t>(record.timestamp));
    queue.Consume(record);
    return true;
}
