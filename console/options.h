// The console's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "standin/stack_behaviour.h"

namespace console {

struct PortSpec {
    enum class Kind { Loopback, Input, Output };
    Kind kind;
    std::string name;
    // How its device behaves, as a real stack might (+pieces=6, ...).
    standin::StackBehaviour stack;
    bool capsFail = false;    // +no-caps: its capabilities cannot be read
    uint32_t pullCostMs = 0;  // +pull-cost=MS: each call on it once pulled takes this long
    uint32_t pullResult = 6;  // +pull-error=...: and answers this (MMSYSERR_NODRIVER)
    bool holdDone = false;    // +hold-done: its output never reports a block done
};

struct Options {
    std::string script;  // empty: read from standard input
    std::string modulePath;
    std::vector<PortSpec> ports;  // empty: the default loopback pair
    bool trace = false;
    std::string traceFile;  // --trace FILE: the trace goes there, not to standard error
    bool echo = false;
    // The movie: frames per second, and --frames or --seconds (-1: not given).
    int32_t fps = 30;
    int64_t frames = -1;
    double seconds = -1;
    std::string playFile;  // --play
    std::string playPort;  // --play-port; empty: the first input port
    // --wait-deadline: how long wait() and a frame wait for the ports before
    // that is an error.
    uint32_t waitDeadlineMs = 60000;
    bool help = false;
    bool version = false;
};

// `loop:NAME,in:NAME,out:NAME`, in any number and order, each name followed
// by any of its device's behaviours: `+pieces=N`, `+packed`, `+empty=N`,
// `+realtime-inside`, `+clock-every=N`, `+block-limit=N`, `+done-inline`,
// `+no-caps`, `+pull-cost=MS`, `+pull-error=nodriver|nodevice|error`,
// `+hold-done`.
// False with *error.
bool ParsePortSpecs(const std::string& text, std::vector<PortSpec>* ports, std::string* error);

// False with *error on a usage mistake. `defaultModule` is the module built
// with the console.
bool ParseOptions(int argc, char** argv, const std::string& defaultModule, Options* options,
                  std::string* error);

extern const char kUsage[];
// "tesmar-host <project version>" and a line break.
extern const char kVersionLine[];

}  // namespace console
