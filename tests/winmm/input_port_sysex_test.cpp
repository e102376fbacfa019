// System-exclusive input as drivers really hand it over: messages cut off,
// and chunks that each carry their time.
#include "tests/winmm/device_fixture.h"

namespace {

class SysExInputTest : public DeviceTest {
protected:
    void SetUp() override {
        loop = simwinmm::AddLoopbackPort("Loop");
        Initialised();
        ASSERT_EQ(engine->OpenInput(static_cast<int32_t>(loop.input), 8192), kStatusOk);
    }

    simwinmm::PortPair loop{};
};

TEST_F(SysExInputTest, ACutOffMessageNoLongerHoldsUpLaterInput) {
    // Three bytes and no 0xF7, then notes: the first note cuts the message off.
    simwinmm::InjectChunk(loop.input, {0xF0, 0x43, 0x10});
    for (uint32_t i = 0; i < 100; ++i) {
        simwinmm::InjectShort(loop.input, 0x640090u | (i % 128) << 8);
    }
    ASSERT_TRUE(simwinmm::WaitIdle(loop.input));
    ScriptValue pending = host.NewList();
    engine->GetPendingMessages(pending);
    EXPECT_EQ(host.Count(pending), 100);
    host.Release(pending);
    EXPECT_TRUE(engine->InputOverflowed());

    // A clock is no cut: it is read at once, and the message goes on in the
    // next buffer.
    std::vector<uint8_t> first(512, 0x11);
    first[0] = 0xF0;
    simwinmm::InjectChunk(loop.input, first);
    simwinmm::InjectShort(loop.input, 0xF8);
    ASSERT_TRUE(simwinmm::WaitIdle(loop.input));
    EXPECT_EQ(NextMessage().rfind("[#type: #clock", 0), 0u);
    simwinmm::InjectChunk(loop.input, {0x12, 0xF7});
    ASSERT_TRUE(simwinmm::WaitIdle(loop.input));
    ScriptValue message = host.NewPropList();
    engine->GetNextMessage(message);
    ScriptValue data = host.At(message, 3);
    EXPECT_EQ(host.Count(data), 511);
    host.Release(data);
    host.Release(message);
    EXPECT_FALSE(engine->InputOverflowed());
}

TEST_F(SysExInputTest, AMessageTakesTheTimeOfTheChunkItsStartCameIn) {
    std::vector<uint8_t> first(512, 0x11);
    first[0] = 0xF0;
    simwinmm::SetClock(1000);
    simwinmm::InjectChunk(loop.input, first);
    ASSERT_TRUE(simwinmm::WaitIdle(loop.input));
    simwinmm::SetClock(2000);
    simwinmm::InjectChunk(loop.input, {0x12, 0xF7, 0xF0, 0x7E, 0x01, 0xF7});
    ASSERT_TRUE(simwinmm::WaitIdle(loop.input));
    ScriptValue message = host.NewPropList();
    engine->GetNextMessage(message);
    ScriptValue time = host.At(message, 4);
    EXPECT_EQ(host.IntegerOf(time), 1000);
    host.Release(time);
    host.Release(message);
    EXPECT_EQ(NextMessage(),
              "[#type: #systemExclusive, #manufacturerID: 126, #data: [1], #timestamp: 2000]");
}

}  // namespace
