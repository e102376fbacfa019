// The input queue's writer operations in any order, read back through the
// engine's decoding and checked against an independent model: every message,
// its order, and the overflow flag.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_reader.h"
#include "fuzz/queue_model.h"
#include "hostsim/sim_host.h"
#include "tests/common/stub_engine.h"

namespace {

// A sysex piece as drivers hand them back: any length, an empty one
// included, mostly data bytes so that messages get long enough to wrap the
// ring and fill it; status bytes (real-time, 0xF7 and 0xF0 among them) where
// the input asks for them.
std::vector<uint8_t> Chunk(FuzzReader& in, bool start) {
    const uint32_t length = in.Byte() & 1 ? in.Below(9) : in.Below(start ? 513 : 601);
    std::vector<uint8_t> bytes;
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t raw = in.Byte();
        bytes.push_back(raw >= 0xE8 ? raw : static_cast<uint8_t>(raw & 0x7F));
    }
    if (start && !bytes.empty()) {
        bytes[0] = 0xF0;
    } else if (!bytes.empty() && bytes[0] == 0xF0) {
        bytes[0] = 0x01;
    }
    return bytes;
}

// A whole dump as a real stack hands it over: cut into pieces of one size,
// with empty pieces and real-time messages (inside the pieces, or as short
// messages between them) at chosen intervals.
struct Dump {
    std::vector<std::vector<uint8_t>> pieces;
    std::vector<bool> clockAfter;  // a short clock message after that piece
};

Dump MakeDump(FuzzReader& in) {
    const uint32_t length = 2 + in.Below(3000);
    const uint32_t piece = 1 + in.Below(512);
    const uint32_t emptyEvery = in.Below(8);            // 0: none
    const uint32_t clockEvery = in.Below(8);            // 0: none
    const uint32_t realTimeInsideEvery = in.Below(64);  // 0: none
    std::vector<uint8_t> wire;
    wire.push_back(0xF0);
    for (uint32_t i = 1; i + 1 < length; ++i) {
        if (realTimeInsideEvery != 0 && i % realTimeInsideEvery == 0) {
            wire.push_back(i & 1 ? 0xF8 : 0xFE);
        }
        wire.push_back(static_cast<uint8_t>(i * 13 & 0x7F));
    }
    wire.push_back(0xF7);
    Dump dump;
    for (size_t at = 0; at < wire.size(); at += piece) {
        const size_t n = dump.pieces.size();
        if (emptyEvery != 0 && n % emptyEvery == 0) {
            dump.pieces.emplace_back();
            dump.clockAfter.push_back(false);
        }
        const size_t end = std::min(wire.size(), at + piece);
        dump.pieces.emplace_back(wire.begin() + static_cast<long>(at),
                                 wire.begin() + static_cast<long>(end));
        dump.clockAfter.push_back(clockEvery != 0 && n % clockEvery == 0);
    }
    return dump;
}

[[noreturn]] void Mismatch(const std::vector<std::string>& log, const std::string& what) {
    for (const std::string& line : log) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    std::fprintf(stderr, "MISMATCH: %s\n", what.c_str());
    std::abort();
}

std::string Printed(hostsim::SimHost& host, StubEngine& engine) {
    ScriptValue message = host.NewPropList();
    engine.GetNextMessage(message);
    std::string printed = host.Print(message);
    host.Release(message);
    return printed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzReader in(data, size);
    hostsim::SimHost host;
    {
        StubEngine engine(host.values(), host.lists(), host.memory());
        QueueModel model;
        std::vector<std::string> log;
        auto check = [&](const std::string& what) {
            const std::string got = Printed(host, engine);
            const std::string expected = model.Next();
            if (got != expected) {
                Mismatch(log, what + ": read " + got + ", expected " + expected);
            }
        };
        const uint32_t firstSize = 1024 + in.Below(4) * 211;
        engine.OpenInput(0, firstSize);
        model.Allocate(firstSize);
        uint32_t time = 0;
        while (!in.Empty()) {
            ++time;
            const uint8_t op = in.Byte() % 12;
            switch (op) {
                case 0:
                case 1:
                case 2: {
                    const uint8_t status = static_cast<uint8_t>(0x80 | in.Byte());
                    const uint8_t d1 = in.Byte();
                    const uint8_t d2 = in.Byte();
                    log.push_back("short " + std::to_string(status) + " " + std::to_string(d1) +
                                  " " + std::to_string(d2));
                    engine.Queue().CaptureShortMessage(status, d1, d2, time);
                    model.Short(status, d1, d2, time);
                    break;
                }
                case 3:
                case 4: {
                    const bool start = op == 3;
                    const std::vector<uint8_t> bytes = Chunk(in, start);
                    log.push_back(std::string(start ? "start " : "continue ") +
                                  std::to_string(bytes.size()));
                    if (start) {
                        engine.Queue().CaptureSysExStart(bytes.data(), bytes.size(), time);
                    } else {
                        engine.Queue().CaptureSysExContinue(bytes.data(), bytes.size(), time);
                    }
                    model.Chunk(bytes, time);
                    break;
                }
                case 5: {
                    const uint8_t which = in.Byte() % 3;
                    if (which == 0) {
                        log.push_back("abandon");
                        engine.Queue().AbandonSysEx();
                        model.Abandon();
                    } else if (which == 1) {
                        log.push_back("end capture");
                        engine.Queue().EndCapture();
                        model.EndCapture();
                    } else {
                        const Dump dump = MakeDump(in);
                        log.push_back("dump of " + std::to_string(dump.pieces.size()) + " pieces");
                        for (size_t i = 0; i < dump.pieces.size(); ++i) {
                            const std::vector<uint8_t>& piece = dump.pieces[i];
                            engine.Queue().CaptureSysExChunk(
                                piece.data(), static_cast<uint32_t>(piece.size()), time);
                            model.Chunk(piece, time);
                            if (dump.clockAfter[i]) {
                                engine.Queue().CaptureShortMessage(0xF8, 0, 0, ++time);
                                model.Short(0xF8, 0, 0, time);
                            }
                            ++time;
                        }
                    }
                    break;
                }
                case 6:
                    log.push_back("flush");
                    engine.FlushInput();
                    model.Flush();
                    break;
                case 7:
                case 8: {
                    const uint32_t count = 1 + in.Below(8);
                    log.push_back("read " + std::to_string(count));
                    for (uint32_t i = 0; i < count; ++i) {
                        check("read");
                    }
                    break;
                }
                case 9: {
                    log.push_back("overflowed");
                    const bool got = engine.InputOverflowed();
                    if (got != model.Overflowed()) {
                        Mismatch(log, std::string("overflow flag ") + (got ? "set" : "clear"));
                    }
                    break;
                }
                case 10: {
                    const int channel = in.Byte() & 15;
                    const uint8_t mask = in.Byte();
                    const bool type = (in.Byte() & 1) != 0;
                    log.push_back(std::string(type ? "type mask " : "mode mask ") +
                                  std::to_string(channel) + " " + std::to_string(mask));
                    if (type) {
                        engine.SetTypeMask(channel, mask);
                        model.SetTypeMask(channel, mask);
                    } else {
                        engine.SetModeMask(channel, mask);
                        model.SetModeMask(channel, mask);
                    }
                    break;
                }
                default: {
                    const uint32_t requested = in.Below(3000);
                    log.push_back("allocate " + std::to_string(requested));
                    engine.OpenInput(0, requested);
                    model.Allocate(requested);
                    break;
                }
            }
        }
        // Everything left, in order, then the flag.
        while (model.Pending() || engine.MessagesPending()) {
            check("drain");
        }
        if (engine.InputOverflowed() != model.Overflowed()) {
            Mismatch(log, "overflow flag at the end");
        }
    }
    if (host.LiveValues() != 0 || host.LiveBlocks() != 0 || host.BadReleases() != 0) {
        std::fprintf(stderr, "leak: %s\n", host.LeakReport().c_str());
        std::abort();
    }
    return 0;
}
