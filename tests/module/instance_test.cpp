#include <vector>

#include "host/script_instance.h"
#include "module_fixture.h"

namespace {

constexpr int32_t kInit = 1;
constexpr int32_t kGetTime = 2;
constexpr int32_t kMessagesPending = 9;

TEST_F(ModuleTest, InstanceOwnsAnEngineAndItsServices) {
    ASSERT_EQ(module->Register(), kHostOk);
    HostResult result = -1;
    auto object = module->NewInstance(&result);
    ASSERT_EQ(result, kHostOk);
    ASSERT_NE(object, nullptr);
    const auto* instance = reinterpret_cast<const ScriptInstance*>(object->record());
    EXPECT_EQ(instance->valueService, &host.values());
    EXPECT_EQ(instance->listService, &host.lists());
    EXPECT_NE(instance->engine, nullptr);
    EXPECT_EQ(module->CanUnloadNow(), kHostCannotUnload);

    ScriptValue value = host.Void();
    EXPECT_EQ(object->Call(module->MethodNumber("Init"), {}, value), kHostOk);
    EXPECT_EQ(host.Print(value), "[#code: 0, #text: \"No error\"]");
    host.Release(value);

    value = host.Void();
    EXPECT_EQ(object->Call(kMessagesPending, {}, value), kHostOk);
    EXPECT_EQ(host.Print(value), "0");
    host.Release(value);

    object.reset();
    EXPECT_EQ(module->CanUnloadNow(), kHostOk);
}

// Without its services an instance has no engine: it still exists, every
// method leaves the result alone, and whatever it did obtain goes back.
TEST_F(ModuleTest, InstanceWithoutItsServicesHasNoEngine) {
    struct Case {
        const char* name;
        int nth;  // which QueryInterface fails: 1 value service, 2 list service
    };
    for (const Case& c : {Case{"no value service", 1}, Case{"no list service", 2}}) {
        SCOPED_TRACE(c.name);
        host.FailCall("QueryInterface", c.nth);
        HostResult result = -1;
        auto object = module->NewInstance(&result);
        host.ClearFaults();
        ASSERT_EQ(result, kHostOk);
        ASSERT_NE(object, nullptr);
        const auto* instance = reinterpret_cast<const ScriptInstance*>(object->record());
        EXPECT_EQ(instance->engine, nullptr);
        EXPECT_EQ(instance->valueService == nullptr, c.nth == 1);
        EXPECT_EQ(instance->listService == nullptr, c.nth == 2);

        for (int32_t method : {kInit, kGetTime, kMessagesPending}) {
            ScriptValue value = host.Void();
            EXPECT_EQ(object->Call(method, {}, value), kHostOk);
            EXPECT_EQ(host.KindOf(value), hostsim::Kind::Void);
        }
        object.reset();
        EXPECT_EQ(host.ServiceReferences(), 0);
    }
}

TEST_F(ModuleTest, InstanceCreationWithoutMemory) {
    struct Case {
        const char* name;
        uint32_t nth;  // Alloc 1 is the instance record, Alloc 2 its interface object
    };
    for (const Case& c : {Case{"no record", 1}, Case{"no interface object", 2}}) {
        SCOPED_TRACE(c.name);
        host.FailCall("Alloc", c.nth);
        HostResult result = kHostOk;
        auto object = module->NewInstance(&result);
        host.ClearFaults();
        EXPECT_EQ(object, nullptr);
        EXPECT_EQ(result, kHostOutOfMemory);
        EXPECT_EQ(host.LiveBlocks(), 0) << host.LeakReport();
        EXPECT_EQ(host.LiveValues(), 0) << host.LeakReport();
        EXPECT_EQ(host.ServiceReferences(), 0);
        EXPECT_EQ(module->CanUnloadNow(), kHostOk);
    }
}

TEST_F(ModuleTest, InstancesAreIndependent) {
    auto first = module->NewInstance();
    auto second = module->NewInstance();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ScriptValue value = host.Void();
    EXPECT_EQ(first->Call(kInit, {}, value), kHostOk);
    host.Release(value);
    first.reset();
    EXPECT_EQ(module->CanUnloadNow(), kHostCannotUnload);
    value = host.Void();
    EXPECT_EQ(second->Call(kGetTime, {}, value), kHostOk);
    host.Release(value);
    second.reset();
}

}  // namespace
