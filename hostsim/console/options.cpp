#include "hostsim/console/options.h"

#include <string_view>

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
    "                 out:NAME. Default: loop:Loopback\n"
    "  --trace        write every MIDI message crossing a virtual port to\n"
    "                 standard error, e.g. \"Loopback out: 90 24 64\"\n"
    "  --echo         write each statement to standard output before its\n"
    "                 result, as the message window shows the typed line\n"
    "  --module PATH  the plug-in module to load (default: the one built with\n"
    "                 this program)\n"
    "  --help         this text\n"
#ifdef _WIN32
    "\n"
    "On Windows the system's own MIDI devices are used: --ports and --trace\n"
    "are not available.\n"
#endif
    "\n"
    "exit status: 0 after running the script (errors in it are reported and\n"
    "skipped), 1 when the script cannot be read, 2 on a usage error, 3 when the\n"
    "module cannot be loaded, 4 when values or memory blocks were left alive\n"
    "or released twice at exit (the leak report goes to standard error).\n";

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
        const std::string name(item.substr(colon + 1));
        PortSpec spec{PortSpec::Kind::Loopback, name};
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
        // Device capabilities hold at most 31 characters of a name.
        if (name.empty() || name.size() > 31) {
            *error = "port name \"" + name + "\" must have 1 to 31 characters";
            return false;
        }
        ports->push_back(spec);
        if (end == text.size()) {
            return true;
        }
        start = end + 1;
    }
}

bool ParseOptions(int argc, char** argv, const std::string& defaultModule, Options* options,
                  std::string* error) {
    *options = Options{};
    options->modulePath = defaultModule;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            options->help = true;
        } else if (arg == "--echo") {
            options->echo = true;
        } else if (arg == "--module") {
            if (!hasValue) {
                *error = "--module needs a path";
                return false;
            }
            options->modulePath = argv[++i];
        } else if (arg == "--ports" || arg == "--trace") {
#ifdef _WIN32
            *error = arg + " is not available on Windows: the system's MIDI devices are used";
            return false;
#else
            if (arg == "--trace") {
                options->trace = true;
                continue;
            }
            if (!hasValue) {
                *error = "--ports needs a list such as loop:Loopback,in:Keys";
                return false;
            }
            if (!ParsePortSpecs(argv[++i], &options->ports, error)) {
                return false;
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
