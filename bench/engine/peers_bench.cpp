// The same stream of short messages through the input queues of two other
// MIDI libraries, as installed. Neither library's input can be driven without
// a MIDI device, so each is measured at the queue its input callback fills.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {
constexpr uint32_t kBatch = 64;
}

#if defined(TESMAR_HAVE_RTMIDI)
#include <RtMidi.h>

namespace {

// The queue RtMidiIn's input thread pushes into and getMessage pops from.
void BM_Peer_RtMidiQueue(benchmark::State& state) {
    MidiInApi::MidiQueue queue;
    queue.ringSize = 1024;
    std::vector<MidiInApi::MidiMessage> ring(queue.ringSize);
    queue.ring = ring.data();
    // The input thread reuses one message object, as RtMidi's does.
    MidiInApi::MidiMessage message;
    std::vector<unsigned char> out;
    double stamp = 0;
    uint32_t timestamp = 0;
    for (auto _ : state) {
        for (uint32_t i = 0; i < kBatch; ++i) {
            message.bytes.clear();
            message.bytes.push_back(0x90);
            message.bytes.push_back(static_cast<unsigned char>(i));
            message.bytes.push_back(100);
            message.timeStamp = ++timestamp;
            queue.push(message);
        }
        for (uint32_t i = 0; i < kBatch; ++i) {
            queue.pop(&out, &stamp);
            benchmark::DoNotOptimize(out.data());
        }
    }
    queue.ring = nullptr;
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBatch));
}
BENCHMARK(BM_Peer_RtMidiQueue);

}  // namespace
#endif

#if defined(TESMAR_HAVE_PORTMIDI)
#include <portmidi.h>

// The library's lock-free queue (the one its input fills), exported by the
// installed library; its own header is not packaged, so it is declared here.
extern "C" {
typedef void PmQueue;
PmQueue* Pm_QueueCreate(long num_msgs, int32_t bytes_per_msg);
PmError Pm_QueueDestroy(PmQueue* queue);
PmError Pm_Dequeue(PmQueue* queue, void* msg);
PmError Pm_Enqueue(PmQueue* queue, void* msg);
}

namespace {

void BM_Peer_PortMidiQueue(benchmark::State& state) {
    PmQueue* queue = Pm_QueueCreate(1024, sizeof(PmEvent));
    PmEvent event{};
    PmEvent out{};
    uint32_t timestamp = 0;
    for (auto _ : state) {
        for (uint32_t i = 0; i < kBatch; ++i) {
            event.message = Pm_Message(0x90, i, 100);
            event.timestamp = static_cast<PmTimestamp>(++timestamp);
            Pm_Enqueue(queue, &event);
        }
        for (uint32_t i = 0; i < kBatch; ++i) {
            Pm_Dequeue(queue, &out);
            benchmark::DoNotOptimize(out);
        }
    }
    Pm_QueueDestroy(queue);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBatch));
}
BENCHMARK(BM_Peer_PortMidiQueue);

}  // namespace
#endif
