#include "net/Worker.h"

namespace ocelis {

bool HeadIsSilent(const THttpResponse& response, const EHttpError* failure) {
    if (failure)
        return failure->Code >= 400;
    return !response.HasHeader("Last-Modified") && !response.HasHeader("Content-Length");
}

TWorker::TWorker(std::shared_ptr<Synchronizer> sync)
    : FSync(std::move(sync)), FLink(std::make_shared<TWorkerLink>()),
      FLatest(std::make_shared<TLatest>()) {
    FLink->Worker = this;
}

TWorker::~TWorker() {
    Unlink();
    // A Terminate from another thread may still be inside its critical section.
    { std::lock_guard<std::mutex> lock(FSleepMutex); }
    if (FThread.joinable()) {
        RequestStop();
        FThread.join();
    }
}

void TWorker::Unlink() {
    if (FUnlinked)
        return;
    FUnlinked = true;
    {
        // Before any member goes: a reference must not reach a half-destroyed worker.
        std::lock_guard<std::recursive_mutex> lock(FLink->Mutex);
        FLink->Worker = nullptr;
    }
    TFetchThreadRegistry::Instance().Remove(this);
}

void TWorker::Resume() {
    TFetchThreadRegistry::Instance().Add(this);
    const bool freeSelf = FreeOnTerminate;
    std::thread t([this, freeSelf] {
        Run();
        if (freeSelf) {
            Unlink();
            delete this;
        }
    });
    if (freeSelf)
        t.detach();
    else
        FThread = std::move(t);
}

void TWorker::Run() {
    try {
        Execute();
    } catch (...) {
        // Nothing leaves the worker's thread.
    }
    DropClient();
}

void TWorker::Terminate() {
    // Under the lock: once the flag is seen the worker may free itself, and its destructor
    // takes the lock first, so nothing here is touched after that.
    std::lock_guard<std::mutex> lock(FSleepMutex);
    if (FAbortOnTerminate) {
        std::lock_guard<std::mutex> httpLock(FHttpMutex);
        if (FHttp)
            FHttp->Abort();
    }
    FTerminated.store(true, std::memory_order_relaxed);
    FWake.notify_all();
}

bool TWorker::AbortOnTerminate(bool on) {
    std::lock_guard<std::mutex> lock(FSleepMutex);
    FAbortOnTerminate = on;
    return Terminated();
}

void TWorker::RequestStop() {
    FStopRequested.store(true);
    {
        std::lock_guard<std::mutex> lock(FHttpMutex);
        if (FHttp)
            FHttp->Abort();
    }
    AbortWork();
    Terminate();
}

void TWorker::WaitFor() {
    if (FThread.joinable())
        FThread.join();
}

void TWorker::Pause(std::chrono::milliseconds d) {
    std::unique_lock<std::mutex> lock(FSleepMutex);
    FWake.wait_for(lock, d, [&] { return Terminated(); });
}

std::shared_ptr<Synchronizer> TWorker::HandOver() const {
    return FSync ? FSync : DefaultSynchronizer();
}

bool TWorker::Synchronize(const std::function<void()>& fn) {
    if (StopRequested())
        return false;
    const std::shared_ptr<Synchronizer> sync = HandOver();
    if (!sync)
        return false;
    bool ran = false;
    // A stop may come while the call waits for the GUI thread.
    const bool served = sync->Run([&] {
        if (StopRequested())
            return;
        ran = true;
        fn();
    });
    if (served)
        return ran;
    // The GUI loop has ended: nobody is listening any more.
    FTerminated.store(true, std::memory_order_relaxed);
    return false;
}

void TWorker::PostLatest(std::function<void(TWorker&)> fn) {
    if (StopRequested())
        return;
    const std::shared_ptr<Synchronizer> sync = HandOver();
    if (!sync)
        return;
    {
        std::lock_guard<std::mutex> lock(FLatest->Mutex);
        const bool queued = static_cast<bool>(FLatest->Fn);
        FLatest->Fn = std::move(fn);
        if (queued)
            return; // the call on its way takes the newer value
    }
    sync->Post([latest = FLatest, link = FLink] {
        std::function<void(TWorker&)> take;
        {
            std::lock_guard<std::mutex> lock(latest->Mutex);
            take.swap(latest->Fn);
        }
        std::lock_guard<std::recursive_mutex> lock(link->Mutex);
        if (take && link->Worker)
            take(*link->Worker);
    });
}

THttpClient& TWorker::NewClient(const TFetchTiming& timing) {
    auto client = std::make_unique<THttpClient>();
    // A fresh client would connect and read without a bound until its first GET sets one.
    client->ReadTimeout = timing.HeadReadTimeout;
    client->RequestTimeLimit = timing.RequestTimeLimit;
    client->PartTimeLimit = timing.PartTimeLimit;
    client->MaxBodySize = timing.MaxBodySize;
    client->AuthCache = FAuthCache;
    std::lock_guard<std::mutex> lock(FHttpMutex);
    if (FStopRequested.load())
        client->Abort();
    FHttp = std::move(client);
    return *FHttp;
}

void TWorker::DropClient() {
    std::unique_ptr<THttpClient> gone;
    std::lock_guard<std::mutex> lock(FHttpMutex);
    gone = std::move(FHttp);
}

} // namespace ocelis
