// The input queue's writer: storage, record formats, space rules, wrap-around,
// system-exclusive assembly from pieces, and real-time messages inside it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "queue_helpers.h"
#include "test_engine.h"

namespace {

using Records = std::vector<std::string>;

class InputQueueTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_EQ(engine->OpenInput(0, 1024), kStatusOk);
    }
    InputQueue& queue() { return engine->Queue(); }
    void Start(const std::vector<uint8_t>& bytes, uint32_t timestamp) {
        queue().CaptureSysExStart(bytes.data(), static_cast<uint32_t>(bytes.size()), timestamp);
    }
    void Continue(const std::vector<uint8_t>& bytes, uint32_t timestamp = 0) {
        queue().CaptureSysExContinue(bytes.data(), static_cast<uint32_t>(bytes.size()), timestamp);
    }
};

TEST_F(InputQueueTest, AllocationSizesAndReuse) {
    struct Case {
        uint32_t requested;
        uint32_t size;
    };
    for (Case c : {Case{0, 1024}, Case{1000, 1024}, Case{1024, 1024}, Case{4096, 4096}}) {
        EXPECT_EQ(engine->OpenInput(0, c.requested), kStatusOk);
        EXPECT_EQ(queue().size(), c.size) << c.requested;
    }
    // Same size: the block is kept, the queue emptied and the flag cleared.
    uint8_t* block = queue().storage();
    for (int i = 0; i < 1000; ++i) {
        queue().CaptureShortMessage(0xF8, 0, 0, 1);
    }
    EXPECT_EQ(engine->OpenInput(0, 4096), kStatusOk);
    EXPECT_EQ(queue().storage(), block);
    EXPECT_FALSE(engine->MessagesPending());
    EXPECT_FALSE(engine->InputOverflowed());
    EXPECT_EQ(host.LiveBlocks(), 1);

    // A negative script size is a huge unsigned one: no memory, and no storage left.
    EXPECT_EQ(engine->OpenInput(0, static_cast<uint32_t>(-1)), kStatusNoMemory);
    EXPECT_EQ(queue().storage(), nullptr);
    EXPECT_EQ(host.LiveBlocks(), 0);
    queue().CaptureShortMessage(0xF8, 0, 0, 1);  // nothing to write into: lost, flagged
    EXPECT_FALSE(engine->MessagesPending());

    host.FailCall("Alloc", 1);
    EXPECT_EQ(engine->OpenInput(0, 1024), kStatusNoMemory);
    EXPECT_EQ(engine->OpenInput(0, 1024), kStatusOk);
}

TEST_F(InputQueueTest, ShortRecordsAsStored) {
    struct Case {
        uint8_t status, data1, data2;
        const char* stored;  // nullptr: not stored
    };
    const Case cases[] = {
        {0x90, 0x3C, 0x64, "90 3C 64 @7"},
        {0x9F, 0x3C, 0x00, "8F 3C 00 @7"},  // note-on velocity 0 becomes note-off
        {0x81, 0xFF, 0x80, "81 FF 80 @7"},  // data bytes stored as delivered
        {0xA2, 1, 2, "A2 01 02 @7"},
        {0xB3, 121, 5, "B3 79 05 @7"},
        {0xB3, 122, 0, "B3 7A 00 @7"},
        {0xB3, 122, 127, "B3 7A 7F @7"},
        {0xB3, 122, 64, nullptr},
        {0xB3, 123, 9, "B3 7B 09 @7"},
        {0xB3, 127, 0, "B3 7F 00 @7"},
        {0xB3, 128, 0, nullptr},
        {0xC4, 5, 99, "C4 05 @7"},
        {0xD5, 6, 99, "D5 06 @7"},
        {0xE6, 0, 0x40, "E6 00 40 @7"},
        {0xF1, 0x35, 9, "F1 35 @7"},
        {0xF2, 0x7F, 0x7F, "F2 7F 7F @7"},
        {0xF3, 4, 9, "F3 04 @7"},
        {0xF6, 1, 2, "F6 @7"},
        {0xF8, 1, 2, "F8 @7"},
        {0xFA, 0, 0, "FA @7"},
        {0xFB, 0, 0, "FB @7"},
        {0xFC, 0, 0, "FC @7"},
        {0xFE, 0, 0, "FE @7"},
        {0xFF, 0, 0, "FF @7"},
        {0x05, 0, 0, nullptr},
        {0x7F, 0, 0, nullptr},
        {0xF0, 0, 0, nullptr},
        {0xF4, 0, 0, nullptr},
        {0xF5, 0, 0, nullptr},
        {0xF7, 0, 0, nullptr},
        {0xF9, 0, 0, nullptr},
        {0xFD, 0, 0, nullptr},
    };
    for (const Case& c : cases) {
        queue().CaptureShortMessage(c.status, c.data1, c.data2, 7);
        const Records expected = c.stored ? Records{c.stored} : Records{};
        EXPECT_EQ(Drain(queue()), expected) << std::hex << int{c.status};
    }
    // Timestamps are big-endian and survive all 32 bits.
    engine->OpenInput(0, 1024);
    queue().CaptureShortMessage(0xF8, 0, 0, 0x80000001u);
    EXPECT_EQ(Drain(queue()), Records{"F8 @2147483649"});
    EXPECT_EQ(queue().storage()[1], 0x80);
    EXPECT_EQ(queue().storage()[4], 0x01);
    EXPECT_FALSE(engine->InputOverflowed());
}

TEST_F(InputQueueTest, ExactCapacityAndTheSevenByteRule) {
    for (int i = 0; i < 146; ++i) {
        queue().CaptureShortMessage(0x90, 60, 100, i);
    }
    EXPECT_FALSE(engine->InputOverflowed());
    queue().CaptureShortMessage(0x90, 60, 100, 146);
    EXPECT_TRUE(engine->InputOverflowed());
    EXPECT_FALSE(engine->InputOverflowed());  // read and cleared
    EXPECT_EQ(Drain(queue()).size(), 146u);

    engine->OpenInput(0, 1024);
    for (int i = 0; i < 204; ++i) {
        queue().CaptureShortMessage(0xF8, 0, 0, i);
    }
    EXPECT_FALSE(engine->InputOverflowed());
    queue().CaptureShortMessage(0xF8, 0, 0, 204);  // 3 bytes free, 7 asked for
    EXPECT_TRUE(engine->InputOverflowed());
    // A message the filters reject, or one never stored, still counts as lost.
    queue().CaptureShortMessage(0xF4, 0, 0, 0);
    EXPECT_TRUE(engine->InputOverflowed());
    engine->SetSystemFilter(Sym("none"));
    queue().CaptureShortMessage(0xF8, 0, 0, 0);
    EXPECT_TRUE(engine->InputOverflowed());
    EXPECT_EQ(Drain(queue()).size(), 204u);

    // A system-exclusive message asks for its chunk plus 4 bytes.
    engine->SetSystemFilter(Sym("all"));
    engine->OpenInput(0, 1024);
    CaptureWhole(queue(), SysEx(1019), 1);  // record of 1023 bytes: the ring is full
    EXPECT_FALSE(engine->InputOverflowed());
    EXPECT_EQ(Drain(queue()).size(), 1u);
}

TEST_F(InputQueueTest, RecordsWrapAtEveryByte) {
    // Each round advances the ring by an odd number of bytes, so 1024 rounds
    // start the record under test at every byte of a 1024-byte ring.
    struct Case {
        const char* name;
        std::vector<uint8_t> filler;  // short message before the record, or none
        std::vector<uint8_t> record;  // short message, or a whole sysex
        Records stored;
    };
    const Case cases[] = {
        {"7 bytes", {}, {0x9A, 0x24, 0x64}, {"9A 24 64 @16909060"}},
        {"5 bytes", {}, {0xF8}, {"F8 @16909060"}},
        {"6 bytes", {0xFC}, {0xC3, 0x11}, {"FC @16909060", "C3 11 @16909060"}},
        {"sysex",
         {},
         {0xF0, 0x43, 0x10, 0x4C, 0x01, 0x02, 0xF7},
         {"F0 43 10 4C 01 02 F7 @16909060"}},
    };
    auto capture = [&](const std::vector<uint8_t>& m) {
        if (m.front() == 0xF0) {
            Start(m, 0x01020304);
        } else {
            queue().CaptureShortMessage(m[0], m.size() > 1 ? m[1] : 0, m.size() > 2 ? m[2] : 0,
                                        0x01020304);
        }
    };
    for (const Case& c : cases) {
        engine->OpenInput(0, 1024);
        for (int round = 0; round < 1024; ++round) {
            if (!c.filler.empty()) {
                capture(c.filler);
            }
            capture(c.record);
            ASSERT_EQ(Drain(queue()), c.stored) << c.name << " round " << round;
        }
    }
    EXPECT_FALSE(engine->InputOverflowed());
}

TEST_F(InputQueueTest, SysExAssemblyAcrossChunks) {
    // 600 bytes as 512 + 88: published with the second chunk, first chunk's time.
    std::vector<uint8_t> message = SysEx(600, 0x22);
    Start({message.begin(), message.begin() + 512}, 100);
    EXPECT_FALSE(engine->MessagesPending());
    Continue({message.begin() + 512, message.end()});
    RawRecord record;
    ASSERT_TRUE(queue().Peek(record));
    queue().Consume(record);
    EXPECT_EQ(record.sysExCount + 3 + 4, 604u);
    EXPECT_EQ(record.timestamp, 100u);

    // 1019 bytes fit an empty 1024-byte ring; 1020 fail at the second chunk.
    for (uint32_t length : {1019u, 1020u}) {
        engine->OpenInput(0, 1024);
        message = SysEx(length);
        Start({message.begin(), message.begin() + 512}, 1);
        Continue({message.begin() + 512, message.end()});
        EXPECT_EQ(engine->InputOverflowed(), length == 1020) << length;
        EXPECT_EQ(Drain(queue()).size(), length == 1019 ? 1u : 0u) << length;
    }

    // A continuation with nothing being assembled is ignored without notice.
    engine->OpenInput(0, 1024);
    Continue({0x01, 0x02, 0xF7});
    EXPECT_EQ(Drain(queue()), Records{});
    EXPECT_FALSE(engine->InputOverflowed());

    // A message begun while the bit is set is completed after it is cleared;
    // none is begun while it is clear.
    Start({0xF0, 0x7E, 0x01}, 5);
    engine->SetSystemFilter(Sym("clock"));
    Continue({0x02, 0xF7});
    Start({0xF0, 0x7E, 0xF7}, 6);
    Start({0xF0, 0x7E}, 7);
    Continue({0xF7});
    EXPECT_EQ(Drain(queue()), Records{"F0 7E 01 02 F7 @5"});
    EXPECT_FALSE(engine->InputOverflowed());

    // Flush discards what was published, not the message being assembled.
    engine->SetSystemFilter(Sym("all"));
    queue().CaptureShortMessage(0xF8, 0, 0, 1);
    Start({0xF0, 0x01}, 2);
    engine->FlushInput();
    Continue({0x02, 0xF7});
    EXPECT_EQ(Drain(queue()), Records{"F0 01 02 F7 @2"});
}

TEST_F(InputQueueTest, LostSysExIsFlagged) {
    // A new message while one is unfinished: the unfinished one is lost,
    // and that is reported like any other loss.
    Start({0xF0, 0x01, 0x02}, 1);
    Start({0xF0, 0x03, 0xF7}, 2);
    EXPECT_TRUE(engine->InputOverflowed());
    EXPECT_EQ(Drain(queue()), Records{"F0 03 F7 @2"});

    // The device layer lost a chunk: the message is dropped, later chunks ignored.
    Start({0xF0, 0x01}, 3);
    queue().AbandonSysEx();
    Continue({0x02, 0xF7});
    EXPECT_TRUE(engine->InputOverflowed());
    EXPECT_EQ(Drain(queue()), Records{});
    queue().AbandonSysEx();  // a lost first chunk is a loss too
    EXPECT_TRUE(engine->InputOverflowed());

    // Closing with a message unfinished.
    Start({0xF0, 0x01}, 4);
    queue().EndCapture();
    EXPECT_TRUE(engine->InputOverflowed());
    EXPECT_EQ(Drain(queue()), Records{});
    queue().EndCapture();  // nothing left: no flag
    EXPECT_FALSE(engine->InputOverflowed());
}

TEST_F(InputQueueTest, RealTimeNeverWaitsForSysEx) {
    // Real-time messages that come while a system-exclusive message is being
    // assembled are readable at once, in arrival order, filtered as they
    // arrive, each with its own time; the message follows at its 0xF7.
    Start({0xF0, 0x01}, 10);
    queue().CaptureShortMessage(0xF8, 0, 0, 11);
    engine->SetSystemFilter(Sym("clock"));
    queue().CaptureShortMessage(0xFE, 0, 0, 12);  // filtered at arrival
    queue().CaptureShortMessage(0xF9, 0, 0, 13);  // never stored
    queue().CaptureShortMessage(0x05, 0, 0, 14);  // no status byte: nothing at all
    queue().CaptureShortMessage(0xF8, 0, 0, 15);
    engine->SetSystemFilter(Sym("all"));
    EXPECT_EQ(Drain(queue()), (Records{"F8 @11", "F8 @15"}));
    Continue({0x02, 0xF7});
    EXPECT_EQ(Drain(queue()), Records{"F0 01 02 F7 @10"});
    EXPECT_FALSE(engine->InputOverflowed());

    // Whatever ends the message, what came during it was already there.
    using Lose = void (*)(InputQueue&);
    const Lose losses[] = {
        [](InputQueue& q) { q.AbandonSysEx(); },
        [](InputQueue& q) { q.EndCapture(); },
        [](InputQueue& q) {
            const std::vector<uint8_t> start = {0xF0, 0x05, 0xF7};
            q.CaptureSysExStart(start.data(), 3, 30);
        },
        [](InputQueue& q) {  // longer than the ring can hold
            const std::vector<uint8_t> rest(1020, 0x01);
            q.CaptureSysExContinue(rest.data(), 1020, 30);
        },
        [](InputQueue& q) { q.CaptureShortMessage(0x90, 60, 100, 30); },
    };
    for (Lose lose : losses) {
        engine->OpenInput(0, 1024);
        Start({0xF0, 0x01}, 20);
        queue().CaptureShortMessage(0xFA, 0, 0, 21);
        lose(queue());
        EXPECT_TRUE(engine->InputOverflowed());
        const Records records = Drain(queue());
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records.front(), "FA @21");
    }

    // No limit but the ring's room: 1,000 clocks during one message, all kept.
    engine->OpenInput(0, 8192);
    Start({0xF0, 0x01}, 1);
    for (uint32_t i = 0; i < 1000; ++i) {
        queue().CaptureShortMessage(0xF8, 0, 0, 100 + i);
        if (i % 500 == 499) {
            EXPECT_EQ(Drain(queue()).size(), 500u) << i;
        }
    }
    Continue({0xF7});
    EXPECT_FALSE(engine->InputOverflowed());
    EXPECT_EQ(Drain(queue()), Records{"F0 01 F7 @1"});

    // The message needs room only when it ends: a reader that keeps up
    // makes room for it meanwhile; one that does not loses it, flagged,
    // and nothing published is overwritten.
    for (const bool reading : {true, false}) {
        engine->OpenInput(0, 1024);
        for (int i = 0; i < 150; ++i) {
            queue().CaptureShortMessage(0xF8, 0, 0, 1);  // 750 bytes
        }
        const std::vector<uint8_t> message = SysEx(900);
        Start({message.begin(), message.begin() + 450}, 2);
        if (reading) {
            EXPECT_EQ(Drain(queue()).size(), 150u);
        }
        Continue({message.begin() + 450, message.end()});
        EXPECT_EQ(engine->InputOverflowed(), !reading) << reading;
        const Records records = Drain(queue());
        EXPECT_EQ(records.size(), reading ? 1u : 150u) << reading;
    }
}

TEST_F(InputQueueTest, RealTimeBytesInsideBuffersAreTheirOwnMessages) {
    // A driver that passes real-time bytes inside the sysex buffer: they leave
    // the message's data (which stays 0-127) and arrive first, with the
    // time of the buffer they came in.
    Start({0xF0, 0x01, 0xF8, 0x02}, 1);
    Continue({0xFE, 0x03, 0xFA, 0xF9, 0xFD, 0x04, 0xF7}, 2);
    EXPECT_EQ(Drain(queue()), (Records{"F8 @1", "FE @2", "FA @2", "F0 01 02 03 04 F7 @1"}));
    EXPECT_FALSE(engine->InputOverflowed());

    // Outside a message too; they are filtered as any real-time message.
    engine->SetSystemFilter(Sym("clock"));
    Continue({0x55, 0xF8, 0xFE, 0xF7, 0xF8}, 3);
    EXPECT_EQ(Drain(queue()), (Records{"F8 @3", "F8 @3"}));
    EXPECT_FALSE(engine->InputOverflowed());
}

TEST_F(InputQueueTest, SysExInPiecesOfAnySize) {
    // Only the bytes tell where a message ends: pieces short of a full
    // buffer, empty ones anywhere, and the end of one message with the
    // start of the next in one piece all give the messages exactly.
    std::vector<uint8_t> dump = SysEx(4096);
    for (size_t i = 1; i + 1 < dump.size(); ++i) {
        dump[i] = static_cast<uint8_t>(i * 7 % 128);
    }
    const std::vector<uint8_t> identity = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    std::vector<uint8_t> stream = dump;
    stream.insert(stream.end(), identity.begin(), identity.end());
    stream.insert(stream.end(), dump.begin(), dump.end());

    for (uint32_t piece : {1u, 3u, 6u, 256u, 511u, 512u}) {
        for (const uint32_t emptyEvery : {0u, 1u, 5u}) {
            engine->OpenInput(0, 16384);
            uint32_t pieces = 0;
            for (size_t at = 0; at < stream.size(); at += piece) {
                if (emptyEvery != 0 && pieces++ % emptyEvery == 0) {
                    Continue({}, 9);
                }
                const size_t end = std::min(stream.size(), at + piece);
                queue().CaptureSysExChunk(stream.data() + at, static_cast<uint32_t>(end - at),
                                          static_cast<uint32_t>(at));
            }
            const Records records = Drain(queue());
            ASSERT_EQ(records.size(), 3u) << piece << " " << emptyEvery;
            EXPECT_EQ(records[1].substr(0, 17), "F0 7E 7F 06 01 F7") << piece;
            RawRecord record;
            EXPECT_FALSE(queue().Peek(record));
            EXPECT_FALSE(engine->InputOverflowed()) << piece << " " << emptyEvery;
        }
    }
    // Each message's bytes exact, with the time of the piece its 0xF0 came in.
    engine->OpenInput(0, 16384);
    for (size_t at = 0; at < stream.size(); at += 6) {
        queue().CaptureSysExChunk(stream.data() + at,
                                  static_cast<uint32_t>(std::min<size_t>(6, stream.size() - at)),
                                  static_cast<uint32_t>(at / 6));
    }
    RawRecord record;
    for (const uint32_t start : {0u, 4096u, 4102u}) {
        ASSERT_TRUE(queue().Peek(record));
        const std::vector<uint8_t>& expected = start == 4096 ? identity : dump;
        ASSERT_EQ(record.sysExCount, expected.size() - 3) << start;
        std::vector<uint8_t> data(record.sysExCount);
        queue().CopySysEx(record, 0, data.data(), record.sysExCount);
        EXPECT_EQ(data, std::vector<uint8_t>(expected.begin() + 2, expected.end() - 1)) << start;
        EXPECT_EQ(record.data1, expected[1]);
        EXPECT_EQ(record.timestamp, start / 6) << start;
        queue().Consume(record);
    }
}

TEST_F(InputQueueTest, EndMarkInsideAChunk) {
    // Every 0xF0 ... 0xF7 becomes its own record; stray bytes after 0xF7 are
    // dropped. A message takes the time of the chunk its 0xF0 came in.
    Start({0xF0, 0x01, 0xF7, 0xF0, 0x02, 0xF7}, 1);
    EXPECT_EQ(Drain(queue()), (Records{"F0 01 F7 @1", "F0 02 F7 @1"}));
    Start({0xF0, 0x01, 0xF7, 0x55, 0x66, 0xF0, 0x03}, 2);
    EXPECT_EQ(Drain(queue()), Records{"F0 01 F7 @2"});
    Continue({0x04, 0xF7, 0x77, 0xF0, 0x05, 0xF7, 0xF0}, 3);
    Continue({0x06, 0xF7}, 4);
    EXPECT_EQ(Drain(queue()), (Records{"F0 03 04 F7 @2", "F0 05 F7 @3", "F0 06 F7 @3"}));
    EXPECT_FALSE(engine->InputOverflowed());
    Start({0xF0, 0xF7}, 3);
    EXPECT_EQ(Drain(queue()), Records{"F0 00 F7 @3"});  // no manufacturer byte reads as 0
}

TEST_F(InputQueueTest, StatusBytesEndASysEx) {
    // A cut-off message no longer holds up what follows it: every later
    // message is read, and the loss is flagged.
    Start({0xF0, 0x43, 0x10}, 1);
    for (uint32_t i = 0; i < 100; ++i) {
        queue().CaptureShortMessage(0x90, 60, 100, 2 + i);
    }
    Records records = Drain(queue());
    ASSERT_EQ(records.size(), 100u);
    EXPECT_EQ(records.front(), "90 3C 64 @2");
    EXPECT_TRUE(engine->InputOverflowed());

    // The same inside the chunks: any status byte but a real-time one ends
    // the message being assembled; real-time bytes stay part of it.
    struct Case {
        const char* name;
        std::vector<std::vector<uint8_t>> chunks;  // the first one is a start chunk
        Records stored;
        bool lost;
    };
    const Case cases[] = {
        {"real time inside",
         {{0xF0, 0x01, 0xF8}, {0xFE, 0x02, 0xF7}},
         {"F8 @1", "FE @2", "F0 01 02 F7 @1"},
         false},
        {"note in a continuation",
         {{0xF0, 0x01}, {0x02, 0x90, 0x3C, 0xF0, 0x05, 0xF7}},
         {"F0 05 F7 @2"},
         true},
        {"start in a continuation",
         {{0xF0, 0x01}, {0x02, 0xF0, 0x05, 0xF7}},
         {"F0 05 F7 @2"},
         true},
        {"common in the start chunk",
         {{0xF0, 0x01, 0xF1, 0x02, 0xF0, 0x03, 0xF7}},
         {"F0 03 F7 @1"},
         true},
        {"undefined status", {{0xF0, 0x01, 0xF4}, {0xF0, 0x03, 0xF7}}, {"F0 03 F7 @2"}, true},
        {"cut at the start chunk's end", {{0xF0, 0x01, 0x80}, {0x02, 0xF7}}, {}, true},
    };
    for (const Case& c : cases) {
        engine->OpenInput(0, 1024);
        for (size_t i = 0; i < c.chunks.size(); ++i) {
            const std::vector<uint8_t>& chunk = c.chunks[i];
            const uint32_t time = static_cast<uint32_t>(i + 1);
            if (chunk.front() == 0xF0) {
                Start(chunk, time);
            } else {
                Continue(chunk, time);
            }
        }
        EXPECT_EQ(Drain(queue()), c.stored) << c.name;
        EXPECT_EQ(engine->InputOverflowed(), c.lost) << c.name;
    }

    // A message the filter kept out is no loss, whatever ends it.
    engine->OpenInput(0, 1024);
    engine->SetSystemFilter(Sym("clock"));
    Start({0xF0, 0x01}, 1);
    queue().CaptureShortMessage(0x90, 60, 100, 2);
    EXPECT_FALSE(engine->InputOverflowed());
    EXPECT_EQ(Drain(queue()), Records{"90 3C 64 @2"});
}

TEST_F(InputQueueTest, FlushLeavesTheMessageBeingAssembled) {
    Start({0xF0, 0x01}, 1);
    queue().CaptureShortMessage(0xF8, 0, 0, 2);
    engine->FlushInput();
    queue().CaptureShortMessage(0xFA, 0, 0, 3);
    Continue({0x02, 0xF7}, 4);
    // The message being assembled survives the flush; the clock before it does not.
    EXPECT_EQ(Drain(queue()), (Records{"FA @3", "F0 01 02 F7 @1"}));
    EXPECT_FALSE(engine->InputOverflowed());
}

}  // namespace
