// Short-message delivery from an injecting (or sending) thread to the input
// callback, against a baseline handoff that wakes the receiver per message.
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "simwinmm/control.h"
#include "simwinmm/winmm_api.h"

namespace {

constexpr int kMessages = 100000;

std::atomic<uint64_t> received{0};

void CALLBACK Count(HMIDIIN, UINT message, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    if (message == MIM_DATA) {
        received.fetch_add(1, std::memory_order_relaxed);
    }
}

struct OpenLoopback {
    OpenLoopback() {
        simwinmm::Reset();
        pair = simwinmm::AddLoopbackPort("Loopback");
        midiInOpen(&in, pair.input, reinterpret_cast<DWORD_PTR>(&Count), 0, CALLBACK_FUNCTION);
        midiInStart(in);
        midiOutOpen(&out, pair.output, 0, 0, CALLBACK_NULL);
    }
    ~OpenLoopback() {
        midiOutClose(out);
        midiInReset(in);
        midiInClose(in);
        simwinmm::Reset();
    }
    simwinmm::PortPair pair{};
    HMIDIIN in = nullptr;
    HMIDIOUT out = nullptr;
};

void BM_InjectShort(benchmark::State& state) {
    OpenLoopback ports;
    for (auto _ : state) {
        for (int i = 0; i < kMessages; ++i) {
            simwinmm::InjectShort(ports.pair.input, 0x643C90);
        }
        simwinmm::WaitIdle(ports.pair.input, 60000);
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(BM_InjectShort)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoopbackShort(benchmark::State& state) {
    OpenLoopback ports;
    for (auto _ : state) {
        for (int i = 0; i < kMessages; ++i) {
            midiOutShortMsg(ports.out, 0x643C90);
        }
        simwinmm::WaitIdle(ports.pair.input, 60000);
        state.PauseTiming();
        simwinmm::ClearSentBytes(ports.pair.output);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(BM_LoopbackShort)->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline: a driver thread that takes one message per lock and is woken for
// each one.
void BM_BaselinePerMessageHandoff(benchmark::State& state) {
    std::mutex mu;
    std::condition_variable cv;
    std::condition_variable idle;
    std::deque<uint32_t> queue;
    bool quit = false;
    std::thread worker([&] {
        std::unique_lock lock(mu);
        while (!quit) {
            if (queue.empty()) {
                idle.notify_all();
                cv.wait(lock);
                continue;
            }
            const uint32_t packed = queue.front();
            queue.pop_front();
            lock.unlock();
            Count(nullptr, MIM_DATA, 0, packed, 0);
            lock.lock();
        }
    });
    for (auto _ : state) {
        for (int i = 0; i < kMessages; ++i) {
            std::lock_guard lock(mu);
            queue.push_back(0x643C90);
            cv.notify_one();
        }
        std::unique_lock lock(mu);
        idle.wait(lock, [&] { return queue.empty(); });
    }
    {
        std::lock_guard lock(mu);
        quit = true;
        cv.notify_one();
    }
    worker.join();
    state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(BM_BaselinePerMessageHandoff)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
