#include "bench/windows/raw_loopback.h"

#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

// Written by the driver's thread only; read by the sender.
struct Arrivals {
    std::atomic<uint32_t> received{0};
    std::atomic<bool> outOfOrder{false};
};

void CALLBACK OnInput(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
    if (message != MIM_DATA)
        return;
    auto* arrivals = reinterpret_cast<Arrivals*>(instance);
    const uint32_t expected = arrivals->received.load(std::memory_order_relaxed);
    // The sequence number rides in the two data bytes.
    const uint32_t sequence = ((param1 >> 8) & 0x7F) | (((param1 >> 16) & 0x7F) << 7);
    if (sequence != (expected & 0x3FFF))
        arrivals->outOfOrder.store(true, std::memory_order_relaxed);
    arrivals->received.store(expected + 1, std::memory_order_release);
}

DWORD Message(uint32_t sequence) {
    return 0x90u | ((sequence & 0x7F) << 8) | (((sequence >> 7) & 0x7F) << 16);
}

template <typename Caps, typename GetCaps>
UINT FindLoopback(UINT count, GetCaps getCaps) {
    for (UINT id = 0; id < count; ++id) {
        Caps caps{};
        if (getCaps(id, &caps, sizeof caps) == MMSYSERR_NOERROR &&
            std::strcmp(caps.szPname, "Loopback") == 0)
            return id;
    }
    return UINT(-1);
}

// For one message at a time: spins, as a latency measurement must.
bool SpinFor(const Arrivals& arrivals, uint32_t count) {
    const double deadline = Now() + kDeadlineSeconds;
    while (arrivals.received.load(std::memory_order_acquire) < count) {
        if (Now() > deadline)
            return false;
    }
    return true;
}

}  // namespace

bool Driver::Find() {
    waitIdle = FindLoopbackExport<LoopbackWaitIdleProc>("LoopbackWaitIdle");
    inject = FindLoopbackExport<LoopbackInjectProc>("LoopbackInject");
    return waitIdle != nullptr && inject != nullptr;
}

std::vector<BYTE> NoteOnBytes(uint32_t first, uint32_t count) {
    std::vector<BYTE> bytes;
    bytes.reserve(count * 3);
    for (uint32_t i = 0; i < count; ++i) {
        const DWORD message = Message(first + i);
        bytes.push_back(static_cast<BYTE>(message));
        bytes.push_back(static_cast<BYTE>(message >> 8));
        bytes.push_back(static_cast<BYTE>(message >> 16));
    }
    return bytes;
}

HMIDIOUT OpenBareOutput() {
    const UINT id = FindLoopback<MIDIOUTCAPSA>(midiOutGetNumDevs(), midiOutGetDevCapsA);
    HMIDIOUT output = nullptr;
    if (id == UINT(-1) || midiOutOpen(&output, id, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR)
        return nullptr;
    return output;
}

struct BareInput::Counter {
    std::atomic<uint32_t> received{0};
};

namespace {

void CALLBACK CountInput(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR) {
    if (message == MIM_DATA)
        reinterpret_cast<std::atomic<uint32_t>*>(instance)->fetch_add(1, std::memory_order_release);
}

}  // namespace

BareInput::BareInput() : counter_(new Counter) {
    const UINT id = FindLoopback<MIDIINCAPSA>(midiInGetNumDevs(), midiInGetDevCapsA);
    if (id == UINT(-1) || midiInOpen(&handle_, id, reinterpret_cast<DWORD_PTR>(CountInput),
                                     reinterpret_cast<DWORD_PTR>(&counter_->received),
                                     CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        handle_ = nullptr;
        return;
    }
    if (midiInStart(handle_) != MMSYSERR_NOERROR) {
        midiInClose(handle_);
        handle_ = nullptr;
    }
}

BareInput::~BareInput() {
    if (handle_ != nullptr) {
        midiInReset(handle_);
        midiInClose(handle_);
    }
    delete counter_;
}

uint32_t BareInput::Received() const {
    return counter_->received.load(std::memory_order_acquire);
}

double Now() {
    static const double period = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return 1.0 / static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * period;
}

RawFigures RunRawLoopback(const Driver& driver, int32_t count, int32_t batch,
                          int32_t latencySamples, const Pace* pace) {
    RawFigures figures;
    const UINT inputId = FindLoopback<MIDIINCAPSA>(midiInGetNumDevs(), midiInGetDevCapsA);
    const UINT outputId = FindLoopback<MIDIOUTCAPSA>(midiOutGetNumDevs(), midiOutGetDevCapsA);
    if (inputId == UINT(-1) || outputId == UINT(-1))
        return figures;

    Arrivals arrivals;
    HMIDIIN input = nullptr;
    HMIDIOUT output = nullptr;
    if (midiInOpen(&input, inputId, reinterpret_cast<DWORD_PTR>(OnInput),
                   reinterpret_cast<DWORD_PTR>(&arrivals), CALLBACK_FUNCTION) != MMSYSERR_NOERROR)
        return figures;
    if (midiOutOpen(&output, outputId, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        midiInClose(input);
        return figures;
    }
    bool ok = midiInStart(input) == MMSYSERR_NOERROR;
    uint32_t sequence = 0;

    // Throughput: a batch is sent, then waited for until the driver is idle.
    double start = Now();
    for (int32_t sent = 0; ok && sent < count;) {
        const int32_t first = sent;
        const int32_t end = std::min(sent + batch, count);
        for (; ok && sent < end; ++sent) {
            ok = (pace == nullptr || pace->beforeSend(sent)) &&
                 midiOutShortMsg(output, Message(sequence++)) == MMSYSERR_NOERROR;
        }
        ok = ok && driver.waitIdle(kDeadlineMs) && arrivals.received.load() == sequence;
        for (int32_t i = first; ok && pace != nullptr && i < end; ++i)
            ok = pace->perArrival();
    }
    figures.messagesPerSecond = count / (Now() - start);

    for (int32_t i = 0; ok && pace == nullptr && i < latencySamples; ++i) {
        const double sent = Now();
        ok = midiOutShortMsg(output, Message(sequence++)) == MMSYSERR_NOERROR &&
             SpinFor(arrivals, sequence);
        figures.latencyMicroseconds.push_back((Now() - sent) * 1e6);
    }
    std::sort(figures.latencyMicroseconds.begin(), figures.latencyMicroseconds.end());

    midiInReset(input);
    midiInClose(input);
    midiOutReset(output);
    midiOutClose(output);
    figures.ok = ok && !arrivals.outOfOrder.load();
    return figures;
}
