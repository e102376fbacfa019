#include <algorithm>
#include <string>
#include <vector>

#include "host/class_table.h"
#include "module_fixture.h"
#include "tests/common/expected_method_table.h"

namespace {

using hostsim::RegistryValue;

TEST_F(ModuleTest, RegistrationChecksTheHost) {
    struct Case {
        const char* product;
        const char* version;
        HostResult result;
    };
    const Case cases[] = {
        {"Director", "6.0", kHostOk},
        {"Director", "8.5", kHostOk},
        {"Director", "10", kHostOk},
        {"Director", "6", kHostOk},
        {"Director", "11.5.8r612", kHostOk},
        {"Director", "99999999999999", kHostOk},
        {"director", "8.5", kHostNoInterface},
        {"DIRECTOR", "8.5", kHostNoInterface},
        {"Director ", "8.5", kHostNoInterface},
        {"Director MX", "8.5", kHostNoInterface},
        {"Directo", "8.5", kHostNoInterface},
        {"", "8.5", kHostNoInterface},
        {"Director", "5.5", kHostNoInterface},
        {"Director", "5", kHostNoInterface},
        {"Director", "v8", kHostNoInterface},
        {"Director", " 8", kHostNoInterface},
        {"Director", "", kHostNoInterface},
        {"Director", "05", kHostNoInterface},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.product) + " / " + c.version);
        host.SetAppInfo(c.product, c.version);
        EXPECT_EQ(module->Register(), c.result);
        if (c.result == kHostOk) {
            EXPECT_EQ(module->Registry().size(), 3u);
            EXPECT_EQ(module->MethodNames().size(), 18u);
        } else {
            EXPECT_TRUE(module->Registry().empty());  // nothing written
            EXPECT_TRUE(module->MethodNames().empty());
        }
        EXPECT_EQ(host.ServiceReferences(), 0);  // the app-info service went back
    }
}

TEST_F(ModuleTest, RegistryEntriesByteForByte) {
    ASSERT_EQ(module->Register(), kHostOk);
    const std::vector<RegistryValue>& values = module->Registry();
    ASSERT_EQ(values.size(), 3u);

    EXPECT_EQ(values[0].key, "XtraLoadControlOptions");
    EXPECT_TRUE(SameGuid(values[0].classId, kTesmarScriptClass));
    EXPECT_TRUE(SameGuid(values[0].interfaceId, kIidLoadOptions));
    EXPECT_EQ(values[0].kind, 3);
    EXPECT_EQ(values[0].bytes, (std::vector<uint8_t>{3, 0, 0, 0}));

    EXPECT_EQ(values[1].key, "safeForShockwave");
    EXPECT_TRUE(SameGuid(values[1].classId, kTesmarScriptClass));
    EXPECT_TRUE(SameGuid(values[1].interfaceId, kIidScripting));
    EXPECT_EQ(values[1].kind, 6);
    EXPECT_EQ(values[1].bytes, (std::vector<uint8_t>{1}));

    EXPECT_EQ(values[2].key, "msgTable");
    EXPECT_TRUE(SameGuid(values[2].classId, kTesmarScriptClass));
    EXPECT_TRUE(SameGuid(values[2].interfaceId, kIidScripting));
    EXPECT_EQ(values[2].kind, 9);
    ASSERT_FALSE(values[2].bytes.empty());
    EXPECT_EQ(values[2].bytes.back(), 0);

    const std::string& text = module->MethodTableText();
    EXPECT_EQ(text.size() + 1, values[2].bytes.size());
    EXPECT_EQ(text.rfind("xtra Tesmar -- Tesmar Xtra\n-- Construction and Initialisation:\n", 0),
              0u);
    const std::string tail =
        "SendMessage object me, any message\n             -- send a midi message";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 29);

    EXPECT_EQ(module->MethodNames(), tesmar_test::kExpectedMethodNames);
    EXPECT_EQ(module->XtraName(), "Tesmar");
    EXPECT_EQ(module->MethodNumber("sendmessage"), 17);
    EXPECT_EQ(module->MethodNumber("NEW"), 0);
    EXPECT_EQ(module->MethodNumber("xtra"), -1);
}

// Each failure is the n-th call of one operation during Register: the
// registrar record is Alloc 1, its interface object Alloc 2, the method
// table's block Alloc 3.
TEST_F(ModuleTest, RegistrationFailures) {
    struct Case {
        const char* name;
        const char* operation;
        uint32_t nth;
        bool registryFault;
        HostResult result;
        std::vector<std::string> keys;
    };
    const HostResult refused = hostsim::SimRegistry::kRefused;
    const std::vector<std::string> all = {"XtraLoadControlOptions", "safeForShockwave", "msgTable"};
    const Case cases[] = {
        {"no app info", "QueryInterface", 1, false, kHostNoInterface, {}},
        {"product name unreadable",
         "GetAppInfoString",
         1,
         false,
         hostsim::SimHost::kInjectedFailure,
         {}},
        {"version unreadable",
         "GetAppInfoString",
         2,
         false,
         hostsim::SimHost::kInjectedFailure,
         {}},
        {"no registrar record", "Alloc", 1, false, kHostOutOfMemory, {}},
        {"no interface object", "Alloc", 2, false, kHostOutOfMemory, {}},
        {"no block for the method table",
         "Alloc",
         3,
         false,
         kHostOutOfMemory,
         {"XtraLoadControlOptions", "safeForShockwave"}},
        {"no load-options entry",
         "GetRegistryEntry",
         1,
         true,
         kHostOk,
         {"safeForShockwave", "msgTable"}},
        {"no scripting entry", "GetRegistryEntry", 2, true, refused, {"XtraLoadControlOptions"}},
        {"load options refused",
         "PutRegistryValue",
         1,
         true,
         kHostOk,
         {"safeForShockwave", "msgTable"}},
        {"safeForShockwave refused",
         "PutRegistryValue",
         2,
         true,
         refused,
         {"XtraLoadControlOptions"}},
        {"msgTable refused",
         "PutRegistryValue",
         3,
         true,
         refused,
         {"XtraLoadControlOptions", "safeForShockwave"}},
        {"nothing fails", "", 0, false, kHostOk, all},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.registryFault) {
            module->registry().FailCall(c.operation, c.nth);
        } else {
            host.FailCall(c.operation, c.nth);
        }
        EXPECT_EQ(module->Register(), c.result);
        host.ClearFaults();
        std::vector<std::string> keys;
        for (const RegistryValue& value : module->Registry()) {
            keys.push_back(value.key);
        }
        EXPECT_EQ(keys, c.keys);
        EXPECT_EQ(module->registry().OpenEntries(), 0);
        EXPECT_EQ(host.LiveBlocks(), 0) << host.LeakReport();
        EXPECT_EQ(host.ServiceReferences(), 0);
        EXPECT_EQ(module->CanUnloadNow(), kHostOk);
    }
}

}  // namespace
