#include "support/FakeGuiLoop.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace std::chrono_literals;
using ocelis::FakeGuiLoop;

TEST(FakeGuiLoop, RunsOnTheLoopThreadAndRethrows) {
    FakeGuiLoop loop;
    std::thread::id ranOn;
    bool threw = false;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        EXPECT_TRUE(loop.Run([&] { ranOn = std::this_thread::get_id(); }));
        try {
            loop.Run([] { throw std::runtime_error("handler failed"); });
        } catch (const std::runtime_error& e) {
            threw = std::string(e.what()) == "handler failed";
        }
        done = true;
    });
    EXPECT_TRUE(loop.RunUntil([&] { return done.load(); }, 5s));
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(threw);
    EXPECT_EQ(loop.Served(), 2);
}

TEST(FakeGuiLoop, OwnerRunsInline) {
    FakeGuiLoop loop;
    int n = 0;
    EXPECT_TRUE(loop.Run([&] { ++n; }));
    EXPECT_EQ(n, 1);
    EXPECT_EQ(loop.Served(), 0);
}

TEST(FakeGuiLoop, ShutdownCancelsWaitingAndLaterCalls) {
    FakeGuiLoop loop;
    std::atomic<int> ran{0};
    std::atomic<int> result{-1};
    std::thread worker([&] { result = loop.Run([&] { ++ran; }) ? 1 : 0; });
    // Not served: the call waits until the loop shuts down.
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return loop.Pending() == 1; }, 5s));
    loop.Shutdown();
    worker.join();
    EXPECT_EQ(result.load(), 0);
    std::thread later([&] { result = loop.Run([&] { ++ran; }) ? 1 : 0; });
    later.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(ran.load(), 0);
}
