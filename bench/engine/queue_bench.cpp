// The input queue: capture on the driver's side, raw reads and decoding on
// the script's side.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench_engine.h"
#include "engine/input_queue.h"
#include "null_host.h"

namespace {

constexpr uint32_t kBatch = 64;

// A ring that the benchmark empties between batches.
struct Ring {
    hostsim::SimHost host;
    FilterMasks masks;
    InputQueue queue{masks};
    explicit Ring(uint32_t size) { queue.Allocate(host.memory(), size); }
    ~Ring() { queue.Free(host.memory()); }
};

void BM_CaptureShortMessage(benchmark::State& state) {
    Ring ring(1 << 16);
    uint32_t timestamp = 0;
    for (auto _ : state) {
        for (uint32_t i = 0; i < kBatch; ++i) {
            ring.queue.CaptureShortMessage(0x90, static_cast<uint8_t>(i), 100, ++timestamp);
        }
        ring.queue.Flush();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBatch));
}
BENCHMARK(BM_CaptureShortMessage);

// A message of range(0) bytes handed back in pieces of range(1) bytes (512,
// a full driver buffer, unless given), as a stack hands it over.
void BM_CaptureSysEx(benchmark::State& state) {
    const uint32_t length = static_cast<uint32_t>(state.range(0));
    const uint32_t piece = state.range(1) > 0 ? static_cast<uint32_t>(state.range(1)) : 512;
    Ring ring(1 << 20);
    std::vector<uint8_t> message(length, 0x11);
    message.front() = 0xF0;
    message.back() = 0xF7;
    for (auto _ : state) {
        ring.queue.CaptureSysExStart(message.data(), std::min<uint32_t>(piece, length), 1);
        for (uint32_t at = piece; at < length; at += piece) {
            ring.queue.CaptureSysExContinue(message.data() + at,
                                            std::min<uint32_t>(piece, length - at), 1);
        }
        ring.queue.Flush();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * length));
}
BENCHMARK(BM_CaptureSysEx)
    ->Args({512, 0})
    ->Args({64 * 1024, 0})
    ->Args({64 * 1024, 256})
    ->Args({64 * 1024, 6});

void BM_RawRead(benchmark::State& state) {
    Ring ring(1 << 16);
    RawRecord record;
    uint32_t left = 0;
    for (auto _ : state) {
        if (left == 0) {
            state.PauseTiming();
            for (uint32_t i = 0; i < 4096; ++i) {
                ring.queue.CaptureShortMessage(0x90, static_cast<uint8_t>(i & 0x7F), 100, i);
            }
            left = 4096;
            state.ResumeTiming();
        }
        ring.queue.Peek(record);
        ring.queue.Consume(record);
        benchmark::DoNotOptimize(record);
        --left;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_RawRead);

// The same stream as the peers get: capture a batch, then read it back.
void BM_CaptureAndRawRead(benchmark::State& state) {
    Ring ring(1 << 16);
    RawRecord record;
    uint32_t timestamp = 0;
    for (auto _ : state) {
        for (uint32_t i = 0; i < kBatch; ++i) {
            ring.queue.CaptureShortMessage(0x90, static_cast<uint8_t>(i), 100, ++timestamp);
        }
        for (uint32_t i = 0; i < kBatch; ++i) {
            ring.queue.Peek(record);
            ring.queue.Consume(record);
            benchmark::DoNotOptimize(record);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBatch));
}
BENCHMARK(BM_CaptureAndRawRead);

// Script values through the host simulator: one property list per message.
void BM_DecodeMessage(benchmark::State& state) {
    hostsim::SimHost host;
    BenchEngine engine(host);
    InputQueue& queue = engine.Queue();
    for (auto _ : state) {
        state.PauseTiming();
        for (uint32_t i = 0; i < kBatch; ++i) {
            queue.CaptureShortMessage(0x90, static_cast<uint8_t>(i), 100, i);
        }
        ScriptValue list = host.NewList();
        state.ResumeTiming();
        engine.GetPendingMessages(list);
        state.PauseTiming();
        host.Release(list);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBatch));
}
BENCHMARK(BM_DecodeMessage)->Repetitions(9)->ReportAggregatesOnly(true);

// The host-service calls that decoding a batch of note-ons makes, without the
// engine: what BM_DecodeMessage costs beyond this is decoding's own share.
void BM_DecodeHostCallsOnly(benchmark::State& state) {
    hostsim::SimHost host;
    HostValueService& values = host.values();
    HostListService& lists = host.lists();
    ScriptValue type = host.SymbolValue("type");
    ScriptValue noteOn = host.SymbolValue("noteOn");
    ScriptValue keys[] = {host.SymbolValue("channel"), host.SymbolValue("number"),
                          host.SymbolValue("velocity"), host.SymbolValue("timestamp")};
    for (auto _ : state) {
        state.PauseTiming();
        ScriptValue list = host.NewList();
        state.ResumeTiming();
        for (uint32_t i = 0; i < kBatch; ++i) {
            const int32_t numbers[] = {1, static_cast<int32_t>(i & 0x7F), 100,
                                       static_cast<int32_t>(i)};
            ScriptValue message{};
            lists.NewPropList(&message);
            lists.AppendToPropList(&message, &type, &noteOn);
            for (int k = 0; k < 4; ++k) {
                ScriptValue number{};
                values.IntegerToValue(numbers[k], &number);
                lists.AppendToPropList(&message, &keys[k], &number);
                values.ValueRelease(&number);
            }
            lists.AppendToList(&list, &message);
            values.ValueRelease(&message);
        }
        state.PauseTiming();
        host.Release(list);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBatch));
    for (ScriptValue key : keys) {
        host.Release(key);
    }
    host.Release(type);
    host.Release(noteOn);
}
BENCHMARK(BM_DecodeHostCallsOnly)->Repetitions(9)->ReportAggregatesOnly(true);

// Decoding with host services that do nothing: the engine's own share of
// BM_DecodeMessage (capture of the batch included, about 1.5 ns a message).
void BM_DecodeOwnShare(benchmark::State& state) {
    NullHost host;
    BenchEngine engine(host.values(), host.lists(), host.memory());
    InputQueue& queue = engine.Queue();
    for (auto _ : state) {
        for (uint32_t i = 0; i < kBatch; ++i) {
            queue.CaptureShortMessage(0x90, static_cast<uint8_t>(i), 100, i);
        }
        ScriptValue list{};
        engine.GetPendingMessages(list);
        benchmark::DoNotOptimize(list);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBatch));
}
BENCHMARK(BM_DecodeOwnShare)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace
