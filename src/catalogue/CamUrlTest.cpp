#include "catalogue/CamUrlTest.h"

#include "imaging/Jpeg.h"
#include "net/Url.h"

#include <netdb.h>
#include <optional>
#include <sys/socket.h>

namespace {

// The client fails without connecting for a name it cannot resolve, for a refused or
// unreachable address and for a scheme it does not speak; its error texts are not ours to
// read, so the classes come from what can be seen from outside.
bool Resolves(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (list)
        freeaddrinfo(list);
    return rc == 0;
}

bool IsRedirect(const THttpResponse& response, int32_t code) {
    return (code >= 300 && code < 400 && code != 304) || response.HasHeader("Location");
}

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
    int connects = http.ConnectCount();
    auto started = std::chrono::steady_clock::now();
    bool headFailedToConnect = false;
    std::unique_ptr<TCamUrlTestResult> headFailure;
    try {
        http.Request.Referer = referer;
        http.Head(url);
        result.HeadAnswered = true;
        result.HeadHasLength = http.Response.HasHeader("Content-Length");
        result.HeadHasLastModified = http.Response.HasHeader("Last-Modified");
    } catch (const EHttpError& e) {
        headFailedToConnect =
            !dynamic_cast<const EHttpProtocolError*>(&e) && http.ConnectCount() == connects;
        if (headFailedToConnect && !FAborted.load())
            headFailure = std::make_unique<TCamUrlTestResult>(
                Classify(url, e, connects, std::chrono::steady_clock::now() - started));
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
    connects = http.ConnectCount();
    started = std::chrono::steady_clock::now();
    try {
        http.Request.Referer = referer;
        http.Get(url, body);
    } catch (const EHttpError& e) {
        if (cancelled())
            return result;
        TCamUrlTestResult failure =
            Classify(url, e, connects, std::chrono::steady_clock::now() - started);
        failure.HeadAnswered = result.HeadAnswered;
        failure.HeadHasLength = result.HeadHasLength;
        failure.HeadHasLastModified = result.HeadHasLastModified;
        return failure;
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
    result.Detail = http.Response.Header("Content-Type");
    Decode(result, body);
    return result;
}

TCamUrlTestResult TCamUrlTest::Classify(const std::string& url, const EHttpError& error,
                                        int connectsBefore,
                                        std::chrono::steady_clock::duration took) const {
    TCamUrlTestResult r;
    const THttpResponse& response = FClient->Response;
    if (const auto* status = dynamic_cast<const EHttpProtocolError*>(&error)) {
        r.StatusLine = response.ResponseText;
        if (IsRedirect(response, status->Code)) {
            r.Kind = TCamUrlTestKind::Redirect;
            r.Location = ResolveLocation(url, response.Header("Location"));
        } else {
            r.Kind = TCamUrlTestKind::HttpStatus;
        }
        return r;
    }
    const int32_t timeout = FClient->ReadTimeout;
    const auto tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
    // A time-out fires at its bound; anything that fails well before it is something else.
    if ((timeout > 0 && tookMs >= timeout * 9LL / 10) ||
        tookMs >= FTiming.RequestTimeLimit.count() * 9 / 10) {
        r.Kind = TCamUrlTestKind::TimeOut;
        r.TimeOutMs = timeout;
        return r;
    }
    if (FClient->ConnectCount() == connectsBefore) {
        // An address the client cannot split has no host: NameNotResolved below.
        const std::optional<ocelis::TUrl> parsed = ocelis::TUrl::Parse(url);
        if (parsed && !parsed->IsHttp() && !parsed->IsHttps()) {
            r.Kind = TCamUrlTestKind::NotHttp;
            return r;
        }
        r.Host = HostOf(url);
        if (ConnectAddress.empty() && (r.Host.empty() || !Resolves(r.Host))) {
            r.Kind = TCamUrlTestKind::NameNotResolved;
            return r;
        }
        r.Kind = TCamUrlTestKind::ConnectionRefused;
        return r;
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
        const ocelis::JpegInfo info = ocelis::ReadJpegInfo(body);
        const ocelis::Bitmap small = ocelis::DecodeJpegScaled(body, FPreviewWidth, FPreviewHeight);
        int32_t w = 0, h = 0;
        ocelis::FitSize(small.width, small.height, FPreviewWidth, FPreviewHeight, w, h);
        result.Preview = ocelis::ScaleBitmap(small, w, h);
        result.Width = info.width;
        result.Height = info.height;
        result.Kind = TCamUrlTestKind::Jpeg;
    } catch (const std::exception&) {
        // Not a picture this program can show.
    }
}
