// The background worker of one viewer window: polls one image URL, hands new images and
// the countdown to the window on the GUI thread, and frees itself when it ends.
#pragma once

#include "net/FetchThreadRegistry.h"
#include "net/HttpClient.h"
#include "net/Synchronizer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class THttpThread : public ocelis::FetchWorker {
public:
    using THandler = std::function<void(THttpThread& sender)>;

    // Intervals and time-outs; tests shorten them.
    struct TTiming {
        std::chrono::milliseconds Tick{1000};           // one countdown second
        std::chrono::milliseconds UnchangedPause{1000}; // extra pause when nothing changed
        int32_t GetReadTimeout = 5000;                  // ms, set before every GET
        int32_t HeadReadTimeout = 5000;                 // ms, a fresh client's HEAD
        std::chrono::milliseconds RequestTimeLimit{60000};
        // Least time between two progress hand-overs of one body: one display frame. The
        // first portion and the complete length are always handed over.
        std::chrono::milliseconds ProgressInterval{16};
    };

    // Created suspended. sync null: the process-wide default hand-over.
    explicit THttpThread(std::shared_ptr<ocelis::Synchronizer> sync = nullptr);
    ~THttpThread() override;
    THttpThread(const THttpThread&) = delete;
    THttpThread& operator=(const THttpThread&) = delete;

    // Set before Resume. Handlers run on the GUI thread with the worker waiting; they may
    // read Stream, ContentLength, Received and Countdown. Clear them on the GUI thread only.
    THandler OnImage;
    THandler OnProgress;
    THandler OnTick;
    std::string Url;
    std::string Referer;
    std::atomic<int32_t> Refresh{0}; // seconds; 0 always refresh; -1 brute refresh
    bool FreeOnTerminate = true;
    TTiming Timing;

    void Resume();
    // Asks the thread to end after its current step; never waits. With FreeOnTerminate the
    // object must not be touched afterwards.
    void Terminate();
    bool Terminated() const { return TerminatedFlag.load(std::memory_order_relaxed); }
    // Without FreeOnTerminate: waits for the thread function to return.
    void WaitFor();
    void ClearHandlers();

    void RequestStop() override;

    // Read by the handlers.
    std::string Stream;
    int32_t Received = 0;
    int32_t ContentLength = 0;
    int32_t Countdown = 0;
    ocelis::TDateTime LastModified = 0;
    // False when the last GET's server closed before the end of the body it announced.
    bool BodyComplete = true;

private:
    void Execute();
    void Cycle(int32_t& prevLength);
    void Synchronize(const std::function<void()>& fn);
    void CallHandler(THandler THttpThread::*which);
    void WorkHandler(int64_t count);
    void HandOverProgress();
    void PrepareStream();
    void NewClient();
    void Pause(std::chrono::milliseconds d);

    std::shared_ptr<ocelis::Synchronizer> Sync;
    std::unique_ptr<THttpClient> Http;
    std::mutex HttpMutex; // guards the Http pointer against RequestStop
    std::mutex SleepMutex;
    std::condition_variable Wake;
    std::atomic<bool> TerminatedFlag{false};
    std::atomic<bool> StopRequested{false};
    std::thread Worker;
    // LastModified as a UTC instant: the change test must not jump with the local offset.
    std::time_t FLastModifiedUtc = 0;
    // Progress of the running GET: when the next portion may be handed over, and whether a
    // portion read since the last hand-over is still unseen.
    std::chrono::steady_clock::time_point FNextProgress;
    bool FProgressPending = false;
};
