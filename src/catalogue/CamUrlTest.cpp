#include "catalogue/CamUrlTest.h"

#include "imaging/Jpeg.h"
#include "net/HttpAuth.h"
#include "net/Url.h"

#include <chrono>
#include <optional>

namespace {
// A stream's pace is counted over this long or this many pictures, whichever comes first.
constexpr std::chrono::milliseconds kStreamSpan{2000};
constexpr int kStreamParts = 30;
} // namespace

TCamUrlTest::TCamUrlTest(THttpThread::TTiming timing, int32_t previewWidth, int32_t previewHeight)
    : FTiming(timing), FPreviewWidth(previewWidth), FPreviewHeight(previewHeight) {}

std::string TCamUrlTest::HostOf(const std::string& url) {
    const std::optional<ocelis::TUrl> parsed = ocelis::TUrl::Parse(url);
    return parsed ? parsed->HostName() : std::string();
}

std::string TCamUrlTest::ResolveLocation(const std::string& url, const std::string& location) {
    if (location.empty())
        return location;
    const std::optional<ocelis::TUrl> base = ocelis::TUrl::Parse(url);
    const std::optional<ocelis::TUrl> to = base ? base->Resolve(location) : std::nullopt;
    return to ? to->ToString() : location;
}

void TCamUrlTest::Abort() {
    FAborted.store(true);
    std::lock_guard<std::mutex> lock(FClientMutex);
    if (FClient)
        FClient->Abort();
}

TCamUrlTestResult TCamUrlTest::Run(const std::string& url, const std::string& referer) {
    {
        // The client as a fresh fetch thread makes it.
        auto client = std::make_unique<THttpClient>();
        client->ReadTimeout = FTiming.HeadReadTimeout;
        client->RequestTimeLimit = FTiming.RequestTimeLimit;
        client->ConnectAddress = ConnectAddress;
        std::lock_guard<std::mutex> lock(FClientMutex);
        if (FAborted.load())
            client->Abort();
        FClient = std::move(client);
    }
    THttpClient& http = *FClient;
    TCamUrlTestResult result;
    auto cancelled = [this, &result] {
        if (!FAborted.load())
            return false;
        result = {};
        result.Kind = TCamUrlTestKind::Cancelled;
        return true;
    };

    // HEAD, then a fresh connection, as every cycle of a viewer starts.
    const int connects = http.ConnectCount();
    std::unique_ptr<TCamUrlTestResult> headFailure;
    try {
        http.Request.Referer = referer;
        http.Head(url);
        result.HeadAnswered = true;
        result.HeadHasLength = http.Response.HasHeader("Content-Length");
        result.HeadHasLastModified = http.Response.HasHeader("Last-Modified");
    } catch (const EHttpError& e) {
        if (http.ConnectCount() == connects && !FAborted.load())
            headFailure = std::make_unique<TCamUrlTestResult>(Classify(url, e));
    } catch (...) {
    }
    try {
        http.Disconnect();
    } catch (...) {
    }
    if (cancelled())
        return result;
    // Where the HEAD found no server the GET would only wait for the same answer again.
    if (headFailure)
        return *headFailure;

    http.ReadTimeout = FTiming.GetReadTimeout;
    http.RecvBufferSize = 1024;
    std::string body;
    // A stream: its first picture, and the pace of those that follow.
    int parts = 0;
    std::chrono::steady_clock::time_point first, last;
    http.OnPart = [&](ocelis::TMultipartPart& part) {
        last = std::chrono::steady_clock::now();
        if (parts++ == 0) {
            first = last;
            body = std::move(part.Bytes);
        }
        return parts < kStreamParts && last - first < kStreamSpan && !FAborted.load();
    };
    try {
        http.Request.Referer = referer;
        http.Get(url, body);
    } catch (const EHttpError& e) {
        if (cancelled())
            return result;
        // A stream that stalls after its first pictures is a stream all the same.
        if (parts == 0) {
            TCamUrlTestResult failure = Classify(url, e);
            failure.HeadAnswered = result.HeadAnswered;
            failure.HeadHasLength = result.HeadHasLength;
            failure.HeadHasLastModified = result.HeadHasLastModified;
            return failure;
        }
    } catch (const std::exception& e) {
        if (cancelled())
            return result;
        result.Kind = TCamUrlTestKind::Failed;
        result.Detail = e.what();
        return result;
    }
    if (cancelled())
        return result;
    result.BodySize = static_cast<int64_t>(body.size());
    result.ContentLength = http.Response.ContentLength;
    result.LastModified = http.Response.Header("Last-Modified");
    if (http.AuthUsed) {
        result.Auth = http.AuthUsed->Scheme == ocelis::TAuthScheme::Basic
                          ? std::string("Basic")
                          : std::string("Digest (") +
                                ocelis::DigestAlgorithmName(http.AuthUsed->Algorithm) + ")";
        const std::optional<ocelis::TUrl> parsed = ocelis::TUrl::Parse(url);
        result.AuthOverTls = parsed && parsed->IsHttps();
    }
    result.Detail = http.Response.Header("Content-Type");
    if (parts > 0) {
        result.Stream = true;
        const double seconds = std::chrono::duration<double>(last - first).count();
        result.PicturesPerSecond = parts > 1 && seconds > 0 ? (parts - 1) / seconds : 0;
        result.ContentLength = static_cast<int64_t>(body.size());
    }
    Decode(result, body);
    return result;
}

TCamUrlTestResult TCamUrlTest::Classify(const std::string& url, const EHttpError& error) {
    TCamUrlTestResult r;
    switch (error.Kind) {
    case THttpFailure::BadUrl: {
        // A scheme the client does not speak, or an address without a usable host.
        const std::optional<ocelis::TUrl> parsed = ocelis::TUrl::Parse(url);
        if (parsed && !parsed->IsHttp() && !parsed->IsHttps()) {
            r.Kind = TCamUrlTestKind::NotHttp;
            return r;
        }
        if (!parsed || parsed->Host().empty()) {
            r.Kind = TCamUrlTestKind::NameNotResolved;
            return r;
        }
        break; // an address the client refuses to send as it stands
    }
    case THttpFailure::NameNotResolved:
        r.Kind = TCamUrlTestKind::NameNotResolved;
        r.Host = error.Host;
        return r;
    case THttpFailure::Refused:
    case THttpFailure::Unreachable:
        r.Kind = TCamUrlTestKind::ConnectionRefused;
        return r;
    case THttpFailure::TimeOut:
        r.Kind = TCamUrlTestKind::TimeOut;
        r.TimeOutMs = error.TimeOutMs;
        return r;
    case THttpFailure::AuthenticationRequired:
        r.Kind = TCamUrlTestKind::AuthNeeded;
        r.StatusLine = error.StatusLine;
        return r;
    case THttpFailure::NotAuthorised:
        r.Kind = TCamUrlTestKind::AuthRefused;
        r.StatusLine = error.StatusLine;
        return r;
    case THttpFailure::HttpStatus:
        r.Kind = TCamUrlTestKind::HttpStatus;
        r.StatusLine = error.StatusLine;
        return r;
    case THttpFailure::Redirect:
        r.Kind = TCamUrlTestKind::Redirect;
        r.StatusLine = error.StatusLine;
        r.Location = ResolveLocation(url, error.Location);
        return r;
    default:
        break;
    }
    r.Kind = TCamUrlTestKind::Failed;
    r.Detail = error.what();
    return r;
}

void TCamUrlTest::Decode(TCamUrlTestResult& result, const std::string& body) const {
    result.Kind = TCamUrlTestKind::NotJpeg;
    if (body.empty())
        return;
    try {
        const ocelis::TJpegInfo info = ocelis::ReadJpegInfo(body);
        const ocelis::TBitmap small = ocelis::DecodeJpegScaled(body, FPreviewWidth, FPreviewHeight);
        int32_t w = 0, h = 0;
        ocelis::FitSize(small.Width, small.Height, FPreviewWidth, FPreviewHeight, w, h);
        result.Preview = ocelis::ScaleBitmap(small, w, h);
        result.Width = info.Width;
        result.Height = info.Height;
        result.Kind = TCamUrlTestKind::Jpeg;
    } catch (const std::exception&) {
        // Not a picture this program can show.
    }
}
