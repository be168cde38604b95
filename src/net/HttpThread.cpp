#include "net/HttpThread.h"

#include "util/Text.h"

#include <algorithm>
#include <memory>
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
    if (FInStream) {
        // Posted pictures may be reading Received on the GUI thread right now.
        if (FStreamRefresh > 0)
            StreamTick();
        return;
    }
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

namespace {
// Intervals for which a stream stays open: the newest picture every few seconds, or every
// picture.
bool KeepsStreamOpen(int32_t refresh) {
    return refresh >= -1 && refresh <= 9;
}
// Both intervals read a stream the same way.
bool SameStreamMode(int32_t a, int32_t b) {
    return (a <= 0) == (b <= 0);
}
} // namespace

void THttpThread::Cycle(int32_t& prevLength) {
    const auto now = std::chrono::steady_clock::now();
    const int32_t refresh = Refresh.load(std::memory_order_relaxed);
    if (FStreams && KeepsStreamOpen(refresh)) {
        RunStream(refresh);
        return;
    }
    const bool brute = refresh == -1;
    // Many stream servers answer HEAD with the stream itself, or not at all.
    bool silent = FContent.SkipsHead(now) || FStreams;
    std::optional<ocelis::TFetchFailure> failure;
    if (!brute && !silent) {
        try {
            FHttp->Request.Referer = Referer;
            FHttp->Head(Url);
            prevLength = ContentLength;
            ContentLength = ocelis::LowInt32(FHttp->Response.ContentLength);
            silent = ocelis::HeadIsSilent(FHttp->Response, nullptr);
            if (ocelis::StreamBoundary(FHttp->Response.Header("Content-Type"))) {
                FStreams = true;
                silent = true;
            }
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
            // The first picture of a stream may be long in coming: Terminate does not wait.
            if (FStreams && AbortOnTerminate(true))
                throw EHttpError("terminated", THttpFailure::Aborted);
            FHttp->Get(Url, Stream);
            AbortOnTerminate(false);
            FQuietProgress = false;
            FStreams = FStreams || FHttp->Response.Streamed;
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
            AbortOnTerminate(false);
            FQuietProgress = false;
            FStreams = FStreams || FHttp->Response.Streamed;
            ContentLength = prevLength;
            // The bar stays up after a failed GET: it shows the last portion read.
            if (FProgressPending)
                HandOverProgress();
            // A body cut off at the size cap must not stay resident until the next picture.
            std::string().swap(Stream);
            RenewClient();
        }
    }
    TellFetched(std::move(failure));
    if (!changed || (silent && !fresh))
        Pause(Timing.UnchangedPause);
    RunCountdown();
}

void THttpThread::RenewClient() {
    // A failed request may leave the connection mid-answer: the next one starts afresh.
    try {
        FHttp->Disconnect();
        NewClient();
    } catch (...) {
    }
}

void THttpThread::TellFetched(std::optional<ocelis::TFetchFailure> failure) {
    Failure = std::move(failure);
    CallHandler(&THttpThread::OnFetched);
}

void THttpThread::RunCountdown() {
    Countdown = Refresh.load(std::memory_order_relaxed);
    while (Countdown > 0 && !Terminated()) {
        CallHandler(&THttpThread::OnTick);
        Pause(Timing.Tick);
        --Countdown;
    }
    if (!Terminated() && Refresh.load(std::memory_order_relaxed) != -1)
        CallHandler(&THttpThread::OnTick);
}

void THttpThread::RunStream(int32_t refresh) {
    FHttp->ReadTimeout = Timing.GetReadTimeout;
    // Larger reads than a picture's: a stream brings many pictures a second.
    FHttp->RecvBufferSize = 16384;
    FHttp->Request.Referer = Referer;
    FHttp->OnPart = [this](ocelis::TMultipartPart& part) { return TakePart(part); };
    FStreamRefresh = refresh;
    FNewest.clear();
    FHasNewest = false;
    FFirstPart = true;
    Countdown = refresh;
    FNextTick = std::chrono::steady_clock::now() + Timing.Tick;
    FInStream = true;
    bool ended = false;
    std::optional<ocelis::TFetchFailure> failure;
    if (!AbortOnTerminate(true)) {
        try {
            std::string none;
            FHttp->Get(Url, none);
            ended = true;
        } catch (...) {
            failure = ocelis::CurrentFetchFailure();
        }
    }
    AbortOnTerminate(false);
    FHttp->OnPart = nullptr;
    // Posted pictures use the worker's fields on the GUI thread: none may still be on its
    // way when the worker uses them again.
    if (refresh <= 0)
        Synchronize([] {});
    FInStream = false;
    std::string().swap(FNewest);
    FHasNewest = false;
    if (ended || Terminated())
        return; // the interval left the stream's range: the next cycle reads it its way
    RenewClient();
    // A stream that ended or stalled is a failed fetch: the next cycle connects again.
    TellFetched(std::move(failure));
    if (refresh <= 0)
        Pause(Timing.UnchangedPause);
    else
        RunCountdown();
}

bool THttpThread::TakePart(ocelis::TMultipartPart& part) {
    const int32_t refresh = Refresh.load(std::memory_order_relaxed);
    if (Terminated() || !KeepsStreamOpen(refresh) || !SameStreamMode(refresh, FStreamRefresh))
        return false;
    if (FStreamRefresh <= 0) {
        // Never waits for the GUI: a busy window drops pictures instead of queueing them.
        auto picture = std::make_shared<std::string>(std::move(part.Bytes));
        PostLatest([picture](TWorker& w) { static_cast<THttpThread&>(w).TakePosted(*picture); });
        return true;
    }
    FNewest.swap(part.Bytes);
    FHasNewest = true;
    if (FFirstPart) {
        FFirstPart = false;
        HandOverNewest();
        CallHandler(&THttpThread::OnTick);
    }
    StreamTick();
    return !Terminated();
}

void THttpThread::TakePosted(std::string& picture) {
    Stream.swap(picture);
    BodyComplete = true;
    ContentLength = Received = ocelis::LowInt32(static_cast<int64_t>(Stream.size()));
    if (OnImage)
        OnImage(*this);
}

void THttpThread::HandOverNewest() {
    if (!FHasNewest)
        return;
    Stream.swap(FNewest);
    std::string().swap(FNewest);
    FHasNewest = false;
    BodyComplete = true;
    ContentLength = Received = ocelis::LowInt32(static_cast<int64_t>(Stream.size()));
    CallHandler(&THttpThread::OnImage);
    // Its room serves the next picture; the stream holds two pictures at most.
    FNewest.swap(Stream);
    FNewest.clear();
}

void THttpThread::StreamTick() {
    const auto now = std::chrono::steady_clock::now();
    if (now < FNextTick || Terminated())
        return;
    FNextTick = now + Timing.Tick;
    try {
        if (--Countdown <= 0) {
            Countdown = 0;
            CallHandler(&THttpThread::OnTick);
            HandOverNewest();
            Countdown = std::max(Refresh.load(std::memory_order_relaxed), 1);
        }
        CallHandler(&THttpThread::OnTick);
    } catch (...) {
        Terminate();
    }
}
