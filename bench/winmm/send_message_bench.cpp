// The cost of sending one short message: the engine with the device layer
// against the host-service calls that SendMessage makes, measured alone.
#include <benchmark/benchmark.h>

#include "engine/midi_engine.h"
#include "hostsim/sim_host.h"
#include "simwinmm/control.h"
#include "winmm/create_engine.h"

namespace {

constexpr int64_t kClearEvery = 1 << 16;  // keeps the recorded wire bytes small

// [#noteOn, 10, 36, 100]
ScriptValue NoteOn(hostsim::SimHost& host) {
    ScriptValue list = host.NewList();
    ScriptValue items[] = {host.SymbolValue("noteOn"), host.Integer(10), host.Integer(36),
                           host.Integer(100)};
    for (ScriptValue& item : items) {
        host.Append(list, item);
        host.Release(item);
    }
    return list;
}

void BM_SendMessageNoteOn(benchmark::State& state) {
    simwinmm::Reset();
    const uint32_t port = simwinmm::AddOutputPort("Bench");
    hostsim::SimHost host;
    MidiEngine* engine = CreateMidiEngine(host.values(), host.lists(), host.memory());
    engine->Init();
    if (engine->OpenOutput(static_cast<int32_t>(port)) != 0) {
        state.SkipWithError("OpenOutput failed");
    }
    ScriptValue message = NoteOn(host);
    int64_t sent = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine->SendMessage(message));
        if (++sent % kClearEvery == 0) {
            simwinmm::ClearSentBytes(port);
        }
    }
    state.SetItemsProcessed(state.iterations());
    host.Release(message);
    delete engine;
    simwinmm::Reset();
}

// The same list reads SendMessage makes for a note-on, without the engine.
void BM_HostCallsOnly(benchmark::State& state) {
    hostsim::SimHost host;
    HostValueService& values = host.values();
    HostListService& lists = host.lists();
    const Symbol noteOn = host.Intern("noteOn");
    ScriptValue message = NoteOn(host);
    for (auto _ : state) {
        ScriptValue item{};
        Symbol type = 0;
        lists.GetValueByIndex(&message, 1, &item);
        values.ValueToSymbol(&item, &type);
        values.ValueRelease(&item);
        int32_t sum = type == noteOn ? 0 : 1;
        for (int32_t position = 2; position <= 4; ++position) {
            int32_t number = 0;
            lists.GetValueByIndex(&message, position, &item);
            values.ValueToInteger(&item, &number);
            values.ValueRelease(&item);
            sum += number;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations());
    host.Release(message);
}

BENCHMARK(BM_HostCallsOnly)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_SendMessageNoteOn)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
