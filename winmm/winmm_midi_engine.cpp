#include "winmm/winmm_midi_engine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "winmm/create_engine.h"
#include "winmm/kept_list.h"

namespace {

// The longest block handed to the driver in one long message. winmm takes 64
// KiB, but some stacks refuse anything over 2,048 bytes, and sending a long
// message as several blocks in order is ordinary practice.
constexpr int64_t kMaxLongMessage = 2048;

// A block the destructor asked operator delete to keep. Deletion runs the
// destructor and then operator delete on the same thread, back to back.
thread_local void* quarantinedBlock = nullptr;

KeptList<void> keptEngines;

}  // namespace

bool DeviceMemoryKept() {
    return !keptEngines.Empty() || InputPort::AnyKept() || OutputPort::AnyKept();
}

MidiEngine* CreateMidiEngine(HostValueService& valueService, HostListService& listService,
                             HostMemoryService& memoryService) {
    return new (std::nothrow) WinMmMidiEngine(valueService, listService, memoryService);
}

WinMmMidiEngine::WinMmMidiEngine(HostValueService& valueService, HostListService& listService,
                                 HostMemoryService& memoryService)
    : MidiEngine(valueService, listService, memoryService),
      initialised(false),
      timerBase(timeGetTime()) {}

WinMmMidiEngine::~WinMmMidiEngine() {
    if (inputOpen) {
        CloseInput();
    }
    if (outputOpen) {
        CloseOutput();
    }
    // One last try for what the driver would not let go.
    input.RetrySetAside();
    output.RetrySetAside();
    if (!input.HoldsSetAside() && !output.HoldsSetAside()) {
        return;
    }
    // Kept for good: the driver may still call with these devices as
    // instance data, write into their buffers (the engine's own slots among
    // them) or read their sysex blocks. Better kept than reused.
    input.KeepSetAsideForGood();
    output.KeepSetAsideForGood();
    quarantinedBlock = this;
}

void* WinMmMidiEngine::operator new(size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size);
}

void WinMmMidiEngine::operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}

void WinMmMidiEngine::operator delete(void* block) noexcept {
    if (block != nullptr && block == quarantinedBlock) {
        quarantinedBlock = nullptr;
        auto** link = static_cast<void**>(block);  // the dead object's first word
        keptEngines.Push(block, link);
        return;
    }
    std::free(block);
}

StatusCode WinMmMidiEngine::Init() {
    initialised = true;
    return kStatusOk;
}

void WinMmMidiEngine::SetStatusResult(StatusCode code, ScriptValue& destination) {
    MidiEngine::SetStatusResult(code, destination);
}

HostResult WinMmMidiEngine::AppendPortName(ScriptValue& list, UINT device, bool known,
                                           const char (&productName)[32]) {
    char name[sizeof(productName)];
    if (known) {
        // A driver need not terminate the name inside the record.
        std::memcpy(name, productName, sizeof(name));
        name[sizeof(name) - 1] = '\0';
    } else {
        // Listed all the same, so that the n-th name is always port n.
        std::snprintf(name, sizeof(name), "(port %u unavailable)", device + 1);
    }
    return Values().AppendString(list, name);
}

// ---- input

HostResult WinMmMidiEngine::GetInputPorts(ScriptValue& list) {
    return WhenInitialised(kHostOk, [&]() -> HostResult {
        const UINT count = midiInGetNumDevs();
        for (UINT device = 0; device < count; ++device) {
            MIDIINCAPSA caps{};
            const bool known = midiInGetDevCapsA(device, &caps, sizeof(caps)) == MMSYSERR_NOERROR;
            if (HostResult code = AppendPortName(list, device, known, caps.szPname);
                code != kHostOk) {
                return code;
            }
        }
        return kHostOk;
    });
}

StatusCode WinMmMidiEngine::OpenInput(int32_t portIndex, uint32_t bufSize) {
    return WhenInitialised(kStatusNotInitialised, [&]() -> StatusCode {
        if (inputOpen) {
            return kStatusInputAlreadyOpen;
        }
        if (portIndex < 0 || static_cast<UINT>(portIndex) >= midiInGetNumDevs()) {
            return kStatusInvalidPort;
        }
        // A device set aside may still hold this very port.
        input.RetrySetAside();
        if (const StatusCode code = AllocateQueue(bufSize); code != kStatusOk) {
            return code;
        }
        const StatusCode code = input.Open(static_cast<UINT>(portIndex));
        inputOpen = code == kStatusOk;
        return code;
    });
}

StatusCode WinMmMidiEngine::CloseInput() {
    return WhenInitialised(kStatusNotInitialised, [&]() -> StatusCode {
        if (!inputOpen) {
            return kStatusInputNotOpen;
        }
        const StatusCode code = input.Close();
        inputOpen = false;
        return code;
    });
}

// ---- output

HostResult WinMmMidiEngine::GetOutputPorts(ScriptValue& list) {
    return WhenInitialised(kHostOk, [&]() -> HostResult {
        const UINT count = midiOutGetNumDevs();
        for (UINT device = 0; device < count; ++device) {
            MIDIOUTCAPSA caps{};
            const bool known = midiOutGetDevCapsA(device, &caps, sizeof(caps)) == MMSYSERR_NOERROR;
            if (HostResult code = AppendPortName(list, device, known, caps.szPname);
                code != kHostOk) {
                return code;
            }
        }
        return kHostOk;
    });
}

StatusCode WinMmMidiEngine::OpenOutput(int32_t portIndex) {
    return WhenInitialised(kStatusNotInitialised, [&]() -> StatusCode {
        if (outputOpen) {
            return kStatusOutputAlreadyOpen;
        }
        if (portIndex < 0 || static_cast<UINT>(portIndex) >= midiOutGetNumDevs()) {
            return kStatusInvalidPort;
        }
        // A device set aside may still hold this very port.
        output.RetrySetAside();
        const StatusCode code = output.Open(static_cast<UINT>(portIndex));
        outputOpen = code == kStatusOk;
        return code;
    });
}

StatusCode WinMmMidiEngine::CloseOutput() {
    return WhenInitialised(kStatusNotInitialised, [&]() -> StatusCode {
        if (!outputOpen) {
            return kStatusOutputNotOpen;
        }
        const StatusCode code = output.Close();
        outputOpen = false;
        return code;
    });
}

StatusCode WinMmMidiEngine::SendShortMessage(uint8_t status, uint8_t data1, uint8_t data2,
                                             uint32_t /*length: the driver reads it from status*/) {
    if (!outputOpen) {
        return kStatusOutputNotOpen;
    }
    return output.SendShort(static_cast<DWORD>(status) | static_cast<DWORD>(data1) << 8 |
                            static_cast<DWORD>(data2) << 16);
}

StatusCode WinMmMidiEngine::SendLongMessage(uint8_t manufacturerID, const ScriptValue& data,
                                            int32_t count) {
    if (!outputOpen) {
        return kStatusOutputNotOpen;
    }
    output.ReapCompletedSysEx();
    // F0, the manufacturer, the data, F7: a length (or block size) beyond
    // signed 32 bits is refused, never wrapped.
    const int64_t length = static_cast<int64_t>(count) + 3;
    if (count < 0 || length + static_cast<int64_t>(kSysExBytesOffset) > INT32_MAX) {
        return kStatusNoMemory;
    }
    // A message longer than one block goes as successive blocks, each a
    // record of its own. All are made and filled before the first goes out,
    // so a bad element sends nothing.
    SysExOutputRecord* blocks = nullptr;  // in message order, not yet listed
    SysExOutputRecord** tail = &blocks;
    for (int64_t start = 0; start < length; start += kMaxLongMessage) {
        const auto size = static_cast<uint32_t>(std::min<int64_t>(length - start, kMaxLongMessage));
        StatusCode refusal = kStatusNoMemory;
        SysExOutputRecord* record = output.NewSysExRecord(size, refusal);
        if (record == nullptr) {
            output.DiscardSysExRecords(blocks);
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
                    Values().ReadByte(data, static_cast<int32_t>(position - 1), 0, 127, bytes[i]);
                if (code != kStatusOk) {
                    output.DiscardSysExRecords(blocks);
                    return code;
                }
            }
        }
    }
    return output.SendSysExRecords(blocks);
}
