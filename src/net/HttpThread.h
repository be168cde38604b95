// The background worker of one viewer window: polls one image URL, hands new images and
// the countdown to the window on the GUI thread, and frees itself when it ends.
#pragma once

#include "net/HttpClient.h"
#include "net/WebcamHealth.h"
#include "net/Worker.h"
#include "util/DateTime.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class THttpThread : public ocelis::TWorker {
public:
    using THandler = std::function<void(THttpThread& sender)>;
    using TTiming = ocelis::TFetchTiming;

    // Created suspended. sync null: the process-wide default hand-over.
    explicit THttpThread(std::shared_ptr<ocelis::Synchronizer> sync = nullptr);

    // Set before Resume. Handlers run on the GUI thread with the worker waiting; they may
    // read Stream, ContentLength, Received and Countdown. Clear them on the GUI thread only.
    THandler OnImage;
    THandler OnProgress;
    THandler OnTick;
    // After each fetch: Failure tells whether it failed and how.
    THandler OnFetched;
    std::string Url;
    std::string Referer;
    std::atomic<int32_t> Refresh{0}; // seconds; 0 always refresh; -1 brute refresh
    TTiming Timing;

    void ClearHandlers() override;

    // Read by the handlers.
    std::string Stream;
    int32_t Received = 0;
    int32_t ContentLength = 0;
    int32_t Countdown = 0;
    ocelis::TModifiedDate LastModified;
    // False when the last GET's server closed before the end of the body it announced.
    bool BodyComplete = true;
    // The last fetch's failure; empty when it was answered.
    std::optional<ocelis::TFetchFailure> Failure;
    // The URL has answered with a stream of pictures: no HEAD is sent to it any more.
    bool Streams() const { return FStreams; }

protected:
    void Execute() override;

private:
    void Cycle(int32_t& prevLength);
    void CallHandler(THandler THttpThread::*which);
    void WorkHandler(int64_t count);
    void HandOverProgress();
    void PrepareStream();
    void NewClient();
    // A stream kept open (Refresh 0 to 9, or brute) until it fails or the interval leaves
    // that range.
    void RunStream(int32_t refresh);
    bool TakePart(ocelis::TMultipartPart& part);
    void StreamTick();
    void HandOverNewest();
    void TakePosted(std::string& picture);
    void RunCountdown();
    void RenewClient();
    void TellFetched(std::optional<ocelis::TFetchFailure> failure);

    THttpClient* FHttp = nullptr; // the worker's client of the moment
    // Progress of the running GET: when the next portion may be handed over, and whether a
    // portion read since the last hand-over is still unseen.
    std::chrono::steady_clock::time_point FNextProgress;
    bool FProgressPending = false;
    bool FQuietProgress = false;
    ocelis::TChangeByContent FContent;
    bool FStreams = false;
    // The running stream: its interval, the newest picture not yet handed over, and when the
    // next second of its countdown is due.
    bool FInStream = false;
    int32_t FStreamRefresh = 0;
    std::string FNewest;
    bool FHasNewest = false;
    bool FFirstPart = false;
    std::chrono::steady_clock::time_point FNextTick;
};
