// The console's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace console {

struct PortSpec {
    enum class Kind { Loopback, Input, Output };
    Kind kind;
    std::string name;
};

struct Options {
    std::string script;  // empty: read from standard input
    std::string modulePath;
    std::vector<PortSpec> ports;  // empty: the default loopback pair
    bool trace = false;
    bool echo = false;
    // The movie: frames per second, and --frames or --seconds (-1: not given).
    int32_t fps = 30;
    int64_t frames = -1;
    double seconds = -1;
    std::string playFile;  // --play
    std::string playPort;  // --play-port; empty: the first input port
    bool help = false;
};

// `loop:NAME,in:NAME,out:NAME`, in any number and order. False with *error.
bool ParsePortSpecs(const std::string& text, std::vector<PortSpec>* ports, std::string* error);

// False with *error on a usage mistake. `defaultModule` is the module built
// with the console.
bool ParseOptions(int argc, char** argv, const std::string& defaultModule, Options* options,
                  std::string* error);

extern const char kUsage[];

}  // namespace console
