// The one lifecycle of every background worker: created suspended, started by Resume, freed
// by itself when its loop ends, registered for shutdown, stoppable at any blocking point,
// and handing results to the GUI thread only through its hand-over. Windows hold workers
// through TWorkerRef, which stays safe after the worker has freed itself.
#pragma once

#include "net/FetchThreadRegistry.h"
#include "net/HttpClient.h"
#include "net/Synchronizer.h"
#include "util/DateTime.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

namespace ocelis {

// Intervals and time-outs of the fetch workers; tests shorten them.
struct TFetchTiming {
    std::chrono::milliseconds Tick{1000};           // one countdown second
    std::chrono::milliseconds UnchangedPause{1000}; // extra pause when nothing changed
    int32_t GetReadTimeout = 5000;                  // ms, set before every GET
    int32_t HeadReadTimeout = 5000;                 // ms, a fresh client's connect and HEAD
    std::chrono::milliseconds RequestTimeLimit{60000};
    // A thumbnail's fetch as a whole (connect, HEAD and GET), so that one slow server holds
    // a mosaic thread for no longer.
    std::chrono::milliseconds FetchTimeLimit{15000};
    std::chrono::milliseconds PartTimeLimit{20000}; // each picture of a stream
    int64_t MaxBodySize = int64_t{32} << 20;        // a body, or one picture of a stream
    // Least time between two progress hand-overs of one body: one display frame.
    std::chrono::milliseconds ProgressInterval{16};
};

// The fetch threads' change rule: a HEAD shows a new picture when its date is later than
// the one known or its length differs from the one known.
inline bool HeadShowsChange(const TModifiedDate& head, const TModifiedDate& known,
                            int32_t headLength, int32_t knownLength) {
    return head.LaterThan(known) || headLength != knownLength;
}

// The last picture seen, by its bytes: a picture is new only when they differ.
class TPictureMemory {
public:
    // Whether bytes differ from the last picture seen; remembers them when they do.
    bool IsNew(std::string_view bytes) {
        const std::size_t hash = std::hash<std::string_view>{}(bytes);
        if (FHasLast && hash == FLastHash && bytes.size() == FLastSize)
            return false;
        FHasLast = true;
        FLastHash = hash;
        FLastSize = bytes.size();
        return true;
    }

private:
    bool FHasLast = false;
    std::size_t FLastHash = 0;
    std::size_t FLastSize = 0;
};

// Where a server's HEAD tells nothing (it is refused, or gives neither date nor length), a
// webcam is polled by GET and a picture counts as new only when its bytes differ.
class TChangeByContent {
public:
    // After this many good GETs behind silent HEADs, HEAD is left out for a while.
    static constexpr int32_t kSilentGets = 2;
    static constexpr std::chrono::minutes kHeadAgainAfter{10};

    // Whether this cycle leaves HEAD out.
    bool SkipsHead(std::chrono::steady_clock::time_point now) const {
        return FSilentGets >= kSilentGets && now < FHeadAgainAt;
    }
    // A HEAD that told something ends polling by content.
    void HeadTold() { FSilentGets = 0; }
    // A complete GET after a silent HEAD (or instead of one).
    void SilentGetDone(std::chrono::steady_clock::time_point now) {
        if (++FSilentGets == kSilentGets || (FSilentGets > kSilentGets && now >= FHeadAgainAt))
            FHeadAgainAt = now + kHeadAgainAfter;
    }
    bool IsNew(std::string_view bytes) { return FLast.IsNew(bytes); }

private:
    int32_t FSilentGets = 0;
    std::chrono::steady_clock::time_point FHeadAgainAt{};
    TPictureMemory FLast;
};

// Whether a HEAD's answer or failure tells nothing of the picture: refused with an error
// status, or answered without date and length.
bool HeadIsSilent(const THttpResponse& response, const EHttpError* failure);

class TWorker;

// Shared by a worker and every reference to it; outlives both.
struct TWorkerLink {
    // Recursive: a handler reached through the link may stop its own worker.
    std::recursive_mutex Mutex;
    TWorker* Worker = nullptr; // null once the worker has begun to free itself
};

class TWorker : public FetchWorker {
public:
    // sync null: the process-wide default hand-over.
    explicit TWorker(std::shared_ptr<Synchronizer> sync = nullptr);
    ~TWorker() override;
    TWorker(const TWorker&) = delete;
    TWorker& operator=(const TWorker&) = delete;

    // Set before Resume. Without it the owner must WaitFor before deleting the object: the
    // loop may still use members of the derived class.
    bool FreeOnTerminate = true;

    void Resume();
    // Asks the loop to end after its current step; never waits and never cancels a
    // hand-over, so a result already on its way is still delivered. With FreeOnTerminate
    // the object must not be touched afterwards except through a TWorkerRef.
    void Terminate();
    // Shutdown: also aborts a blocking request, and skips every later hand-over.
    void RequestStop() override;
    bool Terminated() const { return FTerminated.load(std::memory_order_relaxed); }
    bool StopRequested() const { return FStopRequested.load(); }
    // Without FreeOnTerminate: waits for the loop to return.
    void WaitFor();
    // GUI thread: drops the handlers, so nothing is delivered any more.
    virtual void ClearHandlers() {}

    std::shared_ptr<TWorkerLink> Link() const { return FLink; }

protected:
    // The loop; runs on the worker's thread. What it throws ends the worker quietly.
    virtual void Execute() = 0;
    // Shutdown hook for blocking work that is not the worker's client.
    virtual void AbortWork() {}

    // Waits d, or less when the worker is terminated.
    void Pause(std::chrono::milliseconds d);
    // Runs fn on the GUI thread while the worker waits; what fn throws comes back here.
    // False when fn did not run: after RequestStop, without a GUI, or when the GUI loop has
    // ended (the worker is then terminated).
    bool Synchronize(const std::function<void()>& fn);
    // Non-blocking hand-over of the newest value: fn replaces a call not yet delivered, and
    // runs on the GUI thread with the worker while the worker still exists.
    void PostLatest(std::function<void(TWorker&)> fn);

    // A fresh client with the timing's connect and whole-request bounds, made the one that
    // RequestStop aborts; the previous one goes. Every client of the worker shares its
    // authentication cache, so a failed GET does not cost the next one a challenge.
    THttpClient& NewClient(const TFetchTiming& timing);
    void DropClient();
    // While on, Terminate also aborts the client: a stream has no end of its own to wait
    // for. Returns whether the worker is terminated already.
    bool AbortOnTerminate(bool on);

private:
    void Run();
    void Unlink();
    std::shared_ptr<Synchronizer> HandOver() const;

    std::shared_ptr<Synchronizer> FSync;
    std::shared_ptr<TWorkerLink> FLink;
    std::unique_ptr<THttpClient> FHttp;
    std::shared_ptr<THttpAuthCache> FAuthCache = std::make_shared<THttpAuthCache>();
    std::mutex FHttpMutex; // guards the FHttp pointer against RequestStop
    std::mutex FSleepMutex;
    std::condition_variable FWake;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FStopRequested{false};
    bool FAbortOnTerminate = false; // guarded by FSleepMutex
    std::thread FThread;
    bool FUnlinked = false;
    // The newest undelivered value of PostLatest, shared with the posted call.
    struct TLatest {
        std::mutex Mutex;
        std::function<void(TWorker&)> Fn;
    };
    std::shared_ptr<TLatest> FLatest;
};

// A window's reference to its worker. GUI thread only.
template <class W> class TWorkerRef {
public:
    TWorkerRef() = default;
    explicit TWorkerRef(W* worker) : FLink(worker ? worker->Link() : nullptr) {}

    // Referred to, not freed and not terminated.
    bool Alive() const {
        bool alive = false;
        With([&](W& w) { alive = !w.Terminated(); });
        return alive;
    }
    // Referred to and not freed (it may still deliver).
    bool Exists() const {
        return With([](W&) {});
    }
    explicit operator bool() const { return Alive(); }
    // Runs fn with the worker while it cannot go away; false when it is gone.
    template <class F> bool With(F&& fn) const {
        if (!FLink)
            return false;
        std::lock_guard<std::recursive_mutex> lock(FLink->Mutex);
        if (!FLink->Worker)
            return false;
        fn(static_cast<W&>(*FLink->Worker));
        return true;
    }
    // Drops the handlers, terminates and forgets; no wait.
    void Stop() {
        With([](W& w) {
            w.ClearHandlers();
            w.Terminate();
        });
        FLink.reset();
    }
    // Terminates and forgets, leaving the handlers: a result on its way still arrives.
    void Terminate() {
        With([](W& w) { w.Terminate(); });
        FLink.reset();
    }
    void Forget() { FLink.reset(); }

private:
    std::shared_ptr<TWorkerLink> FLink;
};

} // namespace ocelis
