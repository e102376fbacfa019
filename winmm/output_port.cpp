#include "winmm/output_port.h"

#include <new>

#include "winmm/kept_list.h"

namespace {

constexpr UINT kHeaderSize = sizeof(MIDIHDR);
constexpr DWORD kEndOfExclusive = 0xF7;

KeptList<OutputDevice> keptOutputs;

}  // namespace

StatusCode OutputPort::Open(UINT portIndex) {
    auto* device = new (std::nothrow) OutputDevice;
    if (device == nullptr) {
        return kStatusNoMemory;
    }
    device->target.owner.store(this, std::memory_order_release);
    if (midiOutOpen(&device->handle, portIndex, reinterpret_cast<DWORD_PTR>(&Callback),
                    reinterpret_cast<DWORD_PTR>(&device->target),
                    CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        delete device;
        return kStatusDriverError;
    }
    openDevice = device;
    return kStatusOk;
}

StatusCode OutputPort::Close() {
    const bool closed = ShutDown(*openDevice);
    LetGo(openDevice, closed);
    openDevice = nullptr;
    return closed ? kStatusOk : kStatusDriverError;
}

bool OutputPort::ShutDown(OutputDevice& device) {
    const Clock::time_point deadline = Clock::now() + kCloseDeadline;
    ReapCompletedSysEx(device, deadline);
    // A device gone is only closed: each call on it may take seconds.
    if (!device.gone.Gone()) {
        device.gone.Watch([&] { return midiOutReset(device.handle); });
    }
    if (device.pendingSysEx != nullptr && !device.gone.Gone()) {
        // A block was cut off mid-message: end it for the receiving device.
        device.gone.Watch([&] { return midiOutShortMsg(device.handle, kEndOfExclusive); });
    }
    ReapCompletedSysEx(device, deadline);
    if (midiOutClose(device.handle) != MMSYSERR_NOERROR) {
        return false;
    }
    device.handle = nullptr;
    return true;
}

void OutputPort::LetGo(OutputDevice* device, bool closed) {
    device->target.owner.store(nullptr, std::memory_order_seq_cst);
    if (closed && WaitForCallbacks(device->target.callbacks)) {
        Release(device);
        return;
    }
    setAside.Add(device);
}

void OutputPort::RetrySetAside() {
    setAside.Retry(
        [this](OutputDevice& device) {
            return (device.handle == nullptr || ShutDown(device)) &&
                   WaitForCallbacks(device.target.callbacks);
        },
        [this](OutputDevice* device) { Release(device); });
}

void OutputPort::KeepSetAsideForGood() {
    setAside.KeepForGood(keptOutputs);
}

bool OutputPort::AnyKept() {
    return !keptOutputs.Empty();
}

void OutputPort::Release(OutputDevice* device) {
    // The closed device can no longer touch what it never reported done.
    while (device->pendingSysEx != nullptr) {
        SysExOutputRecord* record = device->pendingSysEx;
        device->pendingSysEx = record->next;
        memoryService.Free(record);
    }
    delete device;
}

StatusCode OutputPort::SendSysExRecords(SysExOutputRecord* blocks) {
    // Each block the driver takes joins pendingSysEx, newest first.
    OutputDevice& device = *openDevice;
    while (blocks != nullptr) {
        SysExOutputRecord* record = blocks;
        blocks = record->next;
        if (device.gone.Gone() || device.gone.Watch([&] {
                return midiOutLongMsg(device.handle, &record->header, kHeaderSize);
            }) != MMSYSERR_NOERROR) {
            // The message is left unfinished on the wire: ended with 0xF7 it
            // would read as whole to the receiving device, its data cut short.
            // The next status byte sent makes the device drop it.
            record->next = blocks;
            DiscardSysExRecords(record);
            return kStatusDriverError;
        }
        record->next = device.pendingSysEx;
        device.pendingSysEx = record;
    }
    return kStatusOk;
}

void OutputPort::DiscardSysExRecords(SysExOutputRecord* blocks) {
    while (blocks != nullptr) {
        SysExOutputRecord* record = blocks;
        blocks = record->next;
        FreeSysExRecord(*openDevice, record);
    }
}

SysExOutputRecord* OutputPort::NewSysExRecord(uint32_t length, StatusCode& refusal) {
    OutputDevice& device = *openDevice;
    if (device.gone.Gone()) {
        refusal = kStatusDriverError;
        return nullptr;
    }
    // Never smaller than the record itself, however short the message.
    uint32_t blockSize = static_cast<uint32_t>(kSysExBytesOffset) + length;
    if (blockSize < sizeof(SysExOutputRecord)) {
        blockSize = sizeof(SysExOutputRecord);
    }
    void* block = memoryService.Alloc(blockSize);
    if (block == nullptr) {
        refusal = kStatusNoMemory;
        return nullptr;
    }
    auto* record = new (block) SysExOutputRecord{};
    record->header.lpData = reinterpret_cast<LPSTR>(SysExBytes(record));
    record->header.dwBufferLength = length;
    record->header.dwBytesRecorded = length;
    record->header.dwFlags = 0;
    const MMRESULT prepared = device.gone.Watch(
        [&] { return midiOutPrepareHeader(device.handle, &record->header, kHeaderSize); });
    if (prepared != MMSYSERR_NOERROR) {
        memoryService.Free(block);
        // Short of memory, or a driver that cannot take it (a device gone).
        refusal = prepared == MMSYSERR_NOMEM ? kStatusNoMemory : kStatusDriverError;
        return nullptr;
    }
    record->done.store(0, std::memory_order_relaxed);
    record->next = nullptr;
    return record;
}

void OutputPort::FreeSysExRecord(OutputDevice& device, SysExOutputRecord* record) {
    if (!device.gone.Gone()) {
        device.gone.Watch(
            [&] { return midiOutUnprepareHeader(device.handle, &record->header, kHeaderSize); });
    }
    memoryService.Free(record);
}

void OutputPort::ReapCompletedSysEx(OutputDevice& device, Clock::time_point deadline) {
    SysExOutputRecord** link = &device.pendingSysEx;
    while (*link != nullptr && Clock::now() < deadline) {
        SysExOutputRecord* record = *link;
        if (record->done.load(std::memory_order_acquire) != 0) {
            *link = record->next;
            FreeSysExRecord(device, record);
        } else {
            link = &record->next;
        }
    }
}

void CALLBACK OutputPort::Callback(HMIDIOUT /*handle*/, UINT message, DWORD_PTR instance,
                                   DWORD_PTR param1, DWORD_PTR /*param2*/) {
    auto* device = reinterpret_cast<OutputDevice*>(instance);  // its target is its first member
    const CallbackCount counted(device->target.callbacks);
    if (message == MOM_DONE) {
        // The header is the record's first field.
        auto* record = reinterpret_cast<SysExOutputRecord*>(param1);
        record->done.store(1, std::memory_order_release);
    }
}
