// tesmar-host: runs scripts against the plug-in inside the stand-in host.
#include <atomic>
#include <csignal>
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

#include "console/console_clock.h"
#include "console/error_lines.h"
#include "console/language/interpreter.h"
#include "console/line_input.h"
#include "console/module_session.h"
#include "console/movie.h"
#include "console/options.h"
#include "console/port_functions.h"
#include "console/virtual_ports.h"
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
    kExitUsage = 2,  // and a script that does not compile
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

// Under --frames time is virtual: a wait moves the clock on, and takes no
// time of the machine's.
std::string Wait(int32_t ms) {
    if (console::ClockIsVirtual()) {
        console::AdvanceClockTo(console::ClockNow() + static_cast<uint32_t>(ms));
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    std::string error;
    if (!console::SettleVirtualPorts(&error)) {
        error.insert(0, "wait(): ");
    }
    return error;
}

std::string SettleAfterCall() {
    std::string error;
    console::SettleVirtualPorts(&error);
    return error;
}

// Ctrl-C stops what runs (a loop, a handler, the movie) with an error; a
// second one ends the program as usual.
std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int) {
    interrupted.store(true);
    std::signal(SIGINT, SIG_DFL);
}

class InterruptScope {
public:
    InterruptScope() { std::signal(SIGINT, OnInterrupt); }
    ~InterruptScope() {
        std::signal(SIGINT, SIG_DFL);
        interrupted.store(false);
    }
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;
};

// The movie's ports: --play feeds one input and pulls cables; every frame
// waits for them.
class ConsolePorts : public console::MoviePorts {
public:
    explicit ConsolePorts(int32_t input) : input_(input) {}
    void Inject(const std::vector<uint8_t>& bytes) override {
        std::string error;
        if (!console::InjectIntoVirtualInput(input_, bytes, &error) && !reported_) {
            console::Errors() << "tesmar-host: --play: " << error << '\n';
            reported_ = true;
        }
    }
    std::string Settle() override { return SettleAfterCall(); }
    void AdvanceClock(uint32_t ms) override { console::AdvanceClockTo(ms); }
    // A failed pull (no such port, already so) is the play file's mistake,
    // not the movie's: it is said, and the movie goes on.
    void Plug(const console::PlayMessage& pull) override {
        const bool plug = pull.kind == console::PlayMessage::Kind::Replug;
        std::string error;
        if (!console::PlugVirtualPort(plug, pull.port, &error)) {
            console::Errors() << "tesmar-host: play file line " << pull.line << ": "
                              << (plug ? "replug" : "unplug") << ": " << error << '\n';
        }
    }

private:
    int32_t input_;
    bool reported_ = false;
};

bool ReadPlay(const console::Options& options, std::vector<console::PlayMessage>* play,
              int* status) {
    if (options.playFile.empty()) {
        return true;
    }
    std::ifstream file(options.playFile, std::ios::binary);
    if (!file) {
        console::Errors() << "tesmar-host: cannot read --play file " << options.playFile << '\n';
        *status = kExitScriptUnreadable;
        return false;
    }
    std::string error;
    if (!console::ReadPlayFile(file, play, &error)) {
        console::Errors() << "tesmar-host: --play file " << options.playFile << ", " << error
                          << '\n';
        *status = kExitUsage;
        return false;
    }
    return true;
}

// The input port --play feeds, numbered from 0 among the inputs; -1 after
// reporting that there is none.
int32_t PlayInput(const console::Options& options) {
#ifndef _WIN32
    if (!options.playPort.empty()) {
        const int32_t input = console::FindVirtualInput(options.playPort);
        if (input < 0) {
            console::Errors() << "tesmar-host: --play-port " << options.playPort
                              << ": no virtual input port has that name\n";
        }
        return input;
    }
    bool anyInput = options.ports.empty();
    for (const console::PortSpec& port : options.ports) {
        anyInput = anyInput || port.kind != console::PortSpec::Kind::Output;
    }
    if (!options.playFile.empty() && !anyInput) {
        console::Errors() << "tesmar-host: --play needs an input port\n";
        return -1;
    }
#else
    (void)options;
#endif
    return 0;
}

// The virtual ports for as long as the run lasts.
class PortsScope {
public:
    PortsScope() = default;
    ~PortsScope() {
#ifndef _WIN32
        console::TearDownVirtualPorts();
#endif
    }
    PortsScope(const PortsScope&) = delete;
    PortsScope& operator=(const PortsScope&) = delete;
};

int ReadScript(const console::Options& options, std::vector<std::string>* lines) {
    if (options.script.empty()) {
        return kExitOk;
    }
    std::ifstream file(options.script, std::ios::binary);
    if (!file || !ReadLines(file, lines)) {
        console::Errors() << "tesmar-host: cannot read script " << options.script << '\n';
        return kExitScriptUnreadable;
    }
    return kExitOk;
}

std::unique_ptr<console::ModuleSession> OpenModule(hostsim::SimHost& host,
                                                   const console::Options& options) {
    std::string error;
    auto session = console::ModuleSession::Open(host, options.modulePath, &error);
    if (!session) {
        // One line, whatever the system's loader said.
        for (char& c : error) {
            if (c == '\n' || c == '\r') {
                c = ' ';
            }
        }
        console::Errors() << "tesmar-host: cannot load module " << options.modulePath << ": "
                          << error << '\n';
    }
    return session;
}

// The script file's lines, or the lines typed (or piped) at the prompt.
// False when the script file does not compile (then nothing ran).
bool RunStatements(console::Interpreter& interpreter, const console::Options& options,
                   const std::vector<std::string>& lines) {
    InterruptScope scope;
    if (!options.script.empty()) {
        return interpreter.RunScript(lines);
    }
    console::LineInput input(StdinIsTerminal());
    std::string line;
    for (int number = 1; input.Read(interpreter.InBlock(), &line); ++number) {
        // A Ctrl-C at the prompt stops nothing; the next line starts afresh.
        interrupted.store(false);
        std::signal(SIGINT, OnInterrupt);
        interpreter.RunLine(number, line);
        if (interpreter.halted()) {
            break;
        }
    }
    interpreter.Finish();
    return true;
}

void PlayIfMovie(console::Interpreter& interpreter, const console::Options& options,
                 const std::vector<console::PlayMessage>& play, int32_t playInput) {
    const bool movieOptions =
        options.frames >= 0 || options.seconds >= 0 || !options.playFile.empty();
    if (console::DefinesMovie(interpreter) && !interpreter.halted()) {
        InterruptScope scope;
        console::MovieOptions movie;
        movie.fps = options.fps;
        movie.frames = options.frames;
        movie.seconds = options.seconds;
        ConsolePorts ports(playInput);
        console::PlayMovie(interpreter, movie, play, ports, interrupted);
    } else if (movieOptions && !interpreter.halted()) {
        console::Errors()
            << "tesmar-host: no movie was played: --frames, --seconds and --play need "
               "a script that defines startMovie, enterFrame, exitFrame or stopMovie\n";
    }
}

int ReportAtExit(const hostsim::SimHost& host) {
    if (host.LiveValues() != 0 || host.LiveBlocks() != 0 || host.BadReleases() != 0) {
        console::Errors() << "tesmar-host: at exit " << host.LiveValues() << " values and "
                          << host.LiveBlocks() << " memory blocks were alive, "
                          << host.BadReleases() << " bad releases\n"
                          << host.LeakReport();
        return kExitLeaks;
    }
    return kExitOk;
}

int Run(const console::Options& options) {
    std::vector<std::string> lines;
    std::vector<console::PlayMessage> play;
    int status = ReadScript(options, &lines);
    if (status != kExitOk || !ReadPlay(options, &play, &status)) {
        return status;
    }
    hostsim::SimHost host;
    {
        std::string portsError;
        console::SetWaitDeadline(options.waitDeadlineMs);
        if (!options.traceFile.empty()) {
            std::FILE* file = std::fopen(options.traceFile.c_str(), "wb");
            if (file == nullptr) {
                console::Errors() << "tesmar-host: --trace: cannot write " << options.traceFile
                                  << '\n';
                return kExitUsage;
            }
            console::ErrorLines::Instance().SetTraceFile(file);
        }
        if (!console::SetUpVirtualPorts(options.ports, options.trace, &portsError)) {
            console::Errors() << "tesmar-host: --ports: " << portsError << '\n';
            return kExitUsage;
        }
        PortsScope ports;
        const int32_t playInput = PlayInput(options);
        if (playInput < 0) {
            return kExitUsage;
        }
        auto session = OpenModule(host, options);
        if (!session) {
            return kExitModule;
        }
        console::Interpreter interpreter(host, *session, std::cout, console::Errors());
        interpreter.SetWaiter(Wait);
        console::DefinePortFunctions(interpreter, console::PlugVirtualPort);
        interpreter.SetEcho(options.echo);
        interpreter.SetInterrupt(&interrupted);
        interpreter.SetClock([] { return int64_t{console::ClockNow()}; });
        if (options.frames >= 0) {
            std::string clockError;
            if (!console::UseVirtualClock(options.modulePath, &clockError)) {
                console::Errors() << "tesmar-host: --frames: " << clockError << '\n';
                return kExitModule;
            }
            interpreter.SetAfterMethodCall(SettleAfterCall);
        }
        if (!RunStatements(interpreter, options, lines)) {
            interpreter.ReleaseVariables();
            const int leaks = ReportAtExit(host);
            return leaks != kExitOk ? leaks : kExitUsage;
        }
        PlayIfMovie(interpreter, options, play, playInput);
        interpreter.ReleaseVariables();
    }
    return ReportAtExit(host);
}

}  // namespace

int main(int argc, char** argv) {
    console::Options options;
    std::string error;
    if (!console::ParseOptions(argc, argv, TESMAR_DEFAULT_MODULE, &options, &error)) {
        console::Errors() << "tesmar-host: " << error << "\n"
                          << "try tesmar-host --help\n";
        return kExitUsage;
    }
    if (options.help) {
        std::cout << console::kUsage;
        return kExitOk;
    }
    if (options.version) {
        std::cout << console::kVersionLine;
        return kExitOk;
    }
    const int status = Run(options);
    console::ErrorLines::Instance().Flush();
    return status;
}
