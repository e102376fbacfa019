// The soak: short messages and system-exclusive messages of random sizes sent
// and received through the loaded module and its dispatch, as the host calls
// them, over simwinmm's loopback port, for a count of messages or a time.
//
//   soak [--messages N] [--seconds S] [--queue BYTES] [--seed N] [--module PATH]
//
// With a queue large enough for a round's traffic every message must arrive
// intact and in order; with a small one, messages may be lost but every round
// that loses one must see InputOverflowed say so. Resident memory at the end
// must equal the start's (after a warm-up) within a small bound. Prints the
// messages moved, lost and flagged and the memory before and after; exit
// status 0 when all of that held.
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "hostsim/loader.h"
#include "hostsim/sim_host.h"
#include "simwinmm/control.h"

namespace {

constexpr int64_t kWarmUp = 20000;
constexpr int64_t kMemoryBound = 8 << 20;  // bytes of resident growth allowed

// A sanitizer's own shadow memory and history grow with the traffic: under
// one, resident memory says nothing about the plug-in's.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryMeasurable = false;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
constexpr bool kMemoryMeasurable = false;
#else
constexpr bool kMemoryMeasurable = true;
#endif
#else
constexpr bool kMemoryMeasurable = true;
#endif
constexpr int32_t kSequences = 16 * 128 * 127;
constexpr int32_t kMostInRound = 300;
constexpr int32_t kLongestSysEx = 2000;

struct Options {
    int64_t messages = 10'000'000;
    double seconds = 0;  // 0: by count
    int32_t queue = 1 << 20;
    uint32_t seed = 1;
    std::string module = TESMAR_MODULE_PATH;
};

bool Parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            return false;
        }
        const char* value = argv[++i];
        if (arg == "--messages") {
            options.messages = std::atoll(value);
        } else if (arg == "--seconds") {
            options.seconds = std::atof(value);
        } else if (arg == "--queue") {
            options.queue = std::atoi(value);
        } else if (arg == "--seed") {
            options.seed = static_cast<uint32_t>(std::atoll(value));
        } else if (arg == "--module") {
            options.module = value;
        } else {
            return false;
        }
    }
    return true;
}

int64_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    int64_t size = 0;
    int64_t resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// What was sent, to be met again on the way back.
struct Sent {
    bool sysex;
    int32_t sequence;  // short messages: 0 .. kSequences - 1
    int32_t manufacturer;
    std::vector<int32_t> data;
};

class Traffic {
public:
    Traffic(hostsim::SimHost& host, hostsim::LoadedModule& module, hostsim::ScriptObject& object)
        : host_(host), module_(module), object_(object) {}

    ScriptValue Call(const char* method, std::vector<ScriptValue> args = {}) {
        ScriptValue result = host_.Void();
        object_.Call(module_.MethodNumber(method), args, result);
        for (ScriptValue& arg : args) {
            host_.Release(arg);
        }
        return result;
    }
    // The integer a method returns, or the #code of its status.
    int32_t Code(const char* method, std::vector<ScriptValue> args = {}) {
        ScriptValue result = Call(method, std::move(args));
        int32_t code = host_.IntegerOf(result);
        if (host_.KindOf(result) == hostsim::Kind::PropList) {
            code = IntegerAt(result, 1);
        }
        host_.Release(result);
        return code;
    }
    int32_t IntegerAt(const ScriptValue& list, int32_t position) {
        ScriptValue item = host_.At(list, position);
        const int32_t value = host_.IntegerOf(item);
        host_.Release(item);
        return value;
    }

    bool Send(const Sent& message) {
        ScriptValue list = host_.NewList();
        if (message.sysex) {
            Append(list, host_.SymbolValue("systemExclusive"));
            Append(list, host_.Integer(message.manufacturer));
            ScriptValue data = host_.NewList();
            for (int32_t byte : message.data) {
                Append(data, host_.Integer(byte));
            }
            Append(list, data);
        } else {
            const int32_t s = message.sequence;
            Append(list, host_.SymbolValue("noteOn"));
            Append(list, host_.Integer(s / (128 * 127) + 1));
            Append(list, host_.Integer(s / 127 % 128));
            Append(list, host_.Integer(s % 127 + 1));
        }
        return Code("SendMessage", {list}) == 0;
    }

    // Whether a received property list is exactly `expected`.
    bool Matches(const ScriptValue& got, const Sent& expected) {
        if (expected.sysex) {
            if (host_.Count(got) != 4 || host_.KeyAt(got, 3) != "data" ||
                IntegerAt(got, 2) != expected.manufacturer) {
                return false;
            }
            ScriptValue data = host_.At(got, 3);
            bool same = host_.Count(data) == static_cast<int32_t>(expected.data.size());
            for (size_t i = 0; same && i < expected.data.size(); ++i) {
                same = IntegerAt(data, static_cast<int32_t>(i) + 1) == expected.data[i];
            }
            host_.Release(data);
            return same;
        }
        const int32_t s = expected.sequence;
        return host_.Count(got) == 5 && host_.KeyAt(got, 1) == "type" &&
               IntegerAt(got, 2) == s / (128 * 127) + 1 && IntegerAt(got, 3) == s / 127 % 128 &&
               IntegerAt(got, 4) == s % 127 + 1;
    }

    hostsim::SimHost& host() { return host_; }

private:
    void Append(ScriptValue& list, ScriptValue value) {
        host_.Append(list, value);
        host_.Release(value);
    }

    hostsim::SimHost& host_;
    hostsim::LoadedModule& module_;
    hostsim::ScriptObject& object_;
};

struct Totals {
    int64_t sent = 0;
    int64_t received = 0;
    int64_t sysex = 0;
    int64_t lostRounds = 0;
    int64_t flaggedRounds = 0;  // rounds that lost messages and said so
    int64_t flagsWithoutLoss = 0;
    int64_t damaged = 0;  // out of order, or not what was sent
};

// One round: a burst of messages, then everything that came back.
bool Round(Traffic& traffic, uint32_t input, std::mt19937& random, int32_t& sequence,
           Totals& totals) {
    std::vector<Sent> sent;
    const int32_t count = 1 + static_cast<int32_t>(random() % kMostInRound);
    for (int32_t i = 0; i < count; ++i) {
        Sent message{};
        message.sysex = random() % 50 == 0;
        if (message.sysex) {
            message.manufacturer = static_cast<int32_t>(random() % 128);
            message.data.resize(random() % (kLongestSysEx + 1));
            for (int32_t& byte : message.data) {
                byte = static_cast<int32_t>(random() % 128);
            }
            ++totals.sysex;
        } else {
            message.sequence = sequence;
            sequence = (sequence + 1) % kSequences;
        }
        if (!traffic.Send(message)) {
            std::fprintf(stderr, "soak: SendMessage failed\n");
            return false;
        }
        sent.push_back(std::move(message));
    }
    totals.sent += count;
    simwinmm::WaitIdle(input);

    hostsim::SimHost& host = traffic.host();
    ScriptValue pending = traffic.Call("GetPendingMessages");
    const int32_t got = host.Count(pending);
    // What came back is what was sent, in order, with gaps only where lost.
    size_t next = 0;
    for (int32_t i = 1; i <= got; ++i) {
        ScriptValue message = host.At(pending, i);
        while (next < sent.size() && !traffic.Matches(message, sent[next])) {
            ++next;
        }
        if (next == sent.size()) {
            ++totals.damaged;
        } else {
            ++next;
        }
        host.Release(message);
    }
    host.Release(pending);
    totals.received += got;
    const bool flagged = traffic.Code("InputOverflowed") != 0;
    if (got < count) {
        ++totals.lostRounds;
        totals.flaggedRounds += flagged ? 1 : 0;
    } else if (flagged) {
        ++totals.flagsWithoutLoss;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!Parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: soak [--messages N] [--seconds S] [--queue BYTES] [--seed N] "
                     "[--module PATH]\n");
        return 2;
    }
    simwinmm::Reset();
    const simwinmm::PortPair loop = simwinmm::AddLoopbackPort("Loopback");
    hostsim::SimHost host;
    std::string error;
    auto module = hostsim::LoadedModule::Load(host, options.module, &error);
    if (!module || module->Register() != kHostOk) {
        std::fprintf(stderr, "soak: cannot load %s: %s\n", options.module.c_str(), error.c_str());
        return 1;
    }
    Totals totals;
    int64_t before = 0;
    int64_t after = 0;
    double elapsed = 0;
    bool ok = true;
    {
        auto object = module->NewInstance();
        if (!object) {
            std::fprintf(stderr, "soak: no script instance\n");
            return 1;
        }
        Traffic traffic(host, *module, *object);
        traffic.Code("Init");
        if (traffic.Code("OpenInput", {host.Integer(static_cast<int32_t>(loop.input) + 1),
                                       host.Integer(options.queue)}) != 0 ||
            traffic.Code("OpenOutput", {host.Integer(static_cast<int32_t>(loop.output) + 1)}) !=
                0) {
            std::fprintf(stderr, "soak: cannot open the loopback port\n");
            return 1;
        }
        std::mt19937 random(options.seed);
        int32_t sequence = 0;
        const auto start = std::chrono::steady_clock::now();
        auto seconds = [&] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        };
        while (ok && (options.seconds > 0 ? seconds() < options.seconds
                                          : totals.sent < options.messages)) {
            if (before == 0 && totals.sent >= kWarmUp) {
                before = ResidentBytes();
            }
            ok = Round(traffic, loop.input, random, sequence, totals);
        }
        elapsed = seconds();
        if (before == 0) {
            before = ResidentBytes();
        }
        after = ResidentBytes();
        traffic.Code("CloseInput");
        traffic.Code("CloseOutput");
    }
    module.reset();
    simwinmm::Reset();

    const bool large = totals.lostRounds == 0 && totals.flagsWithoutLoss == 0;
    std::printf(
        "soak: %lld messages moved (%lld sysex) in %.1f s, %.0f messages/s; queue %d bytes\n",
        static_cast<long long>(totals.sent), static_cast<long long>(totals.sysex), elapsed,
        static_cast<double>(totals.sent) / elapsed, options.queue);
    std::printf(
        "received %lld, lost %lld, damaged or out of order %lld; rounds that lost "
        "messages %lld, of them flagged %lld; flags without a loss %lld\n",
        static_cast<long long>(totals.received),
        static_cast<long long>(totals.sent - totals.received),
        static_cast<long long>(totals.damaged), static_cast<long long>(totals.lostRounds),
        static_cast<long long>(totals.flaggedRounds),
        static_cast<long long>(totals.flagsWithoutLoss));
    std::printf("resident memory after warm-up %.1f MiB, at the end %.1f MiB (%+.1f MiB)\n",
                static_cast<double>(before) / (1 << 20), static_cast<double>(after) / (1 << 20),
                static_cast<double>(after - before) / (1 << 20));
    if (!kMemoryMeasurable) {
        std::printf("(under a sanitizer: the memory bound is not checked)\n");
    }
    ok = ok && totals.damaged == 0 && totals.flaggedRounds == totals.lostRounds &&
         (!kMemoryMeasurable || after - before <= kMemoryBound);
    if (host.LiveValues() != 0 || host.LiveBlocks() != 0 || host.BadReleases() != 0) {
        std::printf("leaks: %s\n", host.LeakReport().c_str());
        ok = false;
    }
    std::printf("%s\n",
                ok ? (large ? "intact: nothing lost" : "sound: every loss was flagged") : "FAILED");
    return ok ? 0 : 1;
}
