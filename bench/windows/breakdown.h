// Where one short message's time goes through the plug-in: each step timed
// alone, beside the host stand-in's calls that the step makes, replayed
// without the plug-in, and beside bare winmm doing the step's share. The
// steps take turns in chunks of messages, so that a change of machine load
// meets them all; each figure is a median over chunks.
#pragma once

#include <cstdint>
#include <vector>

#include "bench/windows/raw_loopback.h"
#include "bench/windows/stress_session.h"

// Microseconds per message, one sample per chunk.
struct Breakdown {
    bool ok = false;
    // SendMessage([#noteOn, ...]) as the host calls it, the result released;
    // the input closed, so that the driver drops what it gets.
    std::vector<double> sendCall;
    // The host service calls that call makes (the loader's part included),
    // replayed alone.
    std::vector<double> sendHostCalls;
    // The replay with a bare midiOutShortMsg after each: winmm and the driver
    // met at the pace of the plug-in's sends.
    std::vector<double> sendHostCallsAndBare;
    // Bare midiOutShortMsg back to back.
    std::vector<double> sendBare;
    // Driver thread: from injected wire bytes until the driver is idle, into
    // the plug-in's queue, and into a bare callback that only counts.
    std::vector<double> delivery;
    std::vector<double> deliveryBare;
    // GetNextMessage returning a note-on, the result released; and the host
    // service calls it makes, replayed alone.
    std::vector<double> readCall;
    std::vector<double> readHostCalls;
    // The stress program's own work as a script: making the note-on list, and
    // reading the sequence number back from what arrives.
    std::vector<double> scriptMake;
    std::vector<double> scriptRead;
    // Host service calls per message, counted on the plug-in and the replay.
    uint64_t sendServiceCalls = 0;
    uint64_t sendReplayedCalls = 0;
    uint64_t readServiceCalls = 0;
    uint64_t readReplayedCalls = 0;

    void Append(const Breakdown& other);
};

// Needs the plug-in's ports closed; opens and closes them, and bare winmm's,
// itself.
Breakdown MeasureBreakdown(Session& s, const Driver& driver, int32_t input, int32_t output,
                           int32_t chunks, int32_t chunkSize);
