#include "standin/fault_plan.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr const char* kNames[] = {"Open", "Close"};

// Which of `calls` calls of Open fail, and with what.
std::vector<uint32_t> Calls(FaultPlan& plan, int calls) {
    std::vector<uint32_t> results;
    for (int i = 0; i < calls; ++i) {
        uint32_t result = 0;
        results.push_back(plan.Enter(0, &result) ? result : 0);
    }
    return results;
}

TEST(FaultPlan, FailsTheNthCallFromNowWithItsResult) {
    FaultPlan plan(kNames, 2);
    EXPECT_EQ(Calls(plan, 2), std::vector<uint32_t>({0, 0}));
    plan.Fail("Open", 1, 7);
    plan.Fail("Open", 3, 9);
    plan.Fail("Open", 0, 5);  // nothing
    EXPECT_EQ(Calls(plan, 4), std::vector<uint32_t>({7, 0, 9, 0}));
    EXPECT_EQ(plan.Count("Open"), 6u);
    EXPECT_EQ(plan.Count("Close"), 0u);

    plan.Fail("Open", 2, 4);
    plan.ClearFailures();
    EXPECT_EQ(Calls(plan, 2), std::vector<uint32_t>({0, 0}));
    EXPECT_EQ(plan.Count(0), 8u);  // counts survive ClearFailures...
    plan.Fail("Open", 1, 3);
    plan.Reset();
    EXPECT_EQ(plan.Count(0), 0u);  // ...not Reset, which forgets failures too
    EXPECT_EQ(Calls(plan, 1), std::vector<uint32_t>({0}));
}

TEST(FaultPlan, AnUnknownNameFailsNothing) {
    FaultPlan plan(kNames, 2);
    testing::internal::CaptureStderr();
    plan.Fail("Opne", 1, 7);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Opne"), std::string::npos);
    EXPECT_EQ(plan.IndexOf("Opne"), -1);
    EXPECT_EQ(plan.Count("Opne"), 0u);
    EXPECT_EQ(Calls(plan, 2), std::vector<uint32_t>({0, 0}));
}

}  // namespace
