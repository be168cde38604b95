#include "support/FakeGuiLoop.h"

#include <exception>

namespace ocelis {

struct FakeGuiLoop::Call {
    const std::function<void()>* Fn = nullptr;
    std::function<void()> Posted; // a call nobody waits for
    bool Done = false;
    bool Cancelled = false;
    std::exception_ptr Error;
    std::condition_variable Finished;
};

FakeGuiLoop::FakeGuiLoop() : FOwner(std::this_thread::get_id()) {}

FakeGuiLoop::~FakeGuiLoop() {
    Shutdown();
}

bool FakeGuiLoop::Run(const std::function<void()>& fn) {
    if (std::this_thread::get_id() == FOwner) {
        fn();
        return true;
    }
    auto call = std::make_shared<Call>();
    call->Fn = &fn;
    std::unique_lock<std::mutex> lock(FMutex);
    if (FClosed)
        return false;
    FQueue.push_back(call);
    FPosted.notify_all();
    call->Finished.wait(lock, [&] { return call->Done || call->Cancelled; });
    if (call->Cancelled)
        return false;
    // Taken out, so that only this thread holds the exception when the call is freed.
    std::exception_ptr error = std::move(call->Error);
    lock.unlock();
    if (error)
        std::rethrow_exception(error);
    return true;
}

bool FakeGuiLoop::Post(std::function<void()> fn) {
    auto call = std::make_shared<Call>();
    call->Posted = std::move(fn);
    std::lock_guard<std::mutex> lock(FMutex);
    if (FClosed)
        return false;
    FQueue.push_back(std::move(call));
    FPosted.notify_all();
    return true;
}

void FakeGuiLoop::Shutdown() {
    std::lock_guard<std::mutex> lock(FMutex);
    FClosed = true;
    for (auto& call : FQueue) {
        call->Cancelled = true;
        call->Finished.notify_all();
    }
    FQueue.clear();
}

int FakeGuiLoop::ProcessPending() {
    std::size_t waiting;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        waiting = FQueue.size();
    }
    int ran = 0;
    // Only the calls waiting now, so that a busy worker cannot keep us here.
    for (std::size_t i = 0; i < waiting; ++i) {
        std::shared_ptr<Call> call;
        {
            std::lock_guard<std::mutex> lock(FMutex);
            if (FQueue.empty())
                break;
            call = FQueue.front();
            FQueue.pop_front();
        }
        std::exception_ptr error;
        try {
            if (call->Posted)
                call->Posted();
            else
                (*call->Fn)();
        } catch (...) {
            if (!call->Posted)
                error = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(FMutex);
        call->Error = std::move(error);
        call->Done = true;
        ++FServedCount;
        call->Finished.notify_all();
        ++ran;
    }
    return ran;
}

bool FakeGuiLoop::RunUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        ProcessPending();
        if (pred())
            return true;
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return false;
        std::unique_lock<std::mutex> lock(FMutex);
        // Some conditions are not announced by a hand-over, so look again every few ms.
        FPosted.wait_for(lock,
                         std::min<std::chrono::steady_clock::duration>(
                             deadline - now, std::chrono::milliseconds(2)),
                         [&] { return !FQueue.empty(); });
    }
}

std::size_t FakeGuiLoop::Pending() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FQueue.size();
}

int FakeGuiLoop::Served() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FServedCount;
}

} // namespace ocelis
