// tesmar-host: runs scripts against the plug-in inside the stand-in host.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "hostsim/console/interpreter.h"
#include "hostsim/console/module_session.h"
#include "hostsim/console/options.h"
#include "hostsim/console/virtual_ports.h"
#include "hostsim/sim_host.h"

#ifndef TESMAR_DEFAULT_MODULE
#if defined(_WIN64)
#define TESMAR_DEFAULT_MODULE "Tesmar.x64"
#elif defined(_WIN32)
#define TESMAR_DEFAULT_MODULE "Tesmar.x32"
#else
#define TESMAR_DEFAULT_MODULE "libtesmar.so"
#endif
#endif

namespace {

enum ExitStatus {
    kExitOk = 0,
    kExitScriptUnreadable = 1,
    kExitUsage = 2,
    kExitModule = 3,
    kExitLeaks = 4,
};

bool StdinIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stdin)) != 0;
#else
    return isatty(STDIN_FILENO) != 0;
#endif
}

bool ReadLines(std::istream& in, std::vector<std::string>* lines) {
    std::string line;
    while (std::getline(in, line)) {
        lines->push_back(line);
    }
    if (!lines->empty() && lines->front().rfind("\xEF\xBB\xBF", 0) == 0) {
        lines->front().erase(0, 3);
    }
    return !in.bad();
}

void Wait(int32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
#ifndef _WIN32
    console::WaitForVirtualInputs();
#endif
}

int Run(const console::Options& options) {
    std::vector<std::string> lines;
    if (!options.script.empty()) {
        std::ifstream file(options.script, std::ios::binary);
        if (!file || !ReadLines(file, &lines)) {
            std::cerr << "tesmar-host: cannot read script " << options.script << '\n';
            return kExitScriptUnreadable;
        }
    }

    hostsim::SimHost host;
#ifndef _WIN32
    console::SetUpVirtualPorts(options.ports, options.trace);
#endif
    std::string error;
    auto session = console::ModuleSession::Open(host, options.modulePath, &error);
    if (!session) {
        // One line, whatever the system's loader said.
        for (char& c : error) {
            if (c == '\n' || c == '\r') {
                c = ' ';
            }
        }
        std::cerr << "tesmar-host: cannot load module " << options.modulePath << ": " << error
                  << '\n';
#ifndef _WIN32
        console::TearDownVirtualPorts();
#endif
        return kExitModule;
    }

    {
        console::Interpreter interpreter(host, *session, std::cout, std::cerr);
        interpreter.SetWaiter(Wait);
        interpreter.SetEcho(options.echo);
        if (!options.script.empty()) {
            interpreter.RunScript(lines);
        } else {
            const bool prompt = StdinIsTerminal();
            std::string line;
            for (int number = 1;; ++number) {
                if (prompt) {
                    std::cerr << "> " << std::flush;
                }
                if (!std::getline(std::cin, line)) {
                    break;
                }
                interpreter.RunLine(number, line);
            }
            interpreter.Finish();
        }
        interpreter.ReleaseVariables();
    }
    session.reset();
#ifndef _WIN32
    console::TearDownVirtualPorts();
#endif

    if (host.LiveValues() != 0 || host.LiveBlocks() != 0 || host.BadReleases() != 0) {
        std::cerr << "tesmar-host: at exit " << host.LiveValues() << " values and "
                  << host.LiveBlocks() << " memory blocks were alive, " << host.BadReleases()
                  << " bad releases\n"
                  << host.LeakReport();
        return kExitLeaks;
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    console::Options options;
    std::string error;
    if (!console::ParseOptions(argc, argv, TESMAR_DEFAULT_MODULE, &options, &error)) {
        std::cerr << "tesmar-host: " << error << "\n"
                  << "try tesmar-host --help\n";
        return kExitUsage;
    }
    if (options.help) {
        std::cout << console::kUsage;
        return kExitOk;
    }
    return Run(options);
}
