// A module that cannot be loaded is refused with a message; nothing calls
// into it afterwards and nothing is left behind.
#include <gtest/gtest.h>

#include <string>

#include "hostsim/loader.h"
#include "hostsim/sim_host.h"

namespace {

TEST(LoadFailure, ARefusedModuleIsNeverCalledAgain) {
    struct Case {
        const char* name;
        const char* path;
        const char* allocToFail;  // the operation made to fail on its first call, if any
        const char* message;      // part of the error
    };
    const Case cases[] = {
        {"no such file", "/nonexistent/libnothing.so", nullptr, "libnothing"},
#if defined(TESMAR_STUB_MODULE_PATH)
        {"only DllCanUnloadNow", TESMAR_STUB_MODULE_PATH, nullptr, "no export"},
#endif
        {"no memory for the class table", TESMAR_MODULE_PATH, "Alloc", "DllGetClassInfo failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hostsim::SimHost host;
        if (c.allocToFail != nullptr) {
            host.FailCall(c.allocToFail, 1);
        }
        std::string error;
        auto module = hostsim::LoadedModule::Load(host, c.path, &error);
        EXPECT_EQ(module, nullptr);
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(host.LiveBlocks(), 0) << host.LeakReport();
        EXPECT_EQ(host.ServiceReferences(), 0);
    }
}

}  // namespace
