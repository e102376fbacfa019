// The fault sweep: every failable host-service call and every winmm call of
// a session fails in turn, one per run, each run in a child process with a
// deadline. A run passes when it did not crash, hang or trip a sanitizer,
// left the host's accounting clean (memory kept for a device the driver would
// not let go counts only when the module says it cannot be unloaded), damaged
// no received message, and either shows the script the failure where its
// output first departs from the fault-free run's, or does not depart at all.
//
//   fault_sweep [--session examples|refusing-driver|pulled-cable|all] [--jobs N]
//               [--bound N] [--stride N] [--deadline SECONDS] [--module PATH]
//               [--show-plan 1]   (also prints what the fault-free run saw)
//
// Every call number up to the bound is failed; after it every stride-th and
// the last. Prints the totals; exit status 1 when a run failed.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "simwinmm/control.h"
#include "tests/sweep/session.h"

// The leak checker misreads the dynamic thread-local storage of a process that
// unloaded a library (it faults in its own tracer), and each run here does:
// the runs leave TLS out of the checker's roots.
extern "C" const char* __lsan_default_options() {
    return "use_tls=0:print_suppressions=0";
}

namespace {

using sweep::Fault;
using sweep::SessionKind;

struct Options {
    std::vector<SessionKind> sessions{SessionKind::Examples, SessionKind::RefusingDriver,
                                      SessionKind::PulledCable, SessionKind::RealStack};
    int jobs = 2;
    uint32_t bound = 48;
    uint32_t stride = 23;
    int deadline = 60;
    bool showPlan = false;
    std::string module = TESMAR_MODULE_PATH;
};

struct Report {
    bool finished = false;  // the child wrote "end"
    int status = 0;         // from waitpid
    bool timedOut = false;
    std::map<int, std::string> steps;
    std::vector<std::string> sent;
    std::vector<std::string> received;
    std::map<std::string, uint32_t> counts;  // "host Alloc" -> calls
    long long values = 0, blocks = 0, badReleases = 0, services = 0;
    bool kept = false;
};

void Parse(const std::string& text, Report& report) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::string word;
        in >> word;
        if (word == "sent") {
            std::string rest;
            std::getline(in, rest);
            report.sent.push_back(rest);
        } else if (word == "step" || word == "recv") {
            int number = 0;
            in >> number;
            std::string rest;
            std::getline(in, rest);
            if (word == "step") {
                report.steps[number] = rest;
            } else {
                report.received.push_back(rest);
            }
        } else if (word == "count") {
            std::string where, operation;
            uint32_t calls = 0;
            in >> where >> operation >> calls;
            report.counts[where + " " + operation] = calls;
        } else if (word == "accounting") {
            int kept = 0;
            in >> report.values >> report.blocks >> report.badReleases >> report.services >> kept;
            report.kept = kept != 0;
        } else if (word == "end") {
            report.finished = true;
        }
    }
}

struct Child {
    pid_t pid = -1;
    int fd = -1;
    std::string output;
    std::chrono::steady_clock::time_point deadline;
    size_t index = 0;
};

Child Start(SessionKind kind, const Fault& fault, const Options& options, size_t index) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        std::perror("pipe");
        std::exit(2);
    }
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        sweep::RunSession(kind, fault, options.module, pipeFds[1]);
        close(pipeFds[1]);
        // No driver thread may still run when the leak checker stops the
        // process at exit: it cannot stop a thread on its way out.
        simwinmm::Reset();
        std::exit(0);
    }
    close(pipeFds[1]);
    Child child;
    child.pid = pid;
    child.fd = pipeFds[0];
    child.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.deadline);
    child.index = index;
    return child;
}

// Runs every fault with at most `jobs` children at a time.
std::vector<Report> RunAll(SessionKind kind, const std::vector<Fault>& faults,
                           const Options& options) {
    std::vector<Report> reports(faults.size());
    std::vector<Child> running;
    size_t next = 0;
    while (next < faults.size() || !running.empty()) {
        while (next < faults.size() && running.size() < static_cast<size_t>(options.jobs)) {
            running.push_back(Start(kind, faults[next], options, next));
            ++next;
        }
        std::vector<pollfd> fds;
        for (const Child& child : running) {
            fds.push_back(pollfd{child.fd, POLLIN, 0});
        }
        poll(fds.data(), fds.size(), 100);
        for (size_t i = 0; i < running.size();) {
            Child& child = running[i];
            char buffer[4096];
            bool closed = false;
            if (fds[i].revents != 0) {
                const ssize_t got = read(child.fd, buffer, sizeof buffer);
                if (got > 0) {
                    child.output.append(buffer, static_cast<size_t>(got));
                } else {
                    closed = true;
                }
            }
            Report& report = reports[child.index];
            if (!closed && std::chrono::steady_clock::now() > child.deadline) {
                kill(child.pid, SIGKILL);
                report.timedOut = true;
                closed = true;
            }
            if (closed) {
                close(child.fd);
                waitpid(child.pid, &report.status, 0);
                Parse(child.output, report);
                running.erase(running.begin() + static_cast<long>(i));
                fds.erase(fds.begin() + static_cast<long>(i));
                continue;
            }
            ++i;
        }
    }
    return reports;
}

// A status result means its code: a text the host could not make is no damage.
std::string Normalised(const std::string& step) {
    const size_t code = step.find("[#code: ");
    if (code == std::string::npos) {
        return step;
    }
    const size_t end = step.find_first_of(",]", code + 8);
    return step.substr(0, end) + "]";
}

// What tells a script that something failed.
bool Visible(const std::string& step) {
    // A port whose device could not describe itself is listed as unavailable.
    for (const char* mark : {"host error", "<Void>", "load failed", "register ", "MessagesPending",
                             "pending list", " unavailable)"}) {
        if (step.find(mark) != std::string::npos) {
            return true;
        }
    }
    const size_t code = step.find("[#code: ");
    if (code != std::string::npos) {
        return step.compare(code + 8, 2, "0]") != 0 && step.compare(code + 8, 2, "0,") != 0;
    }
    // A status result without its code.
    return step.find("[#text:") != std::string::npos;
}

enum class Outcome { Same, Seen, Crash, Sanitizer, Hang, Leak, Damage, Silent };
const char* const kOutcomeNames[] = {
    "same output", "failure shown", "crash",           "sanitizer/abort",
    "hang",        "leak",          "damaged message", "silent difference"};

Outcome Classify(const Report& base, const Report& run, std::string& why) {
    if (run.timedOut) {
        return Outcome::Hang;
    }
    if (WIFSIGNALED(run.status)) {
        why = "signal " + std::to_string(WTERMSIG(run.status));
        return Outcome::Crash;
    }
    if (WEXITSTATUS(run.status) != 0 || !run.finished) {
        why = "exit " + std::to_string(WEXITSTATUS(run.status));
        return Outcome::Sanitizer;
    }
    if (run.values != 0 || run.badReleases != 0 || run.services != 0 ||
        (run.blocks != 0 && !run.kept)) {
        why = "values " + std::to_string(run.values) + " blocks " + std::to_string(run.blocks) +
              " bad releases " + std::to_string(run.badReleases) + " service references " +
              std::to_string(run.services);
        return Outcome::Leak;
    }
    // Received messages: each one whole, none twice, in the order sent.
    size_t at = 0;
    for (const std::string& message : run.received) {
        while (at < base.sent.size() && base.sent[at] != message) {
            ++at;
        }
        if (at == base.sent.size()) {
            why = "received" + message;
            return Outcome::Damage;
        }
        ++at;
    }
    for (const auto& [number, step] : base.steps) {
        const auto found = run.steps.find(number);
        const std::string seen = found == run.steps.end() ? "" : found->second;
        if (Normalised(seen) == Normalised(step)) {
            continue;
        }
        if (Visible(seen) || found == run.steps.end()) {
            return Outcome::Seen;
        }
        why = "step " + std::to_string(number) + ":" + seen + " instead of" + step;
        return Outcome::Silent;
    }
    if (run.received != base.received) {
        why = "received " + std::to_string(run.received.size()) + " messages instead of " +
              std::to_string(base.received.size());
        return Outcome::Silent;
    }
    return Outcome::Same;
}

std::vector<Fault> Plan(const Report& base, const Options& options, SessionKind kind) {
    // The real-stack session's thousands of calls per sysex byte are the
    // examples session's too; what is its own (pieces, clocks, blocks) takes
    // few calls, so it is sampled more thinly.
    uint32_t bound = options.bound;
    uint32_t stride = options.stride;
    if (kind == SessionKind::RealStack) {
        bound = std::min<uint32_t>(bound, 16);
        stride = std::max<uint32_t>(stride, 97);
    }
    std::vector<Fault> faults;
    auto add = [&](Fault::Where where, const char* prefix,
                   const std::vector<std::string>& operations) {
        for (const std::string& operation : operations) {
            const auto found = base.counts.find(std::string(prefix) + " " + operation);
            const uint32_t calls = found == base.counts.end() ? 0 : found->second;
            for (uint32_t n = 1; n <= calls; ++n) {
                if (n <= bound || (n - bound) % stride == 0 || n == calls) {
                    faults.push_back(Fault{where, operation, n});
                }
            }
        }
    };
    add(Fault::Where::Host, "host", sweep::kHostOperations);
    add(Fault::Where::Winmm, "winmm", sweep::kWinmmOperations);
    add(Fault::Where::Registry, "registry", sweep::kRegistryOperations);
    return faults;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::string value = argv[i + 1];
        if (name == "--session") {
            options.sessions.clear();
            if (value == "examples" || value == "all") {
                options.sessions.push_back(SessionKind::Examples);
            }
            if (value == "refusing-driver" || value == "all") {
                options.sessions.push_back(SessionKind::RefusingDriver);
            }
            if (value == "pulled-cable" || value == "all") {
                options.sessions.push_back(SessionKind::PulledCable);
            }
            if (value == "real-stack" || value == "all") {
                options.sessions.push_back(SessionKind::RealStack);
            }
        } else if (name == "--show-plan") {
            options.showPlan = value != "0";
        } else if (name == "--jobs") {
            options.jobs = std::max(1, std::atoi(value.c_str()));
        } else if (name == "--bound") {
            options.bound = static_cast<uint32_t>(std::atoi(value.c_str()));
        } else if (name == "--stride") {
            options.stride = static_cast<uint32_t>(std::max(1, std::atoi(value.c_str())));
        } else if (name == "--deadline") {
            options.deadline = std::atoi(value.c_str());
        } else if (name == "--module") {
            options.module = value;
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && !options.sessions.empty();
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: fault_sweep [--session examples|refusing-driver|pulled-cable|all] "
                     "[--jobs N] [--bound N] [--stride N] [--deadline SECONDS] [--module PATH] "
                     "[--show-plan 1]\n");
        return 2;
    }
    bool failed = false;
    for (SessionKind kind : options.sessions) {
        const auto started = std::chrono::steady_clock::now();
        const Report base = RunAll(kind, {Fault{}}, options).front();
        if (options.showPlan) {
            // What the fault-free run saw, which every other run is held to.
            for (const auto& [number, step] : base.steps) {
                std::printf("%s step %d %s\n", sweep::SessionName(kind), number, step.c_str());
            }
            for (const std::string& message : base.received) {
                std::printf("%s recv %s\n", sweep::SessionName(kind), message.c_str());
            }
            for (const auto& [operation, calls] : base.counts) {
                if (calls > 0) {
                    std::printf("%s calls %s %u\n", sweep::SessionName(kind), operation.c_str(),
                                calls);
                }
            }
        }
        std::string why;
        if (Classify(base, base, why) != Outcome::Same || base.steps.empty()) {
            std::printf("%s: the fault-free run itself failed (%s)\n", sweep::SessionName(kind),
                        why.c_str());
            failed = true;
            continue;
        }
        const std::vector<Fault> faults = Plan(base, options, kind);
        const std::vector<Report> reports = RunAll(kind, faults, options);
        size_t totals[std::size(kOutcomeNames)] = {};
        for (size_t i = 0; i < faults.size(); ++i) {
            const Outcome outcome = Classify(base, reports[i], why);
            ++totals[static_cast<size_t>(outcome)];
            if (outcome > Outcome::Seen) {
                failed = true;
                std::printf("FAIL %s: %s call %u: %s (%s)\n", sweep::SessionName(kind),
                            faults[i].operation.c_str(), faults[i].nth,
                            kOutcomeNames[static_cast<size_t>(outcome)], why.c_str());
            }
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::printf(
            "%s: %zu runs in %.0f s; survived cleanly %zu (same output %zu, failure shown %zu)",
            sweep::SessionName(kind), faults.size(), seconds, totals[0] + totals[1], totals[0],
            totals[1]);
        for (size_t outcome = 2; outcome < std::size(kOutcomeNames); ++outcome) {
            std::printf("; %s %zu", kOutcomeNames[outcome], totals[outcome]);
        }
        std::printf("\n");
    }
    return failed ? 1 : 0;
}
