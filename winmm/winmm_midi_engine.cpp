#include "winmm/winmm_midi_engine.h"

#include <cstdlib>
#include <cstring>

#include "winmm/create_engine.h"
#include "winmm/module_pin.h"

namespace {

// A block the destructor asked operator delete to keep. Deletion runs the
// destructor and then operator delete on the same thread, back to back.
thread_local void* quarantinedBlock = nullptr;

// Everything kept on purpose stays listed here for the life of the process,
// so it is never mistaken for a leak and never reused.
std::atomic<void*> keptEngines{nullptr};
std::atomic<InputDevice*> keptInputs{nullptr};
std::atomic<OutputDevice*> keptOutputs{nullptr};

template <typename Node>
void Push(std::atomic<Node*>& list, Node* node, Node** link) {
    // The driver may call through the node into this module's code.
    PinModule();
    *link = list.load(std::memory_order_relaxed);
    while (!list.compare_exchange_weak(*link, node, std::memory_order_release,
                                       std::memory_order_relaxed)) {
    }
}

}  // namespace

bool DeviceMemoryKept() {
    return keptEngines.load(std::memory_order_acquire) != nullptr ||
           keptInputs.load(std::memory_order_acquire) != nullptr ||
           keptOutputs.load(std::memory_order_acquire) != nullptr;
}

MidiEngine* CreateMidiEngine(HostValueService& valueService, HostListService& listService,
                             HostMemoryService& memoryService) {
    return new (std::nothrow) WinMmMidiEngine(valueService, listService, memoryService);
}

WinMmMidiEngine::WinMmMidiEngine(HostValueService& valueService, HostListService& listService,
                                 HostMemoryService& memoryService)
    : MidiEngine(valueService, listService, memoryService),
      initialised(false),
      timerBase(timeGetTime()),
      inputBuffers{} {}

WinMmMidiEngine::~WinMmMidiEngine() {
    if (inputOpen) {
        CloseInput();
    }
    if (outputOpen) {
        CloseOutput();
    }
    // One last try for what the driver would not let go.
    RetrySetAsideInputs();
    RetrySetAsideOutputs();
    if (setAsideInputs == nullptr && setAsideOutputs == nullptr) {
        return;
    }
    // Kept for good: the driver may still call with these devices as
    // instance data, write into their buffers (the engine's own slots among
    // them) or read their sysex blocks. Better kept than reused.
    while (setAsideInputs != nullptr) {
        InputDevice* device = setAsideInputs;
        setAsideInputs = device->next;
        Push(keptInputs, device, &device->next);
    }
    while (setAsideOutputs != nullptr) {
        OutputDevice* device = setAsideOutputs;
        setAsideOutputs = device->next;
        Push(keptOutputs, device, &device->next);
    }
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
        Push(keptEngines, block, link);
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

HostResult WinMmMidiEngine::AppendPortName(ScriptValue& list, const char (&productName)[32]) {
    // A driver need not terminate the name inside the record.
    char name[sizeof(productName)];
    std::memcpy(name, productName, sizeof(name));
    name[sizeof(name) - 1] = '\0';
    ScriptValue value{};
    HostResult code = valueService.StringToValue(name, &value);
    if (code != kHostOk) {
        return code;
    }
    code = listService.AppendToList(&list, &value);
    valueService.ValueRelease(&value);
    return code;
}
