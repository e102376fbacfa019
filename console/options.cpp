#include "console/options.h"

#include <cstdlib>
#include <string_view>

#include "tesmar_version.h"

namespace console {

const char kUsage[] =
    "usage: tesmar-host [options] [script]\n"
    "\n"
    "Runs a script file, or reads statements at a prompt when standard input\n"
    "is a terminal (from standard input without a prompt otherwise).\n"
    "put writes to standard output; errors and traces go to standard error.\n"
    "\n"
    "options:\n"
    "  --ports SPEC   virtual MIDI ports, comma-separated: loop:NAME (an output\n"
    "                 that loops back to an input of the same name), in:NAME,\n"
    "                 out:NAME. Default: loop:Loopback. A name may be followed by\n"
    "                 behaviours of real MIDI stacks: +pieces=N (sysex handed back\n"
    "                 N bytes at a time), +packed (two messages in one buffer),\n"
    "                 +empty=N (an empty buffer after every N), +realtime-inside\n"
    "                 (real-time bytes inside sysex buffers), +clock-every=N (a\n"
    "                 clock after every N sysex bytes), +block-limit=N (longer\n"
    "                 output blocks refused), +done-inline (blocks done inside\n"
    "                 the send), +no-caps (the device cannot describe itself),\n"
    "                 +pull-cost=MS and +pull-error=nodriver|nodevice|error (how\n"
    "                 calls answer once unplugged), +hold-done (the output never\n"
    "                 reports a block done: waits reach their deadline)\n"
    "  --trace        write every MIDI message crossing a virtual port to\n"
    "                 standard error, e.g. \"120 ms Loopback out: 90 24 64\"\n"
    "  --trace FILE   the same, into FILE (--trace=FILE when FILE comes last)\n"
    "  --echo         write each statement to standard output before its\n"
    "                 result, as the message window shows the typed line\n"
    "  --fps N        frames per second of the movie (1 to 1000; default 30)\n"
    "  --frames N     play N frames, each once the virtual ports delivered\n"
    "                 everything sent so far (output independent of the clock)\n"
    "  --seconds S    play the movie for S seconds by the clock (default: until\n"
    "                 halt or Ctrl-C)\n"
    "  --wait-deadline S  how long wait() and each frame wait for the ports\n"
    "                 before that is an error (1 to 3600; default 60)\n"
    "  --play FILE    send the timed messages of FILE into an input port while\n"
    "                 the movie plays: a time in ms, then hex bytes as on the\n"
    "                 wire, or unplug NAME or replug NAME (a cable pulled)\n"
#ifndef _WIN32
    "  --play-port NAME  the input port --play sends into (default: the first)\n"
#endif
    "  --module PATH  the plug-in module to load (default: the one built with\n"
    "                 this program)\n"
    "  --version      the version of the console and the plug-in built with it\n"
    "  --help         this text\n"
#ifdef _WIN32
    "\n"
    "On Windows the system's own MIDI devices are used: --trace and --play-port\n"
    "are not available, --ports only gives the loopback driver's port\n"
    "behaviours (loop:Loopback+...), and --play needs that driver.\n"
#endif
    "\n"
    "A script that defines prepareMovie, startMovie, enterFrame, exitFrame or\n"
    "stopMovie plays as a movie after its last line.\n"
    "\n"
    "exit status: 0 after running the script (run-time errors in it are\n"
    "reported and skipped), 1 when the script or the --play file cannot be\n"
    "read, 2 on a usage error or a script that does not compile (then nothing\n"
    "ran), 3 when the module cannot be loaded, 4 when values or memory blocks\n"
    "were left alive or released twice at exit (the leak report goes to\n"
    "standard error).\n";

const char kVersionLine[] = "tesmar-host " TESMAR_VERSION "\n";

namespace {

// A whole number from `low` to `high` after `name=`; false with *error.
bool BehaviourNumber(std::string_view item, std::string_view name, uint32_t low, uint32_t high,
                     uint32_t* value, std::string* error) {
    const std::string text(item.substr(name.size() + 1));
    char* end = nullptr;
    const unsigned long number = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || text.size() > 9 || end != text.c_str() + text.size() || number < low ||
        number > high) {
        *error = std::string(1, '+').append(name) + " needs a whole number from " +
                 std::to_string(low) + " to " + std::to_string(high);
        return false;
    }
    *value = static_cast<uint32_t>(number);
    return true;
}

bool ParseBehaviour(std::string_view item, PortSpec* spec, std::string* error) {
    const size_t equals = item.find('=');
    const std::string_view name = item.substr(0, equals);
    const bool hasValue = equals != std::string_view::npos;
    standin::StackBehaviour& stack = spec->stack;
    struct Numbered {
        const char* name;
        uint32_t low;
        uint32_t high;
        uint32_t* field;
    };
    const Numbered numbered[] = {
        {"pieces", 1, 512, &stack.pieceBytes},
        {"empty", 1, 1000, &stack.emptyEvery},
        {"clock-every", 1, 1000000, &stack.clockEvery},
        {"block-limit", 1, 65536, &stack.blockLimit},
        {"pull-cost", 0, 60000, &spec->pullCostMs},
    };
    for (const Numbered& entry : numbered) {
        if (name == entry.name) {
            if (!hasValue) {
                *error = std::string(1, '+').append(name) + " needs =N";
                return false;
            }
            return BehaviourNumber(item, name, entry.low, entry.high, entry.field, error);
        }
    }
    struct Flag {
        const char* name;
        uint32_t* field;
    };
    const Flag flags[] = {{"packed", &stack.packMessages},
                          {"realtime-inside", &stack.realTimeInSysEx},
                          {"done-inline", &stack.doneInline}};
    for (const Flag& flag : flags) {
        if (name == flag.name && !hasValue) {
            *flag.field = 1;
            return true;
        }
    }
    if (name == "no-caps" && !hasValue) {
        spec->capsFail = true;
        return true;
    }
    if (name == "hold-done" && !hasValue) {
        spec->holdDone = true;
        return true;
    }
    if (name == "pull-error" && hasValue) {
        const std::string_view value = item.substr(equals + 1);
        if (value == "nodriver" || value == "nodevice" || value == "error") {
            spec->pullResult = value == "nodriver" ? 6 : value == "nodevice" ? 68 : 1;
            return true;
        }
        *error = "+pull-error is nodriver, nodevice or error";
        return false;
    }
    *error = "unknown port behaviour +" + std::string(item) +
             " (pieces=N, packed, empty=N, realtime-inside, clock-every=N, block-limit=N, "
             "done-inline, no-caps, pull-cost=MS, pull-error=..., hold-done)";
    return false;
}

}  // namespace

bool ParsePortSpecs(const std::string& text, std::vector<PortSpec>* ports, std::string* error) {
    ports->clear();
    size_t start = 0;
    while (true) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string_view item = std::string_view(text).substr(start, end - start);
        const size_t colon = item.find(':');
        if (colon == std::string_view::npos) {
            *error = "port \"" + std::string(item) + "\" needs loop:, in: or out: before its name";
            return false;
        }
        const std::string_view kind = item.substr(0, colon);
        const std::string_view rest = item.substr(colon + 1);
        const size_t plus = rest.find('+');
        const std::string name(rest.substr(0, plus));
        PortSpec spec{PortSpec::Kind::Loopback, name, {}, false, 0, 6};
        if (kind == "loop") {
            spec.kind = PortSpec::Kind::Loopback;
        } else if (kind == "in") {
            spec.kind = PortSpec::Kind::Input;
        } else if (kind == "out") {
            spec.kind = PortSpec::Kind::Output;
        } else {
            *error = "unknown port kind \"" + std::string(kind) + "\" (loop, in or out)";
            return false;
        }
        // The device's capabilities carry the first 31 characters, as a real
        // device's do.
        if (name.empty() || name.size() > 63) {
            *error = "port name \"" + name + "\" must have 1 to 63 characters";
            return false;
        }
        for (size_t at = plus; at != std::string_view::npos;) {
            const size_t next = rest.find('+', at + 1);
            const size_t length = next == std::string_view::npos ? next : next - at - 1;
            if (!ParseBehaviour(rest.substr(at + 1, length), &spec, error)) {
                return false;
            }
            at = next;
        }
        ports->push_back(spec);
        if (end == text.size()) {
            return true;
        }
        start = end + 1;
    }
}

namespace {

// A whole decimal number from `low` to `high`; false otherwise.
bool ParseNumber(const std::string& text, double low, double high, bool integer, double* value) {
    if (text.empty() || text.size() > 12) {
        return false;
    }
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !(number >= low && number <= high)) {
        return false;
    }
    if (integer && static_cast<double>(static_cast<int64_t>(number)) != number) {
        return false;
    }
    *value = number;
    return true;
}

}  // namespace

bool ParseOptions(int argc, char** argv, const std::string& defaultModule, Options* options,
                  std::string* error) {
    *options = Options{};
    options->modulePath = defaultModule;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            options->help = true;
        } else if (arg == "--version") {
            options->version = true;
        } else if (arg == "--echo") {
            options->echo = true;
        } else if (arg == "--fps" || arg == "--frames" || arg == "--seconds") {
            double number = 0;
            const bool isFps = arg == "--fps";
            const bool isFrames = arg == "--frames";
            const double high = isFps ? 1000 : 1e9;
            if (!hasValue ||
                !ParseNumber(argv[i + 1], isFps ? 1 : 0, high, isFps || isFrames, &number) ||
                (arg == "--seconds" && number <= 0)) {
                *error = arg + (isFps      ? " needs a whole number from 1 to 1000"
                                : isFrames ? " needs a whole number of frames"
                                           : " needs a number of seconds above 0");
                return false;
            }
            ++i;
            if (isFps) {
                options->fps = static_cast<int32_t>(number);
            } else if (isFrames) {
                options->frames = static_cast<int64_t>(number);
            } else {
                options->seconds = number;
            }
            if (options->frames >= 0 && options->seconds >= 0) {
                *error = "--frames and --seconds cannot be given together";
                return false;
            }
        } else if (arg == "--play") {
            if (!hasValue) {
                *error = "--play needs a file";
                return false;
            }
            options->playFile = argv[++i];
        } else if (arg == "--module") {
            if (!hasValue) {
                *error = "--module needs a path";
                return false;
            }
            options->modulePath = argv[++i];
        } else if (arg == "--ports") {
            if (!hasValue) {
                *error = "--ports needs a list such as loop:Loopback,in:Keys";
                return false;
            }
            if (!ParsePortSpecs(argv[++i], &options->ports, error)) {
                return false;
            }
#ifdef _WIN32
            // Only the loopback driver's port is the console's to shape here.
            for (const PortSpec& port : options->ports) {
                if (port.kind != PortSpec::Kind::Loopback || port.name != "Loopback" ||
                    port.capsFail || port.pullCostMs != 0 || port.pullResult != 6 ||
                    port.holdDone || options->ports.size() != 1) {
                    *error =
                        "on Windows --ports can only give the loopback driver's port behaviours "
                        "(loop:Loopback+pieces=6, ...; not no-caps, pull-* or hold-done)";
                    return false;
                }
            }
#endif
        } else if (arg == "--wait-deadline") {
            double seconds = 0;
            if (!hasValue || !ParseNumber(argv[i + 1], 1, 3600, true, &seconds)) {
                *error = "--wait-deadline needs a whole number of seconds from 1 to 3600";
                return false;
            }
            ++i;
            options->waitDeadlineMs = static_cast<uint32_t>(seconds) * 1000;
        } else if (arg == "--trace" || arg.rfind("--trace=", 0) == 0 || arg == "--play-port") {
#ifdef _WIN32
            *error = arg.substr(0, arg.find('=')) +
                     " is not available on Windows: the system's MIDI devices are used";
            return false;
#else
            if (arg != "--play-port") {
                options->trace = true;
                // The last argument after a bare --trace is the script.
                if (arg != "--trace") {
                    options->traceFile = arg.substr(8);
                } else if (i + 2 < argc && argv[i + 1][0] != '-') {
                    options->traceFile = argv[++i];
                }
                if (arg != "--trace" && options->traceFile.empty()) {
                    *error = "--trace= needs a file";
                    return false;
                }
                continue;
            }
            if (arg == "--play-port") {
                if (!hasValue) {
                    *error = "--play-port needs the name of an input port";
                    return false;
                }
                options->playPort = argv[++i];
                continue;
            }
#endif
        } else if (arg.size() > 1 && arg[0] == '-') {
            *error = "unknown option " + arg;
            return false;
        } else if (options->script.empty()) {
            options->script = arg;
        } else {
            *error = "only one script can be run, not also " + arg;
            return false;
        }
    }
    return true;
}

}  // namespace console
