// The live fetch threads of the process, so that the application can stop them all at exit.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace ocelis {

class FetchWorker {
public:
    FetchWorker();
    virtual ~FetchWorker() = default;
    // Unique over the process's life, unlike the object's address.
    uint64_t Serial() const { return FSerialNumber; }
    // Asks the worker to end soon: sets its terminated flag, wakes its pauses and shuts its
    // socket down so that a blocked read returns at once. Must not block; any thread.
    virtual void RequestStop() = 0;

private:
    uint64_t FSerialNumber;
};

class TFetchThreadRegistry {
public:
    // Never destroyed, so a worker ending during static destruction still finds it.
    static TFetchThreadRegistry& Instance();

    void Add(FetchWorker* w);
    // A worker calls this from its destructor, before its members go.
    void Remove(FetchWorker* w);
    std::size_t Count() const;
    // Waits until no worker is left; false when the time ran out first.
    bool WaitUntilEmpty(std::chrono::milliseconds limit) const;
    // RequestStop to every live worker, then waits for them within the bound.
    bool StopAll(std::chrono::milliseconds bound);

private:
    TFetchThreadRegistry() = default;
    mutable std::mutex FMutex;
    mutable std::condition_variable FChanged;
    std::vector<FetchWorker*> FWorkers;
};

// At application exit, after the event loop has ended: cancels the default hand-over's
// pending and later calls, then stops every live fetch thread within the bound. Returns
// false when some thread was still running when the bound ran out.
bool ShutdownFetchThreads(std::chrono::milliseconds bound = std::chrono::milliseconds(1000));

} // namespace ocelis
