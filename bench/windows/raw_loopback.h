// The baseline of the stress run: the same short-message traffic straight
// through winmm and the loopback driver, without the plug-in, in the same
// process and run, so that the plug-in's figures read as ratios against it.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "loopdrv/control.h"

#include <mmsystem.h>

// A message that has not come back by then is lost. Generous: emulation on a
// loaded machine is slow, not broken.
constexpr double kDeadlineSeconds = 30.0;
constexpr DWORD kDeadlineMs = 30000;

// The driver's own exports, found once the driver is loaded.
struct Driver {
    LoopbackWaitIdleProc waitIdle = nullptr;
    LoopbackInjectProc inject = nullptr;
    bool Find();
};

struct RawFigures {
    bool ok = false;                          // every message came back, in order
    double messagesPerSecond = 0;             // batches sent, each waited for
    std::vector<double> latencyMicroseconds;  // one message at a time, sorted
};

// The host's work for each message, done beside bare winmm as the plug-in's
// path does it beside its own: before each send, and for each message read
// back after a batch. False stops the run.
struct Pace {
    std::function<bool(int32_t sequence)> beforeSend;
    std::function<bool()> perArrival;
};

// Opens the "Loopback" ports itself and closes them again: call it while the
// plug-in has them closed. With `pace`, only the throughput is measured.
RawFigures RunRawLoopback(const Driver& driver, int32_t count, int32_t batch,
                          int32_t latencySamples, const Pace* pace = nullptr);

// Bare winmm on the loopback pair, for the steps measured alone: an output
// without callbacks, and an input whose callback only counts short messages.
HMIDIOUT OpenBareOutput();
class BareInput {
public:
    BareInput();
    ~BareInput();
    BareInput(const BareInput&) = delete;
    BareInput& operator=(const BareInput&) = delete;
    bool ok() const { return handle_ != nullptr; }
    uint32_t Received() const;

private:
    struct Counter;
    Counter* counter_;
    HMIDIIN handle_ = nullptr;
};

// Wire bytes of `count` note-ons numbered from `first` in their two data bytes.
std::vector<BYTE> NoteOnBytes(uint32_t first, uint32_t count);

// Seconds on the performance counter.
double Now();
