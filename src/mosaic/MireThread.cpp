#include "mosaic/MireThread.h"

#include "imaging/Jpeg.h"
#include "util/Text.h"

#include <algorithm>
#include <thread>

namespace {
// A buffer that once held a very large body is not kept at that size for the next webcam.
constexpr std::size_t kKeptCapacity = std::size_t{4} << 20;
} // namespace

TMireThread::TMireThread(std::shared_ptr<ocelis::Synchronizer> sync) : TWorker(std::move(sync)) {}

void TMireThread::ClearHandlers() {
    OnImage = nullptr;
    OnNext = nullptr;
}

void TMireThread::NewClient() {
    FHttp = &TWorker::NewClient(Timing);
}

void TMireThread::CallHandler(TCallback TMireThread::*which) {
    // The test for an empty callback is made on the GUI thread, where it is also cleared.
    Synchronize([this, which] {
        if (this->*which)
            (this->*which)(*this);
    });
}

void TMireThread::Execute() {
    Data.clear();
    NewClient();
    if (Queue) {
        ScheduledLoop();
        return;
    }
    while (!Terminated())
        Iteration();
}

void TMireThread::AbortWork() {
    if (Queue)
        Queue->Wake();
}

bool TMireThread::TakeFirst() {
    if (!Queue)
        return false;
    FTicket = Queue->TryTake();
    if (FTicket)
        Index = static_cast<int32_t>(FTicket->Index);
    return FTicket.has_value();
}

void TMireThread::ScheduledLoop() {
    const auto stop = [this] { return Terminated() || StopRequested(); };
    // FTicket: taken before Resume, its inputs filled in already.
    while (!stop()) {
        if (!FTicket) {
            FTicket = Queue->Take(stop);
            if (!FTicket)
                return;
            Index = static_cast<int32_t>(FTicket->Index);
            CallHandler(&TMireThread::OnNext);
            if (stop())
                break;
        }
        FetchCell();
        CallHandler(&TMireThread::OnImage);
        Queue->Done(*FTicket, Answered);
        FTicket.reset();
    }
    if (FTicket)
        Queue->Release(*FTicket);
}

void TMireThread::Fail(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const EHttpError& e) {
        FailKind = e.Kind;
        FailReason = ocelis::FailureReason(e);
    } catch (const std::exception& e) {
        FailKind = THttpFailure::Other;
        FailReason = e.what();
    } catch (...) {
        FailKind = THttpFailure::Other;
        FailReason = "request failed";
    }
}

bool TMireThread::Head() {
    try {
        if (FHttp->Connected())
            FHttp->Disconnect();
    } catch (...) {
    }
    Answered = false;
    FailReason.clear();
    bool silent = false;
    try {
        FHttp->RequestTimeLimit = Timing.FetchTimeLimit;
        FHttp->Head(Url);
        Answered = true;
        silent = ocelis::HeadIsSilent(FHttp->Response, nullptr);
    } catch (const EHttpError& e) {
        silent = ocelis::HeadIsSilent(FHttp->Response, &e);
        Fail(std::current_exception());
    } catch (...) {
        Fail(std::current_exception());
    }
    try {
        FHttp->Disconnect();
    } catch (...) {
    }
    return silent;
}

void TMireThread::Fetch(bool headAnswered) {
    FHttp->ReadTimeout = Timing.GetReadTimeout;
    FHttp->RecvBufferSize = 1024;
    const ocelis::TModifiedDate knownDate = LastModified;
    const int32_t knownLength = ContentLength;
    if (headAnswered)
        ContentLength = ocelis::LowInt32(FHttp->Response.ContentLength);
    Downloaded = true;
    Answered = false;
    FailReason.clear();
    try {
        // What the HEAD left of the fetch's bound (at least a moment, so the GET fails
        // as a time-out).
        FHttp->RequestTimeLimit = std::max(std::chrono::milliseconds(1),
                                           std::chrono::duration_cast<std::chrono::milliseconds>(
                                               FFetchEnd - std::chrono::steady_clock::now()));
        FHttp->Request.Referer = Referer;
        FHttp->Get(Url, Data);
        BodyComplete = FHttp->Response.BodyComplete;
        Answered = true;
        if (BodyComplete) {
            LastModified = FHttp->Response.LastModified;
        } else {
            // Cut short: the next pass asks again.
            LastModified = knownDate;
            ContentLength = knownLength;
        }
        return;
    } catch (...) {
        Fail(std::current_exception());
    }
    // A failed GET costs the client; the buffer keeps what had arrived.
    BodyComplete = false;
    try {
        FHttp->Disconnect();
    } catch (...) {
    }
    NewClient();
}

void TMireThread::DecodePicture() {
    if (PictureWidth <= 0 || PictureHeight <= 0 || !Answered || Data.empty())
        return;
    if (!BodyComplete) {
        PictureFailed = PictureCutShort = true;
        return;
    }
    try {
        const ocelis::TJpegInfo info = ocelis::ReadJpegInfo(Data);
        int32_t w = 0, h = 0;
        ocelis::FitSize(info.Width, info.Height, PictureWidth, PictureHeight, w, h);
        Picture = ocelis::DecodeJpegScaled(Data, w, h);
        FullWidth = info.Width;
        FullHeight = info.Height;
    } catch (const ocelis::EJpegTruncatedError&) {
        PictureFailed = PictureCutShort = true;
    } catch (...) {
        PictureFailed = true;
    }
}

void TMireThread::Iteration() {
    FetchCell();
    CallHandler(&TMireThread::OnImage);
    CallHandler(&TMireThread::OnNext);
}

void TMireThread::FetchCell() {
    const auto now = std::chrono::steady_clock::now();
    FFetchEnd = now + Timing.FetchTimeLimit;
    const bool skipHead = Content.SkipsHead(now);
    bool silent = skipHead;
    if (skipHead) {
        Answered = false;
        FailReason.clear();
    } else {
        silent = Head();
        if (Answered && !silent)
            Content.HeadTold();
    }
    if (Data.capacity() > kKeptCapacity)
        std::string().swap(Data);
    Data.clear();
    Downloaded = false;
    Unchanged = false;
    BodyComplete = true;
    Picture = {};
    FullWidth = FullHeight = 0;
    PictureFailed = PictureCutShort = false;

    const bool changed =
        silent ||
        ocelis::HeadShowsChange(FHttp->Response.LastModified, LastModified,
                                ocelis::LowInt32(FHttp->Response.ContentLength), ContentLength);
    if (changed) {
        Fetch(!skipHead && Answered);
        if (Answered && BodyComplete) {
            if (silent)
                Content.SilentGetDone(now);
            Unchanged = !Content.IsNew(Data);
        }
        if (!Unchanged)
            DecodePicture();
    }
}
