// The driver thread against the reader: every message arrives intact and in
// order, and every gap is matched by the overflow flag.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "test_engine.h"

namespace {

constexpr uint32_t kRingSize = 4096;
// Records the writer can be ahead of the reader: a full ring of the shortest
// records. A flag cleared at most this many records before a gap may have
// been set for it.
constexpr uint32_t kFlagReach = kRingSize / 5 + 1;

// Keeps the writer at most this many messages ahead of the reader, except in
// bursts that are sure to overflow the ring.
constexpr uint32_t kWindow = 400;
constexpr uint32_t kBurstEvery = 100'000;
constexpr uint32_t kBurstLength = 3'000;

// Every message carries its sequence number as its timestamp, and bytes
// derived from it.
void WriteStream(InputQueue& queue, uint32_t last, const std::atomic<uint32_t>& readerAt,
                 std::atomic<bool>& done) {
    std::mt19937 random(12345);
    std::vector<uint8_t> sysex;
    for (uint32_t seq = 1; seq <= last; ++seq) {
        if (seq % kBurstEvery > kBurstLength) {
            // Once too far ahead, let the reader catch up most of the way.
            if (seq - readerAt.load(std::memory_order_relaxed) > kWindow) {
                while (seq - readerAt.load(std::memory_order_relaxed) > kWindow / 4 &&
                       queue.Pending()) {
                    std::this_thread::yield();
                }
            }
        }
        if (random() % 1000 == 0) {
            const uint32_t length = 2 + random() % 3000;
            sysex.assign(length, 0);
            sysex.front() = 0xF0;
            sysex.back() = 0xF7;
            // A clock between chunks is readable before the message, which
            // is published at its end: the clocks take the numbers before it.
            const uint32_t clocks = (length - 1) / 512;
            const uint32_t first = seq + clocks;
            for (uint32_t i = 0; i + 1 < length; ++i) {
                sysex[i + 1] = static_cast<uint8_t>((first + 1 + i) & 0x7F);
            }
            sysex.back() = 0xF7;
            for (uint32_t at = 0; at < length; at += 512) {
                const uint32_t count = std::min<uint32_t>(512, length - at);
                if (at == 0) {
                    queue.CaptureSysExStart(sysex.data(), count, first);
                } else {
                    queue.CaptureShortMessage(0xF8, 0, 0, seq++);
                    queue.CaptureSysExContinue(sysex.data() + at, count, seq);
                }
            }
            seq = first;
            continue;
        }
        switch (seq % 3) {
            case 0:
                queue.CaptureShortMessage(0x80 | (seq & 0x0F), (seq >> 4) & 0x7F,
                                          (seq >> 11) & 0x7F, seq);
                break;
            case 1:
                queue.CaptureShortMessage(0xF8, 0, 0, seq);
                break;
            default:
                queue.CaptureShortMessage(0xC0 | (seq & 0x0F), (seq >> 4) & 0x7F, 0, seq);
                break;
        }
    }
    done.store(true, std::memory_order_release);
}

// Checks order and gaps; `overflowed` reads and clears the flag.
class SequenceCheck {
public:
    template <typename Overflowed>
    void Next(uint32_t seq, Overflowed overflowed) {
        ASSERT_GT(seq, last_) << "out of order";
        if (seq != last_ + 1) {
            ++gaps_;
            if (overflowed()) {
                sinceFlag_ = 0;
            } else {
                ASSERT_LE(sinceFlag_, kFlagReach) << "gap before " << seq << " without the flag";
            }
        }
        last_ = seq;
        ++received_;
        ++sinceFlag_;
    }
    uint32_t received() const { return received_; }
    uint32_t gaps() const { return gaps_; }

private:
    uint32_t last_ = 0;
    uint32_t received_ = 0;
    uint32_t gaps_ = 0;
    uint32_t sinceFlag_ = kFlagReach + 1;
};

void CheckRecord(const InputQueue& queue, const RawRecord& record) {
    ASSERT_TRUE(record.hasType);
    const uint32_t seq = record.timestamp;
    switch (record.status & 0xF0) {
        case 0x80:
            ASSERT_EQ(record.status, 0x80 | (seq & 0x0F));
            ASSERT_EQ(record.data1, (seq >> 4) & 0x7F);
            ASSERT_EQ(record.data2, (seq >> 11) & 0x7F);
            return;
        case 0xC0:
            ASSERT_EQ(record.status, 0xC0 | (seq & 0x0F));
            ASSERT_EQ(record.data1, (seq >> 4) & 0x7F);
            return;
        default:
            break;
    }
    if (record.status == 0xF8) {
        return;
    }
    ASSERT_EQ(record.status, 0xF0);
    if (record.sysExCount == 0 && record.data1 == 0) {
        return;  // a message of two or three bytes
    }
    ASSERT_EQ(record.data1, (seq + 1) & 0x7F);
    std::vector<uint8_t> data(record.sysExCount);
    queue.CopySysEx(record, 0, data.data(), record.sysExCount);
    for (uint32_t i = 0; i < record.sysExCount; ++i) {
        ASSERT_EQ(data[i], (seq + 2 + i) & 0x7F) << "sysex " << seq << " byte " << i;
    }
}

using StressTest = EngineTest;

TEST_F(StressTest, RawReaderAgainstTheDriverThread) {
    ASSERT_EQ(engine->OpenInput(0, kRingSize), kStatusOk);
    InputQueue& queue = engine->Queue();
    std::atomic<bool> done{false};
    std::atomic<uint32_t> readerAt{0};
    std::thread writer(WriteStream, std::ref(queue), 1'000'000u, std::cref(readerAt),
                       std::ref(done));

    SequenceCheck check;
    RawRecord record;
    for (;;) {
        if (!queue.Peek(record)) {
            if (done.load(std::memory_order_acquire) && !queue.Pending()) {
                break;
            }
            std::this_thread::yield();
            continue;
        }
        CheckRecord(queue, record);
        queue.Consume(record);
        check.Next(record.timestamp, [&] { return queue.Overflowed(); });
        if (HasFatalFailure()) {
            break;
        }
        readerAt.store(record.timestamp, std::memory_order_relaxed);
    }
    writer.join();
    EXPECT_GT(check.gaps(), 0u);
    EXPECT_GT(check.received(), 900'000u);
}

TEST_F(StressTest, PendingMessagesAgainstTheDriverThread) {
    ASSERT_EQ(engine->OpenInput(0, kRingSize), kStatusOk);
    std::atomic<bool> done{false};
    std::atomic<uint32_t> readerAt{0};
    std::thread writer(WriteStream, std::ref(engine->Queue()), 30'000u, std::cref(readerAt),
                       std::ref(done));

    SequenceCheck check;
    for (;;) {
        const bool finished = done.load(std::memory_order_acquire);
        ScriptValue list = host.NewList();
        engine->GetPendingMessages(list);
        const int32_t count = host.Count(list);
        for (int32_t i = 1; i <= count && !HasFatalFailure(); ++i) {
            ScriptValue message = host.At(list, i);
            ScriptValue timestamp = host.At(message, host.Count(message));
            const uint32_t seq = static_cast<uint32_t>(host.IntegerOf(timestamp));
            check.Next(seq, [&] { return engine->InputOverflowed(); });
            readerAt.store(seq, std::memory_order_relaxed);
            host.Release(timestamp);
            host.Release(message);
        }
        host.Release(list);
        if (HasFatalFailure() || (finished && !engine->MessagesPending())) {
            break;
        }
    }
    writer.join();
    EXPECT_GT(check.received(), 25'000u);
}

}  // namespace
