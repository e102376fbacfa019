#include "bench/windows/raw_loopback.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

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

bool WaitFor(const Arrivals& arrivals, uint32_t count) {
    const double deadline = Now() + kDeadlineSeconds;
    while (arrivals.received.load(std::memory_order_acquire) < count) {
        if (Now() > deadline)
            return false;
    }
    return true;
}

}  // namespace

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

RawFigures RunRawLoopback(int32_t count, int32_t batch, int32_t latencySamples) {
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

    const double start = Now();
    for (int32_t sent = 0; ok && sent < count;) {
        const int32_t end = std::min(sent + batch, count);
        for (; ok && sent < end; ++sent)
            ok = midiOutShortMsg(output, Message(static_cast<uint32_t>(sent))) == MMSYSERR_NOERROR;
        ok = ok && WaitFor(arrivals, static_cast<uint32_t>(sent));
    }
    figures.messagesPerSecond = count / (Now() - start);

    for (int32_t i = 0; ok && i < latencySamples; ++i) {
        const uint32_t sequence = static_cast<uint32_t>(count + i);
        const double sent = Now();
        ok = midiOutShortMsg(output, Message(sequence)) == MMSYSERR_NOERROR &&
             WaitFor(arrivals, sequence + 1);
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
