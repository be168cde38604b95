// A stand-in GUI loop for tests of code that hands work over to the GUI thread: the thread
// that runs ProcessPending/RunUntil plays the GUI thread.
#pragma once

#include "net/Synchronizer.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace ocelis {

class FakeGuiLoop : public Synchronizer {
public:
    // The constructing thread is the loop's thread.
    FakeGuiLoop();
    ~FakeGuiLoop() override;

    bool Run(const std::function<void()>& fn) override;
    bool Post(std::function<void()> fn) override;
    void Shutdown() override;

    // Runs the calls waiting now; returns how many ran.
    int ProcessPending();
    // Serves calls until pred() holds or the time is up; returns pred()'s last value.
    bool RunUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit);
    // Number of calls served so far.
    int Served() const;
    // Calls waiting to be served.
    std::size_t Pending() const;

private:
    struct Call;
    mutable std::mutex FMutex;
    std::condition_variable FPosted;
    std::deque<std::shared_ptr<Call>> FQueue;
    std::thread::id FOwner;
    bool FClosed = false;
    int FServedCount = 0;
};

} // namespace ocelis
