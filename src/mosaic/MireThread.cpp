#include "mosaic/MireThread.h"

#include "imaging/Jpeg.h"
#include "util/Text.h"

#include <thread>

namespace {
// A buffer that once held a very large body is not kept at that size for the next webcam.
constexpr std::size_t kKeptCapacity = std::size_t{4} << 20;
} // namespace

struct TMireThread::TLink {
    std::mutex Mutex;
    TMireThread* Thread = nullptr;
};

TMireThread::TMireThread(std::shared_ptr<ocelis::Synchronizer> sync)
    : FSync(std::move(sync)), FLink(std::make_shared<TLink>()) {
    FLink->Thread = this;
}

TMireThread::~TMireThread() {
    {
        std::lock_guard<std::mutex> lock(FLink->Mutex);
        FLink->Thread = nullptr;
    }
    ocelis::FetchThreadRegistry::Instance().Remove(this);
}

void TMireThread::Resume() {
    ocelis::FetchThreadRegistry::Instance().Add(this);
    std::thread([this] {
        Execute();
        delete this;
    }).detach();
}

void TMireThread::Terminate() {
    FTerminated.store(true, std::memory_order_relaxed);
}

void TMireThread::ClearCallbacks() {
    OnImage = nullptr;
    OnNext = nullptr;
}

void TMireThread::RequestStop() {
    FStopRequested.store(true);
    {
        std::lock_guard<std::mutex> lock(FHttpMutex);
        if (FHttp)
            FHttp->Abort();
    }
    Terminate();
}

void TMireThread::NewClient() {
    auto client = std::make_unique<THttpClient>();
    // A fresh client would connect and read without a bound until its first GET sets one:
    // one unreachable host would then hold the only thread for the whole-request limit.
    client->ReadTimeout = Timing.HeadReadTimeout;
    client->RequestTimeLimit = Timing.RequestTimeLimit;
    std::lock_guard<std::mutex> lock(FHttpMutex);
    if (FStopRequested.load())
        client->Abort();
    FHttp = std::move(client);
}

void TMireThread::CallHandler(TCallback TMireThread::*which) {
    // At exit nobody is called any more.
    if (FStopRequested.load())
        return;
    std::shared_ptr<ocelis::Synchronizer> sync = FSync ? FSync : ocelis::DefaultSynchronizer();
    if (!sync)
        return; // no GUI to hand over to
    // The test for an empty callback is made on the GUI thread, where it is also cleared.
    const bool ran = sync->Run([this, which] {
        if (this->*which)
            (this->*which)(*this);
    });
    if (!ran)
        Terminate(); // the GUI loop has ended: nobody is listening any more
}

void TMireThread::Execute() {
    try {
        Data.clear();
        NewClient();
        while (!Terminated())
            Iteration();
    } catch (...) {
        // No error leaves the thread body.
    }
    std::lock_guard<std::mutex> lock(FHttpMutex);
    FHttp.reset();
}

void TMireThread::Head() {
    try {
        if (FHttp->Connected())
            FHttp->Disconnect();
    } catch (...) {
    }
    Answered = false;
    FailReason.clear();
    try {
        FHttp->Head(Url);
        Answered = true;
    } catch (const EHttpProtocolError&) {
        FailReason = FHttp->Response.ResponseText;
    } catch (const std::exception& e) {
        FailReason = e.what();
    } catch (...) {
        FailReason = "request failed";
    }
    try {
        FHttp->Disconnect();
    } catch (...) {
    }
}

void TMireThread::Fetch() {
    FHttp->ReadTimeout = Timing.GetReadTimeout;
    FHttp->RecvBufferSize = 1024;
    ContentLength = ocelis::LowInt32(FHttp->Response.ContentLength);
    Downloaded = true;
    Answered = false;
    FailReason.clear();
    try {
        FHttp->Request.Referer = Referer;
        FHttp->Get(Url, Data);
        LastModified = FHttp->Response.LastModified;
        LastModifiedUtc = FHttp->Response.LastModifiedUtc;
        BodyComplete = FHttp->Response.BodyComplete;
        Answered = true;
        return;
    } catch (const EHttpProtocolError&) {
        FailReason = FHttp->Response.ResponseText;
    } catch (const std::exception& e) {
        FailReason = e.what();
    } catch (...) {
        FailReason = "request failed";
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
        const ocelis::JpegInfo info = ocelis::ReadJpegInfo(Data);
        int32_t w = 0, h = 0;
        ocelis::FitSize(info.width, info.height, PictureWidth, PictureHeight, w, h);
        Picture = ocelis::DecodeJpegScaled(Data, w, h);
    } catch (const ocelis::JpegTruncatedError&) {
        PictureFailed = PictureCutShort = true;
    } catch (...) {
        PictureFailed = true;
    }
}

void TMireThread::Iteration() {
    Head();
    if (Data.capacity() > kKeptCapacity)
        std::string().swap(Data);
    Data.clear();
    Downloaded = false;
    BodyComplete = true;
    Picture = {};
    PictureFailed = PictureCutShort = false;

    const bool known = LastModified != 0;
    const std::time_t knownUtc = known ? LastModifiedUtc : ocelis::LocalZeroDateUnix();
    const bool changed = FHttp->Response.LastModifiedUtc > knownUtc ||
                         ocelis::LowInt32(FHttp->Response.ContentLength) != ContentLength;
    if (changed) {
        Fetch();
        DecodePicture();
    }
    CallHandler(&TMireThread::OnImage);
    CallHandler(&TMireThread::OnNext);
}

TMireThreadRef::TMireThreadRef(TMireThread* thread) : FLink(thread ? thread->FLink : nullptr) {}

bool TMireThreadRef::Alive() const {
    if (!FLink)
        return false;
    std::lock_guard<std::mutex> lock(FLink->Mutex);
    return FLink->Thread && !FLink->Thread->Terminated();
}

void TMireThreadRef::Stop() {
    if (!FLink)
        return;
    {
        std::lock_guard<std::mutex> lock(FLink->Mutex);
        if (TMireThread* t = FLink->Thread) {
            t->ClearCallbacks();
            t->Terminate();
        }
    }
    FLink.reset();
}

void TMireThreadRef::Terminate() {
    if (!FLink)
        return;
    {
        std::lock_guard<std::mutex> lock(FLink->Mutex);
        if (FLink->Thread)
            FLink->Thread->Terminate();
    }
    FLink.reset();
}
