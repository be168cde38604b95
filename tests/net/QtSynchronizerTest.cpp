#include "net/QtSynchronizer.h"
#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace std::chrono_literals;
using ocelis::TQtSynchronizer;

namespace {
// Runs the Qt event loop until pred holds or the time is up.
bool ProcessUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}
} // namespace

TEST(QtSynchronizer, RunsOnGuiThreadAndRethrows) {
    TQtSynchronizer sync;
    std::thread::id ranOn;
    std::atomic<bool> done{false};
    std::string caught;
    std::thread worker([&] {
        EXPECT_TRUE(sync.Run([&] { ranOn = std::this_thread::get_id(); }));
        try {
            sync.Run([] { throw std::runtime_error("from the window"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        done = true;
    });
    EXPECT_TRUE(ProcessUntil([&] { return done.load(); }, 10s));
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(caught, "from the window");
}

TEST(QtSynchronizer, GuiThreadCallRunsInline) {
    TQtSynchronizer sync;
    int n = 0;
    EXPECT_TRUE(sync.Run([&] { ++n; }));
    EXPECT_EQ(n, 1);
}

TEST(QtSynchronizer, ShutdownCancelsWaitingCallWhichNeverRuns) {
    std::atomic<int> ran{0};
    std::atomic<int> result{-1};
    {
        TQtSynchronizer sync;
        std::thread worker([&] { result = sync.Run([&] { ++ran; }) ? 1 : 0; });
        // The loop does not run: the call stays queued until the shutdown cancels it.
        ASSERT_TRUE(ocelis::test::WaitUntil([&] { return sync.PendingCalls() == 1; }, 5s));
        sync.Shutdown();
        worker.join();
        EXPECT_FALSE(sync.Run([&] { ++ran; }));
        // The queued event is delivered later and must not run the cancelled call.
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(ran.load(), 0);
}

TEST(QtSynchronizer, EndOfEventLoopCancelsCalls) {
    auto sync = TQtSynchronizer::Install();
    std::atomic<int> result{-1};
    std::thread worker;
    // Quit the loop before the worker's call can be served.
    QTimer::singleShot(0, [&] {
        worker = std::thread([&] { result = sync->Run([] {}) ? 1 : 0; });
        EXPECT_TRUE(ocelis::test::WaitUntil([&] { return sync->PendingCalls() == 1; }, 5s));
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    // aboutToQuit has shut the hand-over down; the worker returns without deadlock.
    worker.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_FALSE(sync->Run([] {}));
    ocelis::SetDefaultSynchronizer(nullptr);
}
