#include "net/FetchThreadRegistry.h"

#include "net/Synchronizer.h"

#include <algorithm>
#include <atomic>

namespace ocelis {

FetchWorker::FetchWorker() {
    static std::atomic<uint64_t> next{1};
    FSerialNumber = next.fetch_add(1);
}

TFetchThreadRegistry& TFetchThreadRegistry::Instance() {
    static auto* registry = new TFetchThreadRegistry();
    return *registry;
}

void TFetchThreadRegistry::Add(FetchWorker* w) {
    std::lock_guard<std::mutex> lock(FMutex);
    FWorkers.push_back(w);
    FChanged.notify_all();
}

void TFetchThreadRegistry::Remove(FetchWorker* w) {
    std::lock_guard<std::mutex> lock(FMutex);
    FWorkers.erase(std::remove(FWorkers.begin(), FWorkers.end(), w), FWorkers.end());
    FChanged.notify_all();
}

std::size_t TFetchThreadRegistry::Count() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FWorkers.size();
}

bool TFetchThreadRegistry::WaitUntilEmpty(std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(FMutex);
    return FChanged.wait_for(lock, limit, [&] { return FWorkers.empty(); });
}

bool TFetchThreadRegistry::StopAll(std::chrono::milliseconds bound) {
    {
        // Under the lock, so that no worker can be freed while it is being asked.
        std::lock_guard<std::mutex> lock(FMutex);
        for (FetchWorker* w : FWorkers)
            w->RequestStop();
    }
    return WaitUntilEmpty(bound);
}

bool ShutdownFetchThreads(std::chrono::milliseconds bound) {
    if (auto sync = DefaultSynchronizer())
        sync->Shutdown();
    return TFetchThreadRegistry::Instance().StopAll(bound);
}

} // namespace ocelis
