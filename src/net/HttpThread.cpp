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
    if (Refresh.load(std::memory_order_relaxed) >= 0) {
        try {
            FHttp->Request.Referer = Referer;
            FHttp->Head(Url);
            prevLength = ContentLength;
            ContentLength = ocelis::LowInt32(FHttp->Response.ContentLength);
        } catch (...) {
        }
        try {
            FHttp->Disconnect();
        } catch (...) {
        }
    }

    const bool changed = ocelis::HeadShowsChange(FHttp->Response.LastModified, LastModified,
                                                 ContentLength, prevLength) ||
                         Refresh.load(std::memory_order_relaxed) == -1;
    if (changed) {
        FHttp->ReadTimeout = Timing.GetReadTimeout;
        FHttp->RecvBufferSize = 1024;
        Received = 0;
        try {
            PrepareStream();
            FHttp->Request.Referer = Referer;
            FHttp->Get(Url, Stream);
            Received = ContentLength;
            BodyComplete = FHttp->Response.BodyComplete;
            FProgressPending = false;
            CallHandler(&THttpThread::OnProgress);
            CallHandler(&THttpThread::OnImage);
            LastModified = FHttp->Response.LastModified;
        } catch (...) {
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
