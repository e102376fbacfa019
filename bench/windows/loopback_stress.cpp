// Stress through the real winmm: the module (Tesmar.x32, or Tesmar.x64 where
// only 64-bit Wine runs), loaded and called as the host does (exports,
// registration, scripting interface), sends through the "Loopback" port pair
// of the loopback driver and reads everything back.
//
//   loopback_stress [module path [rounds]]
//     (default: Tesmar.x32, Tesmar.x64 when 64-bit; 5 rounds)
//
// 100,000 short messages and 200 system-exclusive messages of 1 to 4,000 data
// bytes must come back intact and in order. Reported, not asserted: messages
// per second, and send-to-receive latency (median, 99th percentile), measured
// one message at a time from SendMessage to the GetNextMessage that returns it.
// Exit status 0 when everything came back intact, 1 otherwise.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/windows/raw_loopback.h"
#include "hostsim/loader.h"
#include "hostsim/sim_host.h"

namespace {

constexpr int32_t kShortCount = 100000;
constexpr int32_t kSysExCount = 200;
constexpr int32_t kLatencySamples = 2000;
constexpr int32_t kBatch = 256;
constexpr int32_t kQueueBytes = 1 << 16;
constexpr int32_t kDefaultRounds = 5;

class Session {
public:
    Session(hostsim::SimHost& host, hostsim::LoadedModule& module, hostsim::ScriptObject& object)
        : host_(host), module_(module), object_(object) {}

    // Calls a method by name; the caller releases the result.
    ScriptValue Call(const char* method, std::vector<ScriptValue> args = {}) {
        ScriptValue result = host_.Void();
        object_.Call(module_.MethodNumber(method), args, result);
        for (ScriptValue& arg : args)
            host_.Release(arg);
        return result;
    }
    // Calls and keeps only the integer (status #code, or a plain integer).
    int32_t CallCode(const char* method, std::vector<ScriptValue> args = {}) {
        ScriptValue result = Call(method, std::move(args));
        int32_t code = host_.IntegerOf(result);
        if (host_.KindOf(result) == hostsim::Kind::PropList) {
            ScriptValue first = host_.At(result, 1);
            code = host_.IntegerOf(first);
            host_.Release(first);
        }
        host_.Release(result);
        return code;
    }

    ScriptValue NoteOn(int32_t sequence) {
        ScriptValue message = host_.NewList();
        Append(message, host_.SymbolValue("noteOn"));
        Append(message, host_.Integer(sequence / (128 * 127) % 16 + 1));
        Append(message, host_.Integer(sequence / 127 % 128));
        Append(message, host_.Integer(sequence % 127 + 1));
        return message;
    }
    static int32_t Sequence(int32_t channel, int32_t number, int32_t velocity) {
        return ((channel - 1) * 128 + number) * 127 + velocity - 1;
    }

    ScriptValue SysEx(int32_t manufacturer, const std::vector<int32_t>& data) {
        ScriptValue message = host_.NewList();
        Append(message, host_.SymbolValue("systemExclusive"));
        Append(message, host_.Integer(manufacturer));
        ScriptValue bytes = host_.NewList();
        for (int32_t byte : data)
            Append(bytes, host_.Integer(byte));
        Append(message, bytes);
        return message;
    }

    // Element `position` of a property list or list, as an integer.
    int32_t IntegerAt(const ScriptValue& list, int32_t position) {
        ScriptValue element = host_.At(list, position);
        int32_t value = host_.IntegerOf(element);
        host_.Release(element);
        return value;
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

int32_t FindLoopback(Session& s, const char* method) {
    ScriptValue ports = s.Call(method);
    int32_t found = 0;
    for (int32_t i = 1; i <= s.host().Count(ports) && found == 0; ++i) {
        ScriptValue name = s.host().At(ports, i);
        if (s.host().TextOf(name) == "Loopback")
            found = i;
        s.host().Release(name);
    }
    s.host().Release(ports);
    return found;
}

// Reads one message; an empty property list when none is pending.
ScriptValue Next(Session& s) {
    return s.Call("GetNextMessage");
}

bool ShortPhase(Session& s, double* rate) {
    hostsim::SimHost& host = s.host();
    int32_t received = 0;
    bool intact = true;
    const double start = Now();
    for (int32_t sent = 0; sent < kShortCount;) {
        const int32_t end = std::min(sent + kBatch, kShortCount);
        for (; sent < end; ++sent) {
            if (s.CallCode("SendMessage", {s.NoteOn(sent)}) != 0)
                return false;
        }
        const double deadline = Now() + kDeadlineSeconds;
        while (received < sent) {
            ScriptValue message = Next(s);
            if (host.Count(message) == 0) {
                host.Release(message);
                if (Now() > deadline)
                    return false;
                Sleep(0);
                continue;
            }
            // [#type, #channel, #number, #velocity, #timestamp]
            int32_t sequence = Session::Sequence(s.IntegerAt(message, 2), s.IntegerAt(message, 3),
                                                 s.IntegerAt(message, 4));
            if (sequence != received)
                intact = false;
            host.Release(message);
            ++received;
        }
    }
    *rate = kShortCount / (Now() - start);
    return intact;
}

bool SysExPhase(Session& s, double* bytesPerSecond) {
    hostsim::SimHost& host = s.host();
    bool intact = true;
    int64_t bytes = 0;
    const double start = Now();
    for (int32_t i = 0; i < kSysExCount; ++i) {
        const int32_t length = 1 + i * 3999 / (kSysExCount - 1);
        std::vector<int32_t> data(length);
        for (int32_t k = 0; k < length; ++k)
            data[k] = (k * 7 + i) % 128;
        const int32_t manufacturer = 1 + i % 120;
        if (s.CallCode("SendMessage", {s.SysEx(manufacturer, data)}) != 0)
            return false;
        bytes += length + 3;

        const double deadline = Now() + kDeadlineSeconds;
        ScriptValue message = Next(s);
        while (host.Count(message) == 0) {
            host.Release(message);
            if (Now() > deadline)
                return false;
            Sleep(0);
            message = Next(s);
        }
        // [#type, #manufacturerID, #data, #timestamp]
        if (s.IntegerAt(message, 2) != manufacturer)
            intact = false;
        ScriptValue got = host.At(message, 3);
        if (host.Count(got) != length) {
            intact = false;
        } else {
            for (int32_t k = 0; k < length && intact; ++k) {
                if (s.IntegerAt(got, k + 1) != data[k])
                    intact = false;
            }
        }
        host.Release(got);
        host.Release(message);
    }
    *bytesPerSecond = static_cast<double>(bytes) / (Now() - start);
    return intact;
}

bool LatencyPhase(Session& s, std::vector<double>* samples) {
    hostsim::SimHost& host = s.host();
    for (int32_t i = 0; i < kLatencySamples; ++i) {
        ScriptValue note = s.NoteOn(i);
        const double sent = Now();
        if (s.CallCode("SendMessage", {note}) != 0)
            return false;
        ScriptValue message = Next(s);
        while (host.Count(message) == 0) {
            host.Release(message);
            if (Now() - sent > kDeadlineSeconds)
                return false;
            message = Next(s);
        }
        const double arrived = Now();
        host.Release(message);
        samples->push_back((arrived - sent) * 1e6);
    }
    std::sort(samples->begin(), samples->end());
    return true;
}

#if defined(_WIN64)
constexpr char kDefaultModule[] = "Tesmar.x64";
#else
constexpr char kDefaultModule[] = "Tesmar.x32";
#endif

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double Percentile99(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() * 99 / 100];
}

// One round through the plug-in: ports opened, the three phases, ports closed.
struct PluginFigures {
    bool ok = false;
    double shortRate = 0;
    double sysExRate = 0;
    std::vector<double> latency;
};

PluginFigures RunPlugin(Session& s, int32_t input, int32_t output) {
    PluginFigures figures;
    hostsim::SimHost& host = s.host();
    if (s.CallCode("OpenInput", {host.Integer(input), host.Integer(kQueueBytes)}) != 0 ||
        s.CallCode("OpenOutput", {host.Integer(output)}) != 0) {
        std::fprintf(stderr, "loopback_stress: cannot open the ports\n");
        return figures;
    }
    const bool shortOk = ShortPhase(s, &figures.shortRate);
    const bool sysExOk = SysExPhase(s, &figures.sysExRate);
    const bool latencyOk = LatencyPhase(s, &figures.latency);
    const bool overflowed = s.CallCode("InputOverflowed") != 0;
    if (!shortOk)
        std::printf("short messages: LOST OR OUT OF ORDER\n");
    if (!sysExOk)
        std::printf("sysex messages: LOST OR DAMAGED\n");
    if (!latencyOk)
        std::printf("latency: a message did not come back\n");
    if (overflowed)
        std::printf("the input queue overflowed\n");
    figures.ok = shortOk && sysExOk && latencyOk && !overflowed;
    s.CallCode("CloseInput");
    s.CallCode("CloseOutput");
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : kDefaultModule;
    const int32_t rounds = argc > 2 ? std::atoi(argv[2]) : kDefaultRounds;
    if (rounds < 1) {
        std::fprintf(stderr, "loopback_stress: rounds must be a positive number\n");
        return 2;
    }
    hostsim::SimHost host;
    std::string error;
    auto module = hostsim::LoadedModule::Load(host, path, &error);
    if (!module || module->Register() != kHostOk) {
        std::fprintf(stderr, "loopback_stress: cannot load %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    bool ok = true;
    {
        auto object = module->NewInstance();
        if (!object) {
            std::fprintf(stderr, "loopback_stress: no script instance\n");
            return 1;
        }
        Session s(host, *module, *object);
        s.CallCode("Init");
        const int32_t input = FindLoopback(s, "GetInputPorts");
        const int32_t output = FindLoopback(s, "GetOutputPorts");
        if (input == 0 || output == 0) {
            std::fprintf(stderr, "loopback_stress: no \"Loopback\" ports (is wineloop.drv set?)\n");
            return 1;
        }

        // Rounds alternate the bare winmm baseline and the plug-in, so that
        // both meet the same machine load.
        std::vector<double> rawRates, shortRates, sysExRates, rawLatency, latency;
        for (int32_t round = 0; round < rounds && ok; ++round) {
            RawFigures raw = RunRawLoopback(kShortCount, kBatch, kLatencySamples);
            if (!raw.ok) {
                std::printf("bare winmm: LOST OR OUT OF ORDER\n");
                ok = false;
                break;
            }
            rawRates.push_back(raw.messagesPerSecond);
            rawLatency.insert(rawLatency.end(), raw.latencyMicroseconds.begin(),
                              raw.latencyMicroseconds.end());
            PluginFigures plugin = RunPlugin(s, input, output);
            ok = plugin.ok;
            shortRates.push_back(plugin.shortRate);
            sysExRates.push_back(plugin.sysExRate);
            latency.insert(latency.end(), plugin.latency.begin(), plugin.latency.end());
        }

        if (ok) {
            const double rawRate = Median(rawRates);
            const double rate = Median(shortRates);
            std::printf(
                "%d rounds; each: %d short messages in batches of %d, intact and in order; "
                "%d sysex messages of 1 to 4000 data bytes, intact and in order\n",
                rounds, kShortCount, kBatch, kSysExCount);
            std::printf(
                "short messages, median of rounds: plug-in %.0f messages/s, bare winmm "
                "%.0f messages/s (ratio %.2f)\n",
                rate, rawRate, rate / rawRate);
            std::printf("sysex, median of rounds: plug-in %.0f bytes/s\n", Median(sysExRates));
            std::printf(
                "latency, send to read, %zu samples each: plug-in median %.1f us, p99 "
                "%.1f us; bare winmm median %.1f us, p99 %.1f us (ratio of medians "
                "%.2f)\n",
                latency.size(), Median(latency), Percentile99(latency), Median(rawLatency),
                Percentile99(rawLatency), Median(latency) / Median(rawLatency));
        }
    }
    module.reset();
    if (host.LiveValues() != 0 || host.LiveBlocks() != 0 || host.BadReleases() != 0) {
        std::printf("leaks: %s\n", host.LeakReport().c_str());
        ok = false;
    }
    return ok ? 0 : 1;
}
