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

THttpThread::THttpThread(std::shared_ptr<ocelis::Synchronizer> sync) : TWorker(std::move(sync)) {}

void THttpThread::ClearHandlers() {
    OnImage = nullptr;
    OnProgress = nullptr;
    OnTick = nullptr;
    OnFetched = nullptr;
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
    if (FQuietProgress)
        return;
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
        Terminate();
    }
}

void THttpThread::PrepareStream() {
    Stream.clear();
    FNextProgress = {};
    FProgressPending = false;
    // Room for the whole body before it arrives: growing by doubling would, near the size
    // cap, hold the old and the new buffer at once. Only the pages written become resident.
    const int64_t cap = std::min(FHttp->MaxBodySize, kMaxReservation);
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
    FHttp = &TWorker::NewClient(Timing);
    FHttp->OnWork = [this](THttpClient&, TWorkMode, int64_t count) { WorkHandler(count); };
}

void THttpThread::Execute() {
    Stream.clear();
    NewClient();
    LastModified = {};
    int32_t prevLength = kNoLength;
    // A failure that escapes a cycle (a throwing tick handler) ends the thread.
    while (!Terminated())
        Cycle(prevLength);
}

void THttpThread::Cycle(int32_t& prevLength) {
    const auto now = std::chrono::steady_clock::now();
    const bool brute = Refresh.load(std::memory_order_relaxed) == -1;
    bool silent = FContent.SkipsHead(now);
    std::optional<ocelis::TFetchFailure> failure;
    if (!brute && !silent) {
        try {
            FHttp->Request.Referer = Referer;
            FHttp->Head(Url);
            prevLength = ContentLength;
            ContentLength = ocelis::LowInt32(FHttp->Response.ContentLength);
            silent = ocelis::HeadIsSilent(FHttp->Response, nullptr);
            if (!silent)
                FContent.HeadTold();
        } catch (const EHttpError& e) {
            silent = ocelis::HeadIsSilent(FHttp->Response, &e);
            // A server without HEAD is asked by GET, which then tells.
            if (!silent)
                failure = ocelis::TFetchFailure::From(e);
        } catch (...) {
            failure = ocelis::TFetchFailure{};
        }
        try {
            FHttp->Disconnect();
        } catch (...) {
        }
    }

    bool fresh = false;
    const bool changed = silent || brute ||
                         ocelis::HeadShowsChange(FHttp->Response.LastModified, LastModified,
                                                 ContentLength, prevLength);
    if (changed) {
        FHttp->ReadTimeout = Timing.GetReadTimeout;
        FHttp->RecvBufferSize = 1024;
        Received = 0;
        failure.reset();
        try {
            PrepareStream();
            // Whether the picture is new is known only at its end.
            FQuietProgress = silent;
            FHttp->Request.Referer = Referer;
            FHttp->Get(Url, Stream);
            FQuietProgress = false;
            if (silent)
                ContentLength = ocelis::LowInt32(FHttp->Response.ContentLength);
            Received = ContentLength;
            BodyComplete = FHttp->Response.BodyComplete;
            fresh = !BodyComplete || FContent.IsNew(Stream);
            if (BodyComplete && silent)
                FContent.SilentGetDone(now);
            if (fresh || !silent) {
                FProgressPending = false;
                CallHandler(&THttpThread::OnProgress);
                CallHandler(&THttpThread::OnImage);
            }
            if (BodyComplete)
                LastModified = FHttp->Response.LastModified;
            else
                ContentLength = prevLength; // cut short: the next cycle asks again
        } catch (...) {
            failure = ocelis::CurrentFetchFailure();
            FQuietProgress = false;
            ContentLength = prevLength;
            // The bar stays up after a failed GET: it shows the last portion read.
            if (FProgressPending)
                HandOverProgress();
            // A body cut off at the size cap must not stay resident until the next picture.
            std::string().swap(Stream);
            try {
                FHttp->Disconnect();
                NewClient();
            } catch (...) {
            }
        }
    }
    Failure = std::move(failure);
    CallHandler(&THttpThread::OnFetched);
    if (!changed || (silent && !fresh))
        Pause(Timing.UnchangedPause);

    Countdown = Refresh.load(std::memory_order_relaxed);
    while (Countdown > 0 && !Terminated()) {
        CallHandler(&THttpThread::OnTick);
        Pause(Timing.Tick);
        --Countdown;
    }
    if (!Terminated() && Refresh.load(std::memory_order_relaxed) != -1)
        CallHandler(&THttpThread::OnTick);
}
