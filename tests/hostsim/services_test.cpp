// The services around the values: fault injection, memory, the service
// provider and the application information.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "hostsim/sim_host.h"

namespace {

using hostsim::Kind;
using hostsim::SimHost;

TEST(SimHostFaults, TheNthCallFailsAndOnlyThatOne) {
    SimHost host;
    HostListService& lists = host.lists();
    host.FailCall("NewPropList", 2);
    ScriptValue made[3] = {};
    HostResult codes[3] = {};
    for (int i = 0; i < 3; ++i) {
        codes[i] = lists.NewPropList(&made[i]);
    }
    EXPECT_EQ(codes[0], kHostOk);
    EXPECT_EQ(codes[1], SimHost::kInjectedFailure);
    EXPECT_EQ(codes[2], kHostOk);
    // The failed make left a Void that is no live value.
    EXPECT_EQ(host.KindOf(made[1]), Kind::Void);
    EXPECT_EQ(host.LiveValues(), 2);
    EXPECT_EQ(host.CallCount("NewPropList"), 3u);
    for (ScriptValue& value : made) {
        host.values().ValueRelease(&value);
    }
    EXPECT_EQ(host.LiveValues(), 0);
    EXPECT_EQ(host.BadReleases(), 0);

    // Counted from now, not from the start.
    ScriptValue integer = host.Integer(4);
    int32_t out = 0;
    host.values().ValueToInteger(&integer, &out);
    host.FailCall("ValueToInteger", 1);
    host.FailCall("ValueToInteger", 3);
    EXPECT_EQ(host.values().ValueToInteger(&integer, &out), SimHost::kInjectedFailure);
    EXPECT_EQ(host.values().ValueToInteger(&integer, &out), kHostOk);
    EXPECT_EQ(host.values().ValueToInteger(&integer, &out), SimHost::kInjectedFailure);
    host.FailCall("ValueToInteger", 1);
    host.ClearFaults();
    EXPECT_EQ(host.values().ValueToInteger(&integer, &out), kHostOk);
    EXPECT_EQ(host.CallCount("ValueToInteger"), 5u);
    host.Release(integer);

    host.FailCall("Alloc", 1);
    EXPECT_EQ(host.memory().Alloc(16), nullptr);
    host.FailCall("GetValueByIndex", 1);
    ScriptValue list = host.NewList();
    host.Append(list, list);  // refused, no cycle
    ScriptValue element = host.Integer(1);
    host.Append(list, element);
    ScriptValue got{};
    EXPECT_EQ(host.lists().GetValueByIndex(&list, 1, &got), SimHost::kInjectedFailure);
    EXPECT_EQ(host.KindOf(got), Kind::Void);
    host.Release(element);
    host.Release(list);
    EXPECT_EQ(host.LiveValues(), 0);
}

TEST(SimHostMemory, BlocksAreAccountedAndLimited) {
    SimHost host;
    HostMemoryService& memory = host.memory();
    void* a = memory.Alloc(100);
    void* b = memory.Alloc(0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    std::memset(a, 0xAB, 100);
    EXPECT_EQ(host.LiveBlocks(), 2);
    EXPECT_EQ(host.LiveBytes(), 100);

    // A 32-bit host cannot give more than 1 GiB in one block.
    EXPECT_EQ(memory.Alloc(static_cast<uint32_t>(SimHost::kMaxAllocation) + 1), nullptr);
    EXPECT_EQ(memory.Alloc(UINT32_MAX), nullptr);
    EXPECT_EQ(host.LiveBlocks(), 2);

    memory.Free(nullptr);
    EXPECT_EQ(host.BadReleases(), 0);
    memory.Free(a);
    memory.Free(a);
    int local = 0;
    memory.Free(&local);
    EXPECT_EQ(host.BadReleases(), 2);
    memory.Free(b);
    EXPECT_EQ(host.LiveBlocks(), 0);
    EXPECT_EQ(host.LiveBytes(), 0);
}

TEST(SimHostServices, TheProviderHandsOutEveryServiceCounted) {
    SimHost host;
    struct Row {
        InterfaceId iid;
        void* expected;
    };
    const Row rows[] = {
        {kIidHostValueService, static_cast<HostValueService*>(&host.values())},
        {kIidHostListService, static_cast<HostListService*>(&host.lists())},
        {kIidHostMemoryService, static_cast<HostMemoryService*>(&host.memory())},
        {kIidHostAppInfoService, static_cast<HostAppInfoService*>(&host.appInfo())},
    };
    for (const Row& row : rows) {
        void* out = nullptr;
        EXPECT_EQ(host.provider().QueryInterface(&row.iid, &out), kHostOk);
        EXPECT_EQ(out, row.expected);
        EXPECT_EQ(host.ServiceReferences(), 1);
        static_cast<HostUnknown*>(out)->Release();
        EXPECT_EQ(host.ServiceReferences(), 0);
    }
    // Any service answers for the others.
    void* out = nullptr;
    EXPECT_EQ(host.memory().QueryInterface(&kIidHostListService, &out), kHostOk);
    EXPECT_EQ(out, static_cast<HostListService*>(&host.lists()));
    host.lists().Release();

    for (const InterfaceId& unknown : {kIidScripting, kIidRegistration, kIidClassFactory}) {
        out = &host;
        EXPECT_EQ(host.provider().QueryInterface(&unknown, &out), kHostNoInterface);
        EXPECT_EQ(out, nullptr);
    }
    host.FailCall("QueryInterface", 1);
    out = &host;
    EXPECT_EQ(host.provider().QueryInterface(&kIidHostValueService, &out), kHostNoInterface);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(host.ServiceReferences(), 0);

    // A Release without its AddRef is caught, not obeyed.
    host.values().Release();
    EXPECT_EQ(host.BadReleases(), 1);
    EXPECT_EQ(host.ServiceReferences(), 0);
}

TEST(SimHostServices, AppInfoAnswersProductAndVersionTruncated) {
    SimHost host;
    HostAppInfoService& info = host.appInfo();
    struct Row {
        int32_t property;
        uint32_t size;
        HostResult code;
        const char* text;
    };
    const Row defaults[] = {
        {kAppInfoProductName, 64, kHostOk, "Director"}, {kAppInfoVersion, 64, kHostOk, "8.5"},
        {kAppInfoProductName, 9, kHostOk, "Director"},  {kAppInfoProductName, 4, kHostOk, "Dir"},
        {kAppInfoProductName, 1, kHostOk, ""},          {7, 64, SimHost::kFailure, ""},
    };
    for (const Row& row : defaults) {
        char buffer[80];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(info.GetAppInfoString(row.property, buffer, row.size), row.code);
        EXPECT_STREQ(buffer, row.text) << row.property << " " << row.size;
        EXPECT_EQ(buffer[row.size], 'x');  // nothing beyond the given size
    }
    EXPECT_NE(info.GetAppInfoString(kAppInfoVersion, nullptr, 10), kHostOk);

    host.SetAppInfo("Player", "11.0");
    char buffer[16];
    EXPECT_EQ(info.GetAppInfoString(kAppInfoProductName, buffer, sizeof buffer), kHostOk);
    EXPECT_STREQ(buffer, "Player");
    EXPECT_EQ(info.GetAppInfoString(kAppInfoVersion, buffer, sizeof buffer), kHostOk);
    EXPECT_STREQ(buffer, "11.0");
    host.FailCall("GetAppInfoString", 1);
    EXPECT_EQ(info.GetAppInfoString(kAppInfoVersion, buffer, sizeof buffer),
              SimHost::kInjectedFailure);
    EXPECT_STREQ(buffer, "");
}

}  // namespace
