// End to end under load: simwinmm's driver thread delivers a million
// messages, short ones and sysex of random lengths (split over the 512-byte buffers) to
// the input callback while the host thread drains with GetPendingMessages.
// Every message must arrive intact and in order; every gap must be matched
// by the overflow flag.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "device_fixture.h"

namespace {

constexpr uint32_t kMessages = 1'000'000;
constexpr uint32_t kSequenceMask = (1u << 18) - 1;  // what three 7-bit fields carry

// One sequence runs through every message. In a poly key pressure message: no data byte of it is
// ever rewritten by capture (a note-on's would be, at velocity 0).
uint32_t Pack(uint32_t seq) {
    const uint32_t status = 0xA0 | ((seq >> 14) & 0x0F);
    return status | ((seq >> 7) & 0x7F) << 8 | (seq & 0x7F) << 16;
}

// A sysex carrying the same sequence number in its first three data bytes,
// then bytes derived from it.
std::vector<uint8_t> SysExBytes(uint32_t seq, uint32_t length) {
    std::vector<uint8_t> bytes(length);
    bytes[0] = 0xF0;
    bytes[1] = 0x7D;
    bytes[2] = static_cast<uint8_t>((seq >> 14) & 0x0F);
    bytes[3] = static_cast<uint8_t>((seq >> 7) & 0x7F);
    bytes[4] = static_cast<uint8_t>(seq & 0x7F);
    for (uint32_t i = 5; i + 1 < length; ++i) {
        bytes[i] = static_cast<uint8_t>((seq + i) & 0x7F);
    }
    bytes[length - 1] = 0xF7;
    return bytes;
}

class InputStress : public DeviceTest {
protected:
    struct Gap {
        size_t afterBatch;  // batch of the last message before the gap
        size_t batch;       // batch of the first message after it
    };

    uint32_t nextSeq = 0;
    size_t lastBatch = 0;
    uint64_t received = 0;
    uint64_t damaged = 0;
    std::vector<Gap> gaps;
    std::vector<bool> flagAfterBatch;  // InputOverflowed read after each batch

    int32_t Property(const ScriptValue& message, int32_t position) {
        ScriptValue value = host.At(message, position);
        const int32_t integer = host.IntegerOf(value);
        host.Release(value);
        return integer;
    }

    void Sequence(uint32_t seq) {
        if (seq != (nextSeq & kSequenceMask)) {
            gaps.push_back(Gap{lastBatch, flagAfterBatch.size()});
            // Lost messages are never more than one lap of the sequence.
            nextSeq += (seq - nextSeq) & kSequenceMask;
        }
        ++nextSeq;
        lastBatch = flagAfterBatch.size();
    }

    void CheckShort(const ScriptValue& message) {
        const uint32_t channel = static_cast<uint32_t>(Property(message, 2)) - 1;
        Sequence(channel << 14 | static_cast<uint32_t>(Property(message, 3)) << 7 |
                 static_cast<uint32_t>(Property(message, 4)));
    }

    void CheckSysEx(const ScriptValue& message) {
        ScriptValue data = host.At(message, 3);
        const int32_t count = host.Count(data);
        if (Property(message, 2) != 0x7D || count < 3) {
            ++damaged;
            host.Release(data);
            return;
        }
        const uint32_t seq = static_cast<uint32_t>(Property(data, 1)) << 14 |
                             static_cast<uint32_t>(Property(data, 2)) << 7 |
                             static_cast<uint32_t>(Property(data, 3));
        for (int32_t i = 4; i <= count; ++i) {
            if (static_cast<uint32_t>(Property(data, i)) !=
                ((seq + static_cast<uint32_t>(i) + 1) & 0x7F)) {
                ++damaged;
                break;
            }
        }
        host.Release(data);
        Sequence(seq);
    }

    void Drain() {
        ScriptValue list = host.NewList();
        engine->GetPendingMessages(list);
        const int32_t count = host.Count(list);
        for (int32_t i = 1; i <= count; ++i) {
            ScriptValue message = host.At(list, i);
            ScriptValue type = host.At(message, 1);
            const std::string name = host.TextOf(type);
            host.Release(type);
            if (name == "polyKeyPressure") {
                CheckShort(message);
            } else if (name == "systemExclusive") {
                CheckSysEx(message);
            } else {
                ++damaged;
            }
            host.Release(message);
        }
        received += static_cast<uint64_t>(count);
        host.Release(list);
        flagAfterBatch.push_back(engine->InputOverflowed());
    }

    // A loss falls after the message before the gap was published and before
    // the one after it was; the first flag read after it must have seen it.
    uint64_t UnflaggedGaps() const {
        uint64_t unflagged = 0;
        for (const Gap& gap : gaps) {
            const size_t from = gap.afterBatch == 0 ? 0 : gap.afterBatch - 1;
            bool flagged = false;
            for (size_t b = from; b <= gap.batch && b < flagAfterBatch.size(); ++b) {
                flagged = flagged || flagAfterBatch[b];
            }
            unflagged += flagged ? 0 : 1;
        }
        return unflagged;
    }
};

TEST_F(InputStress, AMillionMessagesFromTheDriverThread) {
    const uint32_t port = simwinmm::AddInputPort("Stress");
    ASSERT_EQ(Initialised().OpenInput(static_cast<int32_t>(port), 1 << 16), 0);

    // The injector stays within a window of the reader, except in bursts
    // that are meant to overflow the queue.
    // Progress is counted in messages sent: the reader's count includes the
    // messages it knows were lost, and everything sent before a moment when
    // the driver was idle and the queue empty.
    std::atomic<uint64_t> sent{0};
    std::atomic<uint64_t> readerAt{0};
    std::atomic<bool> done{false};
    std::thread injector([&] {
        std::mt19937 random(2024);
        for (uint32_t seq = 0; seq < kMessages; ++seq) {
            const bool burst = seq % 250'000 < 20'000;
            while (!burst && sent.load() > readerAt.load() + 4'000) {
                std::this_thread::yield();
            }
            if (random() % 2'000 == 0) {
                simwinmm::InjectSysEx(port, SysExBytes(seq, 6 + random() % 3'000));
            } else {
                simwinmm::InjectShort(port, Pack(seq));
            }
            sent.fetch_add(1);
        }
        done.store(true);
    });

    for (;;) {
        const bool finished = done.load();
        const uint64_t sentBefore = sent.load();
        Drain();
        uint64_t at = nextSeq;
        if (simwinmm::WaitIdle(port, 0) && !engine->MessagesPending()) {
            at = std::max(at, sentBefore);
            if (finished) {
                break;
            }
        }
        readerAt.store(at);
    }
    injector.join();
    ASSERT_TRUE(simwinmm::WaitIdle(port));
    Drain();

    EXPECT_EQ(damaged, 0u);
    EXPECT_EQ(UnflaggedGaps(), 0u) << "messages lost without the overflow flag";
    EXPECT_FALSE(gaps.empty()) << "the bursts were meant to overflow the queue";
    EXPECT_GE(received, kMessages / 2);
    EXPECT_EQ(nextSeq, kMessages) << "the last message must arrive";
    EXPECT_EQ(engine->CloseInput(), 0);
}

}  // namespace
