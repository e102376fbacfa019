// Loads the module afresh for every test and checks, at the end, that the
// test left nothing behind: no value, no block, no bad release, no service
// reference, no live interface object.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "hostsim/loader.h"
#include "hostsim/sim_host.h"

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.SetAppInfo("Director", "8.5");
        std::string error;
        module = hostsim::LoadedModule::Load(host, TESMAR_MODULE_PATH, &error);
        ASSERT_NE(module, nullptr) << error;
    }

    void TearDown() override {
        if (module != nullptr) {
            EXPECT_EQ(module->CanUnloadNow(), kHostOk);
            EXPECT_EQ(module->registry().OpenEntries(), 0);
            EXPECT_EQ(module->registry().References(), 0);
            module.reset();
        }
        EXPECT_EQ(host.LiveValues(), 0) << host.LeakReport();
        EXPECT_EQ(host.LiveBlocks(), 0) << host.LeakReport();
        EXPECT_EQ(host.BadReleases(), 0);
        EXPECT_EQ(host.ServiceReferences(), 0);
    }

    const hostsim::ModuleExports& exports() const { return module->exports(); }

    hostsim::SimHost host;
    std::unique_ptr<hostsim::LoadedModule> module;
};
