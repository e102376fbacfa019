// A module whose engine was kept because a driver would not let go of a
// device stays loaded: it says so, and pins itself for a host that unloads
// it anyway. Its own program: once kept, the module stays for the process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostsim/loader.h"
#include "hostsim/sim_host.h"
#include "simwinmm/control.h"

namespace {

constexpr int32_t kInit = 1;
constexpr int32_t kOpenInput = 5;
constexpr int32_t kOpenOutput = 15;

void CallAndRelease(hostsim::SimHost& host, hostsim::ScriptObject& object, int32_t method,
                    std::vector<ScriptValue> args) {
    ScriptValue result = host.Void();
    EXPECT_EQ(object.Call(method, args, result), kHostOk);
    EXPECT_EQ(host.Print(result), "[#code: 0, #text: \"No error\"]");
    host.Release(result);
    for (ScriptValue& arg : args) {
        host.Release(arg);
    }
}

TEST(ModuleUnload, AModuleADriverStillCallsStaysLoaded) {
    simwinmm::Reset();
    const simwinmm::PortPair loop = simwinmm::AddLoopbackPort("Loopback");
    hostsim::SimHost host;
    host.SetAppInfo("Director", "8.5");
    std::string error;
    auto module = hostsim::LoadedModule::Load(host, TESMAR_MODULE_PATH, &error);
    ASSERT_NE(module, nullptr) << error;
    ASSERT_EQ(module->Register(), kHostOk);
    auto object = module->NewInstance();
    ASSERT_NE(object, nullptr);
    CallAndRelease(host, *object, kInit, {});
    CallAndRelease(host, *object, kOpenInput, {host.Integer(1), host.Integer(1024)});
    CallAndRelease(host, *object, kOpenOutput, {host.Integer(1)});

    // The input device is never let go: neither at the close nor at the
    // destruction's last try.
    simwinmm::FailCall("midiInReset", 1);
    simwinmm::FailCall("midiInReset", 2);
    object.reset();
    EXPECT_EQ(module->CanUnloadNow(), kHostCannotUnload);
    EXPECT_EQ(host.LiveBlocks(), 0) << host.LeakReport();
    EXPECT_EQ(host.LiveValues(), 0) << host.LeakReport();
    EXPECT_EQ(host.ServiceReferences(), 0);

    // A host that unloads all the same; the driver then delivers.
    module->Unload();
    module.reset();
    simwinmm::InjectShort(loop.input, 0x00403C90);
    simwinmm::InjectSysEx(loop.input, {0xF0, 0x41, 0x01, 0xF7});
    EXPECT_TRUE(simwinmm::WaitIdle(loop.input));
    simwinmm::Reset();
}

// A cable pulled from a device that then never lets go: the object is
// destroyed and the module unloaded all the same, safely.
TEST(ModuleUnload, AfterAPulledCableTheModuleStaysLoaded) {
    simwinmm::Reset();
    simwinmm::AddLoopbackPort("Loopback");
    simwinmm::SetPullBehaviour({1 /*MMSYSERR_ERROR*/, 0, false, true});
    hostsim::SimHost host;
    host.SetAppInfo("Director", "8.5");
    std::string error;
    auto module = hostsim::LoadedModule::Load(host, TESMAR_MODULE_PATH, &error);
    ASSERT_NE(module, nullptr) << error;
    ASSERT_EQ(module->Register(), kHostOk);
    auto object = module->NewInstance();
    ASSERT_NE(object, nullptr);
    CallAndRelease(host, *object, kInit, {});
    CallAndRelease(host, *object, kOpenInput, {host.Integer(1), host.Integer(1024)});
    CallAndRelease(host, *object, kOpenOutput, {host.Integer(1)});
    ASSERT_TRUE(simwinmm::UnplugPort("Loopback"));

    object.reset();
    EXPECT_EQ(simwinmm::PulledDevicesOpen(), 2u);
    EXPECT_EQ(module->CanUnloadNow(), kHostCannotUnload);
    EXPECT_EQ(host.LiveBlocks(), 0) << host.LeakReport();
    EXPECT_EQ(host.LiveValues(), 0) << host.LeakReport();
    EXPECT_EQ(host.ServiceReferences(), 0);
    module->Unload();
    module.reset();
    simwinmm::LetPulledDevicesClose();
    simwinmm::Reset();
}

}  // namespace
