#include "winmm/winmm_midi_engine.h"

#include <cstdlib>
#include <cstring>

#include "winmm/callback_wait.h"
#include "winmm/create_engine.h"
#include "winmm/module_pin.h"

namespace {

// A block the destructor asked operator delete to keep. Deletion runs the
// destructor and then operator delete on the same thread, back to back.
thread_local void* quarantinedBlock = nullptr;

// Everything kept on purpose stays listed here for the life of the process,
// so it is never mistaken for a leak and never reused.
std::atomic<void*> keptBlocks{nullptr};
std::atomic<CallbackTarget*> keptTargets{nullptr};

void KeepBlock(void* block) {
    auto* link = static_cast<void**>(block);  // the dead object's first word
    *link = keptBlocks.load(std::memory_order_relaxed);
    while (!keptBlocks.compare_exchange_weak(*link, block, std::memory_order_release,
                                             std::memory_order_relaxed)) {
    }
}

void KeepTarget(CallbackTarget* target) {
    // The driver may call through the target into this module's code.
    PinModule();
    target->nextKept = keptTargets.load(std::memory_order_relaxed);
    while (!keptTargets.compare_exchange_weak(target->nextKept, target, std::memory_order_release,
                                              std::memory_order_relaxed)) {
    }
}

}  // namespace

bool DeviceMemoryKept() {
    return keptTargets.load(std::memory_order_acquire) != nullptr;
}

MidiEngine* CreateMidiEngine(HostValueService& valueService, HostListService& listService,
                             HostMemoryService& memoryService) {
    auto* target = new (std::nothrow) CallbackTarget;
    if (target == nullptr) {
        return nullptr;
    }
    auto* engine =
        new (std::nothrow) WinMmMidiEngine(valueService, listService, memoryService, target);
    if (engine == nullptr) {
        delete target;
        return nullptr;
    }
    target->engine.store(engine, std::memory_order_release);
    return engine;
}

WinMmMidiEngine::WinMmMidiEngine(HostValueService& valueService, HostListService& listService,
                                 HostMemoryService& memoryService, CallbackTarget* callbackTarget)
    : MidiEngine(valueService, listService, memoryService),
      initialised(false),
      timerBase(timeGetTime()),
      inputHandle(nullptr),
      outputHandle(nullptr),
      pendingSysEx(nullptr),
      inputBuffers{},
      target(callbackTarget) {}

WinMmMidiEngine::~WinMmMidiEngine() {
    if (inputOpen) {
        CloseInput();
    } else if (inputHandle != nullptr) {
        ShutDownInputDevice(false);  // left open by a failed unwinding
    }
    if (outputOpen) {
        CloseOutput();
    }

    const bool inputHeld = inputHandle != nullptr;
    const bool outputHeld = outputHandle != nullptr;
    // Detached, a late callback finds no engine.
    target->engine.store(nullptr, std::memory_order_seq_cst);
    const bool callbacksGone =
        WaitForCallbacks(target->inputCallbacks) && WaitForCallbacks(target->outputCallbacks);
    if (!inputHeld && !outputHeld && callbacksGone) {
        delete target;
        return;
    }

    // The driver refused to let go: its callbacks may still come with the
    // target as their instance data, so the target is never freed.
    KeepTarget(target);
    if (inputHeld) {
        // The driver may still write into the buffers inside this object:
        // better a leak than a driver writing into reused memory.
        quarantinedBlock = this;
    }
    // Blocks still listed may still be written by the output driver; they
    // are leaked with the list on purpose.
    pendingSysEx = nullptr;
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
        KeepBlock(block);
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

void WinMmMidiEngine::AppendPortName(ScriptValue& list, const char (&productName)[32]) {
    // A driver need not terminate the name inside the record.
    char name[sizeof(productName)];
    std::memcpy(name, productName, sizeof(name));
    name[sizeof(name) - 1] = '\0';
    ScriptValue value{};
    if (valueService.StringToValue(name, &value) != kHostOk) {
        return;
    }
    listService.AppendToList(&list, &value);
    valueService.ValueRelease(&value);
}
