#include <new>

#include "host/class_table.h"
#include "module_fixture.h"

namespace {

using hostsim::InstanceRecord;
using hostsim::InterfaceAddRef;
using hostsim::InterfaceQuery;
using hostsim::InterfaceRelease;

TEST_F(ModuleTest, InterfaceObjectCountsItsOwnerAndTheModule) {
    auto record = InstanceRecord::Allocate(host, sizeof(HostHeader));
    ASSERT_NE(record, nullptr);
    const int64_t blocksBefore = host.LiveBlocks();
    EXPECT_EQ(module->CanUnloadNow(), kHostOk);

    void* object = nullptr;
    ASSERT_EQ(exports().getInterface(record->header(), nullptr, &kIidScripting, &object), kHostOk);
    EXPECT_EQ(host.LiveBlocks(), blocksBefore + 1);
    EXPECT_EQ(record->References(), 3);  // one for its life, one for its count of 1
    EXPECT_EQ(module->CanUnloadNow(), kHostCannotUnload);

    EXPECT_EQ(InterfaceAddRef(object), 2u);
    EXPECT_EQ(InterfaceAddRef(object), 3u);
    EXPECT_EQ(record->References(), 5);

    // QueryInterface is the owner's.
    void* queried = nullptr;
    EXPECT_EQ(InterfaceQuery(object, kIidUnknown, &queried), kHostOk);
    EXPECT_EQ(queried, static_cast<void*>(record->header()->object));
    EXPECT_EQ(record->References(), 6);
    record->header()->object->Release();
    EXPECT_EQ(InterfaceQuery(object, kIidHostValueService, &queried), kHostNoInterface);

    EXPECT_EQ(InterfaceRelease(object), 2u);
    EXPECT_EQ(InterfaceRelease(object), 1u);
    EXPECT_EQ(module->CanUnloadNow(), kHostCannotUnload);
    EXPECT_EQ(host.LiveBlocks(), blocksBefore + 1);
    EXPECT_EQ(InterfaceRelease(object), 0u);

    EXPECT_EQ(host.LiveBlocks(), blocksBefore);
    EXPECT_EQ(record->References(), 1);
    EXPECT_EQ(record->BadReleases(), 0);
    EXPECT_EQ(module->CanUnloadNow(), kHostOk);
}

TEST_F(ModuleTest, EveryLiveInterfaceObjectHoldsTheModule) {
    auto first = InstanceRecord::Allocate(host, sizeof(HostHeader));
    auto second = InstanceRecord::Allocate(host, sizeof(HostHeader));
    void* registration = nullptr;
    void* scripting = nullptr;
    ASSERT_EQ(exports().getInterface(first->header(), nullptr, &kIidRegistration, &registration),
              kHostOk);
    ASSERT_EQ(exports().getInterface(second->header(), nullptr, &kIidScripting, &scripting),
              kHostOk);
    InterfaceRelease(registration);
    EXPECT_EQ(module->CanUnloadNow(), kHostCannotUnload);
    InterfaceRelease(scripting);
    EXPECT_EQ(module->CanUnloadNow(), kHostOk);
    EXPECT_EQ(first->References(), 1);
    EXPECT_EQ(second->References(), 1);
}

#ifndef _WIN32
int handlerCalls = 0;

void HandlerThatGivesUp() {
    ++handlerCalls;
    std::set_new_handler(nullptr);
}
#endif

TEST_F(ModuleTest, InterfaceCreationWithoutMemory) {
    auto record = InstanceRecord::Allocate(host, sizeof(HostHeader));
    ASSERT_NE(record, nullptr);

    // No handler installed: the first refusal is final.
    host.FailCall("Alloc", 1);
    void* object = reinterpret_cast<void*>(uintptr_t{0x5555});
    EXPECT_EQ(exports().getInterface(record->header(), nullptr, &kIidScripting, &object),
              kHostOutOfMemory);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(record->References(), 1);
    EXPECT_EQ(module->CanUnloadNow(), kHostOk);

#ifndef _WIN32
    // A handler is asked, and the allocation tried again while one is installed.
    // (On Windows the module links its own static C++ runtime, whose handler
    // is not the one this program sets.)
    handlerCalls = 0;
    std::new_handler previous = std::set_new_handler(HandlerThatGivesUp);
    host.FailCall("Alloc", 1);
    EXPECT_EQ(exports().getInterface(record->header(), nullptr, &kIidScripting, &object), kHostOk);
    EXPECT_EQ(handlerCalls, 1);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(InterfaceRelease(object), 0u);

    // Memory that stays short ends when the handler uninstalls itself.
    std::set_new_handler(HandlerThatGivesUp);
    host.FailCall("Alloc", 1);
    host.FailCall("Alloc", 2);
    handlerCalls = 0;
    EXPECT_EQ(exports().getInterface(record->header(), nullptr, &kIidScripting, &object),
              kHostOutOfMemory);
    EXPECT_EQ(handlerCalls, 1);
    EXPECT_EQ(object, nullptr);
    std::set_new_handler(previous);
#endif

    EXPECT_EQ(record->References(), 1);
    EXPECT_EQ(module->CanUnloadNow(), kHostOk);
}

}  // namespace
