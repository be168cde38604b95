// The set-up of tests that run fetch workers: a stand-in GUI loop as their hand-over, and no
// worker left behind when a test ends.
#pragma once

#include "net/FetchThreadRegistry.h"
#include "support/FakeGuiLoop.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace ocelis::test {

class TWorkerFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(TFetchThreadRegistry::Instance().Count(), 0u); }
    // Derived tear-downs stop their workers first, then call this.
    void TearDown() override {
        EXPECT_TRUE(Serve([&] { return Freed(); }));
    }

    // Serves the workers' hand-overs until pred holds; false when the time ran out first.
    bool Serve(const std::function<bool()>& pred,
               std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        return Loop->RunUntil(pred, limit);
    }
    static bool Freed() { return TFetchThreadRegistry::Instance().Count() == 0; }

    std::shared_ptr<FakeGuiLoop> Loop = std::make_shared<FakeGuiLoop>();
};

} // namespace ocelis::test
