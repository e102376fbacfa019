// The baseline of the stress run: the same short-message traffic straight
// through winmm and the loopback driver, without the plug-in, in the same
// process and run, so that the plug-in's figures read as ratios against it.
#pragma once

#include <cstdint>
#include <vector>

// A message that has not come back by then is lost. Generous: emulation on a
// loaded machine is slow, not broken.
constexpr double kDeadlineSeconds = 30.0;

struct RawFigures {
    bool ok = false;                          // every message came back, in order
    double messagesPerSecond;                 // batches sent, then waited for
    std::vector<double> latencyMicroseconds;  // one message at a time, sorted
};

// Opens the "Loopback" ports itself and closes them again: call it while the
// plug-in has them closed.
RawFigures RunRawLoopback(int32_t count, int32_t batch, int32_t latencySamples);

// Seconds on the performance counter.
double Now();
