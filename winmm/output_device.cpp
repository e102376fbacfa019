#include <algorithm>
#include <new>

#include "winmm/callback_wait.h"
#include "winmm/winmm_midi_engine.h"

namespace {

constexpr UINT kHeaderSize = sizeof(MIDIHDR);
constexpr DWORD kEndOfExclusive = 0xF7;
constexpr int64_t kMaxLongMessage = 0x10000;  // winmm's limit per long message

}  // namespace

HostResult WinMmMidiEngine::GetOutputPorts(ScriptValue& list) {
    if (!initialised) {
        return kHostOk;
    }
    const UINT count = midiOutGetNumDevs();
    for (UINT device = 0; device < count; ++device) {
        MIDIOUTCAPSA caps{};
        if (midiOutGetDevCapsA(device, &caps, sizeof(caps)) != MMSYSERR_NOERROR) {
            continue;  // skipped; later ports keep their numbers
        }
        if (HostResult code = AppendPortName(list, caps.szPname); code != kHostOk) {
            return code;
        }
    }
    return kHostOk;
}

StatusCode WinMmMidiEngine::OpenOutput(int32_t portIndex) {
    if (!initialised) {
        return kStatusNotInitialised;
    }
    if (outputOpen) {
        return kStatusOutputAlreadyOpen;
    }
    if (portIndex < 0 || static_cast<UINT>(portIndex) >= midiOutGetNumDevs()) {
        return kStatusInvalidPort;
    }
    // A device set aside may still hold this very port.
    RetrySetAsideOutputs();
    auto* device = new (std::nothrow) OutputDevice;
    if (device == nullptr) {
        return kStatusNoMemory;
    }
    device->target.engine.store(this, std::memory_order_release);
    if (midiOutOpen(&device->handle, static_cast<UINT>(portIndex),
                    reinterpret_cast<DWORD_PTR>(&MidiOutputCallback),
                    reinterpret_cast<DWORD_PTR>(&device->target),
                    CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        delete device;
        return kStatusDriverError;
    }
    output = device;
    outputOpen = true;
    return kStatusOk;
}

StatusCode WinMmMidiEngine::CloseOutput() {
    if (!initialised) {
        return kStatusNotInitialised;
    }
    if (!outputOpen) {
        return kStatusOutputNotOpen;
    }
    // However the driver answers, the port is closed for the script: a
    // device it will not let go is set aside with the blocks it may still
    // read, and tried again later.
    const bool closed = ShutDownOutput(*output);
    LetGoOfOutput(output, closed);
    output = nullptr;
    outputOpen = false;
    return closed ? kStatusOk : kStatusDriverError;
}

bool WinMmMidiEngine::ShutDownOutput(OutputDevice& device) {
    const Clock::time_point deadline = Clock::now() + kCloseDeadline;
    ReapCompletedSysEx(device, deadline);
    midiOutReset(device.handle);
    if (device.pendingSysEx != nullptr) {
        // A block was cut off mid-message: end it for the receiving device.
        midiOutShortMsg(device.handle, kEndOfExclusive);
    }
    ReapCompletedSysEx(device, deadline);
    if (midiOutClose(device.handle) != MMSYSERR_NOERROR) {
        return false;
    }
    device.handle = nullptr;
    return true;
}

void WinMmMidiEngine::LetGoOfOutput(OutputDevice* device, bool closed) {
    device->target.engine.store(nullptr, std::memory_order_seq_cst);
    if (closed && WaitForCallbacks(device->target.callbacks)) {
        ReleaseOutputDevice(device);
        return;
    }
    device->next = setAsideOutputs;
    setAsideOutputs = device;
}

void WinMmMidiEngine::RetrySetAsideOutputs() {
    OutputDevice** link = &setAsideOutputs;
    while (*link != nullptr) {
        OutputDevice* device = *link;
        if ((device->handle == nullptr || ShutDownOutput(*device)) &&
            WaitForCallbacks(device->target.callbacks)) {
            *link = device->next;
            ReleaseOutputDevice(device);
        } else {
            link = &device->next;
        }
    }
}

void WinMmMidiEngine::ReleaseOutputDevice(OutputDevice* device) {
    // The closed device can no longer touch what it never reported done.
    while (device->pendingSysEx != nullptr) {
        SysExOutputRecord* record = device->pendingSysEx;
        device->pendingSysEx = record->next;
        memoryService.Free(record);
    }
    delete device;
}

StatusCode WinMmMidiEngine::SendShortMessage(uint8_t status, uint8_t data1, uint8_t data2,
                                             uint32_t /*length: the driver reads it from status*/) {
    if (!outputOpen) {
        return kStatusOutputNotOpen;
    }
    const DWORD packed = static_cast<DWORD>(status) | static_cast<DWORD>(data1) << 8 |
                         static_cast<DWORD>(data2) << 16;
    return midiOutShortMsg(output->handle, packed) == MMSYSERR_NOERROR ? kStatusOk
                                                                       : kStatusDriverError;
}

StatusCode WinMmMidiEngine::SendLongMessage(uint8_t manufacturerID, const ScriptValue& data,
                                            int32_t count) {
    if (!outputOpen) {
        return kStatusOutputNotOpen;
    }
    ReapCompletedSysEx(*output);
    // F0, the manufacturer, the data, F7: a length (or block size) beyond
    // signed 32 bits is refused, never wrapped.
    const int64_t length = static_cast<int64_t>(count) + 3;
    if (count < 0 || length + static_cast<int64_t>(kSysExBytesOffset) > INT32_MAX) {
        return kStatusNoMemory;
    }
    // winmm takes at most 64 KiB per long message: a longer one goes as
    // successive blocks, each a record of its own. All are made and filled
    // before the first goes out, so a bad element sends nothing.
    SysExOutputRecord* blocks = nullptr;  // in message order, not yet listed
    SysExOutputRecord** tail = &blocks;
    for (int64_t start = 0; start < length; start += kMaxLongMessage) {
        const auto size = static_cast<uint32_t>(std::min<int64_t>(length - start, kMaxLongMessage));
        StatusCode refusal = kStatusNoMemory;
        SysExOutputRecord* record = NewSysExRecord(size, refusal);
        if (record == nullptr) {
            DiscardSysExRecords(blocks);
            return refusal;
        }
        *tail = record;
        tail = &record->next;
        uint8_t* bytes = SysExBytes(record);
        for (uint32_t i = 0; i < size; ++i) {
            const int64_t position = start + i;
            if (position == 0) {
                bytes[i] = 0xF0;
            } else if (position == 1) {
                bytes[i] = manufacturerID;
            } else if (position == length - 1) {
                bytes[i] = 0xF7;
            } else {
                const StatusCode code =
                    ReadByteProperty(data, static_cast<int32_t>(position - 1), 0, 127, bytes[i]);
                if (code != kStatusOk) {
                    DiscardSysExRecords(blocks);
                    return code;
                }
            }
        }
    }
    // Each block the driver takes joins pendingSysEx, newest first.
    bool anySent = false;
    while (blocks != nullptr) {
        SysExOutputRecord* record = blocks;
        blocks = record->next;
        if (midiOutLongMsg(output->handle, &record->header, kHeaderSize) != MMSYSERR_NOERROR) {
            record->next = blocks;
            DiscardSysExRecords(record);
            if (anySent) {
                // The receiving device has the message's beginning: end it.
                midiOutShortMsg(output->handle, kEndOfExclusive);
            }
            return kStatusDriverError;
        }
        record->next = output->pendingSysEx;
        output->pendingSysEx = record;
        anySent = true;
    }
    return kStatusOk;
}

void WinMmMidiEngine::DiscardSysExRecords(SysExOutputRecord* blocks) {
    while (blocks != nullptr) {
        SysExOutputRecord* record = blocks;
        blocks = record->next;
        FreeSysExRecord(output->handle, record);
    }
}

SysExOutputRecord* WinMmMidiEngine::NewSysExRecord(uint32_t length, StatusCode& refusal) {
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
    const MMRESULT prepared = midiOutPrepareHeader(output->handle, &record->header, kHeaderSize);
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

void WinMmMidiEngine::FreeSysExRecord(HMIDIOUT handle, SysExOutputRecord* record) {
    midiOutUnprepareHeader(handle, &record->header, kHeaderSize);
    memoryService.Free(record);
}

void WinMmMidiEngine::ReapCompletedSysEx(OutputDevice& device, Clock::time_point deadline) {
    SysExOutputRecord** link = &device.pendingSysEx;
    while (*link != nullptr && Clock::now() < deadline) {
        SysExOutputRecord* record = *link;
        if (record->done.load(std::memory_order_acquire) != 0) {
            *link = record->next;
            FreeSysExRecord(device.handle, record);
        } else {
            link = &record->next;
        }
    }
}

void CALLBACK WinMmMidiEngine::MidiOutputCallback(HMIDIOUT /*handle*/, UINT message,
                                                  DWORD_PTR instance, DWORD_PTR param1,
                                                  DWORD_PTR /*param2*/) {
    auto* device = reinterpret_cast<OutputDevice*>(instance);  // its target is its first member
    device->target.callbacks.fetch_add(1, std::memory_order_seq_cst);
    if (message == MOM_DONE) {
        // The header is the record's first field.
        auto* record = reinterpret_cast<SysExOutputRecord*>(param1);
        record->done.store(1, std::memory_order_release);
    }
    device->target.callbacks.fetch_sub(1, std::memory_order_release);
}
