// Stress through the real winmm: the module (Tesmar.x32, or Tesmar.x64 in
// the 64-bit build), loaded and called as the host does (exports,
// registration, scripting interface), sends through the "Loopback" port pair
// of the loopback driver and reads everything back.
//
//   loopback_stress [module path [rounds]]
//     (default: Tesmar.x32, Tesmar.x64 when 64-bit; 5 rounds)
//
// 100,000 short messages and 200 system-exclusive messages of 1 to 4,000 data
// bytes must come back intact and in order. Reported, not asserted: messages
// per second, send-to-receive latency (median, 99th percentile) measured one
// message at a time from SendMessage to the GetNextMessage that returns it,
// and where one message's time goes. Rounds alternate with bare winmm (the
// baseline), so that both meet the same machine load.
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

#include "bench/windows/breakdown.h"
#include "bench/windows/host_replay.h"
#include "bench/windows/raw_loopback.h"
#include "bench/windows/stress_session.h"
#include "hostsim/loader.h"
#include "hostsim/sim_host.h"

namespace {

constexpr int32_t kShortCount = 100000;
constexpr int32_t kSysExCount = 200;
constexpr int32_t kLatencySamples = 2000;
constexpr int32_t kBatch = 256;
constexpr int32_t kQueueBytes = 1 << 16;
constexpr int32_t kChunks = 32;  // per round, for the steps timed alone
constexpr int32_t kChunkSize = 256;
constexpr int32_t kDefaultRounds = 5;

// Batches sent, each waited for until the driver is idle, then read: after
// the wait every message of the batch must be queued.
bool ShortPhase(Session& s, const Driver& driver, double* rate) {
    hostsim::SimHost& host = s.host();
    const int32_t send = s.MethodNumber("SendMessage");
    const int32_t getNext = s.MethodNumber("GetNextMessage");
    const std::vector<ScriptValue> none;
    bool intact = true;
    const double start = Now();
    for (int32_t sent = 0; sent < kShortCount;) {
        const int32_t first = sent;
        const int32_t end = std::min(sent + kBatch, kShortCount);
        for (; sent < end; ++sent) {
            std::vector<ScriptValue> args = {s.NoteOn(sent)};
            ScriptValue result = s.CallKeeping(send, args);
            host.Release(args[0]);
            const int32_t code = s.IntegerAt(result, 1);
            host.Release(result);
            if (code != 0)
                return false;
        }
        if (!driver.waitIdle(kDeadlineMs))
            return false;
        for (int32_t expected = first; expected < end; ++expected) {
            ScriptValue message = s.CallKeeping(getNext, none);
            if (s.ReadNoteOn(message) != expected)
                intact = false;
            host.Release(message);
        }
    }
    *rate = kShortCount / (Now() - start);
    return intact;
}

bool SysExPhase(Session& s, const Driver& driver, double* bytesPerSecond) {
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
        if (!driver.waitIdle(kDeadlineMs))
            return false;

        // [#type, #manufacturerID, #data, #timestamp]
        ScriptValue message = s.Call("GetNextMessage");
        if (host.Count(message) != 4 || s.IntegerAt(message, 2) != manufacturer) {
            intact = false;
        } else {
            ScriptValue got = host.At(message, 3);
            if (host.Count(got) != length)
                intact = false;
            for (int32_t k = 0; k < length && intact; ++k) {
                if (s.IntegerAt(got, k + 1) != data[k])
                    intact = false;
            }
            host.Release(got);
        }
        host.Release(message);
    }
    *bytesPerSecond = static_cast<double>(bytes) / (Now() - start);
    return intact;
}

// A sysex of 1 MiB, F0 and F7 included: sent as successive blocks of at most
// 64 KiB (winmm's limit), it must come back as one message, intact.
bool MegabytePhase(Session& s, const Driver& driver, int32_t input) {
    constexpr int32_t kLength = 1 << 20;
    hostsim::SimHost& host = s.host();
    if (s.CallCode("OpenInput", {host.Integer(input), host.Integer(2 * kLength)}) != 0)
        return false;
    std::vector<int32_t> data(kLength - 3);
    for (size_t k = 0; k < data.size(); ++k)
        data[k] = static_cast<int32_t>((k * 7 + k / 128) % 128);
    bool intact =
        s.CallCode("SendMessage", {s.SysEx(0x7D, data)}) == 0 && driver.waitIdle(kDeadlineMs);
    if (intact) {
        ScriptValue message = s.Call("GetNextMessage");
        ScriptValue got = host.Count(message) == 4 ? host.At(message, 3) : host.NewList();
        intact =
            s.IntegerAt(message, 2) == 0x7D && host.Count(got) == static_cast<int32_t>(data.size());
        for (int32_t k = 0; k < host.Count(got) && intact; ++k)
            intact = s.IntegerAt(got, k + 1) == data[k];
        host.Release(got);
        host.Release(message);
    }
    intact = intact && s.CallCode("InputOverflowed") == 0;
    s.CallCode("CloseInput");
    return intact;
}

// One message at a time, read back as soon as it is there (polled).
bool LatencyPhase(Session& s, std::vector<double>* samples) {
    hostsim::SimHost& host = s.host();
    for (int32_t i = 0; i < kLatencySamples; ++i) {
        ScriptValue note = s.NoteOn(i);
        const double sent = Now();
        if (s.CallCode("SendMessage", {note}) != 0)
            return false;
        ScriptValue message = s.Call("GetNextMessage");
        while (host.Count(message) == 0) {
            host.Release(message);
            if (Now() - sent > kDeadlineSeconds)
                return false;
            message = s.Call("GetNextMessage");
        }
        const double arrived = Now();
        host.Release(message);
        samples->push_back((arrived - sent) * 1e6);
    }
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

PluginFigures RunPlugin(Session& s, const Driver& driver, int32_t input, int32_t output) {
    PluginFigures figures;
    hostsim::SimHost& host = s.host();
    if (s.CallCode("OpenInput", {host.Integer(input), host.Integer(kQueueBytes)}) != 0 ||
        s.CallCode("OpenOutput", {host.Integer(output)}) != 0) {
        std::fprintf(stderr, "loopback_stress: cannot open the ports\n");
        return figures;
    }
    const bool shortOk = ShortPhase(s, driver, &figures.shortRate);
    const bool sysExOk = SysExPhase(s, driver, &figures.sysExRate);
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
    const bool megabyteOk = MegabytePhase(s, driver, input);
    if (!megabyteOk)
        std::printf("a sysex of 1 MiB: LOST OR DAMAGED\n");
    figures.ok = figures.ok && megabyteOk;
    s.CallCode("CloseOutput");
    return figures;
}

// Per-round figures, gathered for medians.
struct Series {
    std::vector<double> rawRate, pacedRate, rate, sysExRate, rawLatency, latency;
    Breakdown steps;
};

void Report(const Series& r, int32_t rounds) {
    const double rawRate = Median(r.rawRate);
    const double pacedRate = Median(r.pacedRate);
    const double rate = Median(r.rate);
    std::printf(
        "%d rounds; each: %d short messages in batches of %d, intact and in order; "
        "%d sysex messages of 1 to 4000 data bytes and one of 1 MiB, intact and in order\n",
        rounds, kShortCount, kBatch, kSysExCount);
    std::printf(
        "short messages, median of rounds: plug-in %.0f messages/s, bare winmm "
        "%.0f messages/s (ratio %.3f)\n",
        rate, rawRate, rate / rawRate);
    std::printf(
        "  bare winmm with the host's and the script's work for each message done beside it "
        "(replayed, no plug-in): %.0f messages/s (plug-in's ratio %.3f)\n",
        pacedRate, rate / pacedRate);
    std::printf("sysex, median of rounds: plug-in %.0f bytes/s\n", Median(r.sysExRate));
    std::printf(
        "latency, send to read, %zu samples each: plug-in median %.1f us, p99 %.1f us; bare "
        "winmm median %.1f us, p99 %.1f us (ratio of medians %.2f)\n",
        r.latency.size(), Median(r.latency), Percentile99(r.latency), Median(r.rawLatency),
        Percentile99(r.rawLatency), Median(r.latency) / Median(r.rawLatency));

    const Breakdown& b = r.steps;
    const double sendCall = Median(b.sendCall);
    const double sendHost = Median(b.sendHostCalls);
    // winmm's share as the plug-in meets it: sends paced by the host's work.
    const double sendWinmm = Median(b.sendHostCallsAndBare) - sendHost;
    const double sendOwn = sendCall - sendHost - sendWinmm;
    const double delivery = Median(b.delivery);
    const double deliveryBare = Median(b.deliveryBare);
    const double readCall = Median(b.readCall);
    const double readHost = Median(b.readHostCalls);
    const double make = Median(b.scriptMake);
    const double read = Median(b.scriptRead);
    const auto share = [](double part, double whole) { return 100 * part / whole; };
    std::printf(
        "one short message, us, medians of %zu chunks of %d messages, the steps taking turns "
        "(share of the step):\n",
        b.sendCall.size(), kChunkSize);
    std::printf("  sending: SendMessage %.3f\n", sendCall);
    std::printf("    the host stand-in's calls %.3f (%.0f%%): %llu service calls (replayed %llu)\n",
                sendHost, share(sendHost, sendCall),
                static_cast<unsigned long long>(b.sendServiceCalls),
                static_cast<unsigned long long>(b.sendReplayedCalls));
    std::printf(
        "    winmm with the driver     %.3f (%.0f%%): a bare send after each replay "
        "(back to back: %.3f)\n",
        sendWinmm, share(sendWinmm, sendCall), Median(b.sendBare));
    std::printf("    the plug-in's own work    %.3f (%.0f%%)\n", sendOwn, share(sendOwn, sendCall));
    std::printf("  receiving, driver thread: into the plug-in's queue %.3f\n", delivery);
    std::printf("    winmm with the driver     %.3f (%.0f%%): into a bare counting callback\n",
                deliveryBare, share(deliveryBare, delivery));
    std::printf("    the plug-in's capture     %.3f (%.0f%%)\n", delivery - deliveryBare,
                share(delivery - deliveryBare, delivery));
    std::printf("  receiving, host thread: GetNextMessage %.3f\n", readCall);
    std::printf("    the host stand-in's calls %.3f (%.0f%%): %llu service calls (replayed %llu)\n",
                readHost, share(readHost, readCall),
                static_cast<unsigned long long>(b.readServiceCalls),
                static_cast<unsigned long long>(b.readReplayedCalls));
    std::printf("    the plug-in's own work    %.3f (%.0f%%)\n", readCall - readHost,
                share(readCall - readHost, readCall));
    std::printf("  the stress program as a script: making a note-on %.3f, reading one back %.3f\n",
                make, read);
    std::printf(
        "  host thread per round trip, sum of the steps %.3f; 1 / rate: plug-in %.3f, bare winmm "
        "%.3f\n",
        make + sendCall + readCall + read, 1e6 / rate, 1e6 / rawRate);
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
        const int32_t input = s.FindLoopback("GetInputPorts");
        const int32_t output = s.FindLoopback("GetOutputPorts");
        Driver driver;
        if (input == 0 || output == 0 || !driver.Find()) {
            std::fprintf(stderr, "loopback_stress: no \"Loopback\" ports (is wineloop.drv set?)\n");
            return 1;
        }

        // The paced baseline: what the plug-in's path does for each message
        // on the host's side (the script's list, the stand-in's calls of
        // SendMessage and GetNextMessage, the script's reading), without it.
        HostReplay replay(host);
        Pace pace;
        pace.beforeSend = [&](int32_t sequence) {
            std::vector<ScriptValue> args = {s.NoteOn(sequence)};
            ScriptValue result = replay.Send(args);
            host.Release(args[0]);
            const int32_t code = s.IntegerAt(result, 1);
            host.Release(result);
            return code == 0;
        };
        pace.perArrival = [&] {
            ScriptValue message = replay.Read();
            const bool read = s.ReadNoteOn(message) >= 0;
            host.Release(message);
            return read;
        };

        Series series;
        for (int32_t round = 0; round < rounds && ok; ++round) {
            RawFigures raw = RunRawLoopback(driver, kShortCount, kBatch, kLatencySamples);
            if (!raw.ok) {
                std::printf("bare winmm: LOST OR OUT OF ORDER\n");
                ok = false;
                break;
            }
            series.rawRate.push_back(raw.messagesPerSecond);
            series.rawLatency.insert(series.rawLatency.end(), raw.latencyMicroseconds.begin(),
                                     raw.latencyMicroseconds.end());
            RawFigures paced = RunRawLoopback(driver, kShortCount, kBatch, 0, &pace);
            if (!paced.ok) {
                std::printf("bare winmm, paced: LOST OR OUT OF ORDER\n");
                ok = false;
                break;
            }
            series.pacedRate.push_back(paced.messagesPerSecond);

            PluginFigures plugin = RunPlugin(s, driver, input, output);
            ok = plugin.ok;
            series.rate.push_back(plugin.shortRate);
            series.sysExRate.push_back(plugin.sysExRate);
            series.latency.insert(series.latency.end(), plugin.latency.begin(),
                                  plugin.latency.end());

            Breakdown steps = MeasureBreakdown(s, driver, input, output, kChunks, kChunkSize);
            if (!steps.ok) {
                std::printf("breakdown: a step failed\n");
                ok = false;
            }
            series.steps.Append(steps);
        }
        if (ok)
            Report(series, rounds);
    }
    module.reset();
    if (host.LiveValues() != 0 || host.LiveBlocks() != 0 || host.BadReleases() != 0) {
        std::printf("leaks: %s\n", host.LeakReport().c_str());
        ok = false;
    }
    return ok ? 0 : 1;
}
