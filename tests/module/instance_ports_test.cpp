#include <vector>

#include "module_fixture.h"
#include "simwinmm/control.h"
#include "watched_services.h"

namespace {

constexpr int32_t kInit = 1;
constexpr int32_t kOpenInput = 5;
constexpr int32_t kOpenOutput = 15;

class ModulePortsTest : public ModuleTest {
protected:
    void SetUp() override {
        simwinmm::Reset();
        simwinmm::AddLoopbackPort("Loopback");
        ModuleTest::SetUp();
    }
    void TearDown() override {
        ModuleTest::TearDown();
        simwinmm::Reset();
    }

    // Calls a method whose result is a status list and hands back its text.
    std::string CallForStatus(hostsim::ScriptObject& object, int32_t method,
                              std::vector<ScriptValue> args) {
        ScriptValue result = host.Void();
        EXPECT_EQ(object.Call(method, args, result), kHostOk);
        std::string printed = host.Print(result);
        host.Release(result);
        for (ScriptValue& arg : args) {
            host.Release(arg);
        }
        return printed;
    }
};

TEST_F(ModulePortsTest, DestroyingAnInstanceClosesBothPorts) {
    const std::string ok = "[#code: 0, #text: \"No error\"]";
    auto object = module->NewInstance();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(CallForStatus(*object, kInit, {}), ok);
    EXPECT_EQ(CallForStatus(*object, kOpenInput, {host.Integer(1), host.Integer(1024)}), ok);
    EXPECT_EQ(CallForStatus(*object, kOpenOutput, {host.Integer(1)}), ok);
    EXPECT_EQ(simwinmm::CallCount("midiInClose"), 0u);
    EXPECT_EQ(simwinmm::CallCount("midiOutClose"), 0u);

    object.reset();
    EXPECT_EQ(simwinmm::CallCount("midiInReset"), 1u);
    EXPECT_EQ(simwinmm::CallCount("midiInClose"), 1u);
    EXPECT_EQ(simwinmm::CallCount("midiOutClose"), 1u);
    EXPECT_LT(simwinmm::LastCallOrder("midiInClose"), simwinmm::LastCallOrder("midiOutReset"))
        << "input is closed before output";
    EXPECT_EQ(simwinmm::QueuedInputBuffers(0), 0u);

    // The ports are free again for the next instance.
    auto next = module->NewInstance();
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(CallForStatus(*next, kInit, {}), ok);
    EXPECT_EQ(CallForStatus(*next, kOpenInput, {host.Integer(1), host.Integer(1024)}), ok);
    EXPECT_EQ(CallForStatus(*next, kOpenOutput, {host.Integer(1)}), ok);
}

// The engine closes its ports and releases its values through the services:
// the instance releases them only after the engine is gone.
TEST_F(ModulePortsTest, TheServicesOutliveTheEngine) {
    const std::string ok = "[#code: 0, #text: \"No error\"]";
    WatchedServices services(host);
    module->UseServiceProvider(&services);
    auto object = module->NewInstance();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(services.References(), 2);
    EXPECT_EQ(CallForStatus(*object, kInit, {}), ok);
    EXPECT_EQ(CallForStatus(*object, kOpenInput, {host.Integer(1), host.Integer(1024)}), ok);
    EXPECT_EQ(CallForStatus(*object, kOpenOutput, {host.Integer(1)}), ok);
    object.reset();
    EXPECT_EQ(services.LateCalls(), 0);
    EXPECT_EQ(services.References(), 0);
    module->UseServiceProvider(nullptr);
}

}  // namespace
