#include "net/HttpThread.h"

#include "util/Text.h"

#include <algorithm>
#include <new>

namespace {
// PrevLength before any HEAD has succeeded: a value no answer gives, so that a first cycle
// whose HEAD fails still downloads.
constexpr int32_t kNoLength = -2;
// Largest room made for a body ahead of time.
constexpr int64_t kMaxReservation = int64_t{256} << 20;
} // namespace

THttpThread::THttpThread(std::shared_ptr<ocelis::Synchronizer> sync) : Sync(std::move(sync)) {}

THttpThread::~THttpThread() {
    ocelis::FetchThreadRegistry::Instance().Remove(this);
    // A Terminate from the window may still be inside its critical section.
    { std::lock_guard<std::mutex> lock(SleepMutex); }
    if (Worker.joinable()) {
        RequestStop();
        Worker.join();
    }
}

void THttpThread::Resume() {
    ocelis::FetchThreadRegistry::Instance().Add(this);
    const bool freeSelf = FreeOnTerminate;
    std::thread t([this, freeSelf] {
        Execute();
        if (freeSelf)
            delete this;
    });
    if (freeSelf)
        t.detach();
    else
        Worker = std::move(t);
}

void THttpThread::Terminate() {
    // Under the lock: once the flag is seen the worker may free this object, and its
    // destructor takes the lock first, so nothing here is touched after that.
    std::lock_guard<std::mutex> lock(SleepMutex);
    TerminatedFlag.store(true, std::memory_order_relaxed);
    Wake.notify_all();
}

void THttpThread::RequestStop() {
    StopRequested.store(true);
    {
        std::lock_guard<std::mutex> lock(HttpMutex);
        if (Http)
            Http->Abort();
    }
    Terminate();
}

void THttpThread::WaitFor() {
    if (Worker.joinable())
        Worker.join();
}

void THttpThread::ClearHandlers() {
    OnImage = nullptr;
    OnProgress = nullptr;
    OnTick = nullptr;
}

void THttpThread::Pause(std::chrono::milliseconds d) {
    std::unique_lock<std::mutex> lock(SleepMutex);
    Wake.wait_for(lock, d, [&] { return Terminated(); });
}

void THttpThread::Synchronize(const std::function<void()>& fn) {
    std::shared_ptr<ocelis::Synchronizer> sync = Sync ? Sync : ocelis::DefaultSynchronizer();
    if (!sync)
        return; // no GUI to hand over to: the handlers are not called
    // The GUI loop has ended: nobody is listening any more.
    if (!sync->Run(fn))
        TerminatedFlag.store(true, std::memory_order_relaxed);
}

void THttpThread::CallHandler(THandler THttpThread::*which) {
    // The handler is looked at on the GUI thread, where it is also cleared.
    Synchronize([this, which] {
        if (this->*which)
            (this->*which)(*this);
    });
}

void THttpThread::WorkHandler(int64_t count) {
    Received = ocelis::LowInt32(count);
    // A hand-over per 1 KB portion would wake the GUI and repaint the bar hundreds of times
    // per picture, far more often than a screen can show.
    const auto now = std::chrono::steady_clock::now();
    if (now < FNextProgress) {
        FProgressPending = true;
        return;
    }
    FNextProgress = now + Timing.ProgressInterval;
    HandOverProgress();
}

void THttpThread::HandOverProgress() {
    FProgressPending = false;
    try {
        CallHandler(&THttpThread::OnProgress);
    } catch (...) {
        TerminatedFlag.store(true, std::memory_order_relaxed);
    }
}

void THttpThread::PrepareStream() {
    Stream.clear();
    FNextProgress = {};
    FProgressPending = false;
    // Room for the whole body before it arrives: growing by doubling would, near the size
    // cap, hold the old and the new buffer at once. Only the pages written become resident.
    const int64_t cap = std::min(Http->MaxBodySize, kMaxReservation);
    const int64_t expected = ContentLength > 0 && ContentLength <= cap ? ContentLength : cap + 1;
    if (expected > 0 && Stream.capacity() < static_cast<uint64_t>(expected)) {
        try {
            Stream.reserve(static_cast<std::size_t>(expected));
        } catch (const std::bad_alloc&) {
            // No address space to spare: the body then grows as it comes.
        }
    }
}

void THttpThread::NewClient() {
    auto client = std::make_unique<THttpClient>();
    client->OnWork = [this](THttpClient&, TWorkMode, int64_t count) { WorkHandler(count); };
    // A fresh client's HEAD must not wait for ever either.
    client->ReadTimeout = Timing.HeadReadTimeout;
    client->RequestTimeLimit = Timing.RequestTimeLimit;
    std::lock_guard<std::mutex> lock(HttpMutex);
    if (StopRequested.load())
        client->Abort();
    Http = std::move(client);
}

void THttpThread::Execute() {
    try {
        Stream.clear();
        NewClient();
        LastModified = 0;
        FLastModifiedUtc = ocelis::LocalZeroDateUnix();
        int32_t prevLength = kNoLength;
        while (!Terminated())
            Cycle(prevLength);
    } catch (...) {
        // A failure that escapes a cycle (a throwing tick handler) ends the thread.
    }
    std::lock_guard<std::mutex> lock(HttpMutex);
    Http.reset();
}

void THttpThread::Cycle(int32_t& prevLength) {
    if (Refresh.load(std::memory_order_relaxed) >= 0) {
        try {
            Http->Request.Referer = Referer;
            Http->Head(Url);
            prevLength = ContentLength;
            ContentLength = ocelis::LowInt32(Http->Response.ContentLength);
        } catch (...) {
        }
        try {
            Http->Disconnect();
        } catch (...) {
        }
    }

    const bool changed = Http->Response.LastModifiedUtc > FLastModifiedUtc ||
                         ContentLength != prevLength ||
                         Refresh.load(std::memory_order_relaxed) == -1;
    if (changed) {
        Http->ReadTimeout = Timing.GetReadTimeout;
        Http->RecvBufferSize = 1024;
        Received = 0;
        try {
            PrepareStream();
            Http->Request.Referer = Referer;
            Http->Get(Url, Stream);
            Received = ContentLength;
            BodyComplete = Http->Response.BodyComplete;
            FProgressPending = false;
            CallHandler(&THttpThread::OnProgress);
            CallHandler(&THttpThread::OnImage);
            LastModified = Http->Response.LastModified;
            FLastModifiedUtc = Http->Response.LastModifiedUtc;
        } catch (...) {
            // The bar stays up after a failed GET: it shows the last portion read.
            if (FProgressPending)
                HandOverProgress();
            // A body cut off at the size cap must not stay resident until the next picture.
            std::string().swap(Stream);
            try {
                Http->Disconnect();
                NewClient();
            } catch (...) {
            }
        }
    } else {
        Pause(Timing.UnchangedPause);
    }

    Countdown = Refresh.load(std::memory_order_relaxed);
    while (Countdown > 0 && !Terminated()) {
        CallHandler(&THttpThread::OnTick);
        Pause(Timing.Tick);
        --Countdown;
    }
    if (!Terminated() && Refresh.load(std::memory_order_relaxed) != -1)
        CallHandler(&THttpThread::OnTick);
}
