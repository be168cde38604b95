#include "catalogue/CamUrlTest.h"

#include "imaging/Jpeg.h"
#include "util/Text.h"

#include <algorithm>

namespace {

std::string SchemeOf(const std::string& url) {
    const std::size_t sep = url.find("://");
    return sep == std::string::npos ? std::string() : url.substr(0, sep);
}

} // namespace

TCamUrlTest::TCamUrlTest(THttpThread::TTiming timing, int32_t previewWidth, int32_t previewHeight)
    : FTiming(timing), FPreviewWidth(previewWidth), FPreviewHeight(previewHeight) {}

std::string TCamUrlTest::HostOf(const std::string& url) {
    std::string text = url;
    std::replace(text.begin(), text.end(), '\\', '/');
    const std::size_t sep = text.find("://");
    if (sep != std::string::npos)
        text = text.substr(sep + 3);
    text = text.substr(0, text.find_first_of("/?"));
    const std::size_t at = text.rfind('@');
    if (at != std::string::npos)
        text = text.substr(at + 1);
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        return text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return text.substr(0, text.find(':'));
}

std::string TCamUrlTest::ResolveLocation(const std::string& url, const std::string& location) {
    if (location.empty() || location.find("://") != std::string::npos)
        return location;
    const std::size_t sep = url.find("://");
    if (sep == std::string::npos)
        return location;
    const std::size_t pathStart = url.find_first_of("/?#", sep + 3);
    const std::string origin = url.substr(0, pathStart);
    if (location.rfind("//", 0) == 0)
        return url.substr(0, sep + 1) + location;
    if (location.front() == '/')
        return origin + location;
    std::string dir = pathStart == std::string::npos ? "/" : url.substr(pathStart);
    dir.resize(std::min(dir.size(), dir.find_first_of("?#")));
    dir.resize(dir.rfind('/') == std::string::npos ? 0 : dir.rfind('/') + 1);
    std::string out = origin;
    out.append(dir.empty() ? "/" : dir);
    out.append(location);
    return out;
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
    try {
        http.Request.Referer = referer;
        http.Get(url, body);
    } catch (const EHttpError& e) {
        if (cancelled())
            return result;
        TCamUrlTestResult failure = Classify(url, e);
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

TCamUrlTestResult TCamUrlTest::Classify(const std::string& url, const EHttpError& error) {
    TCamUrlTestResult r;
    switch (error.Kind) {
    case THttpFailure::BadUrl:
        r.Kind = TCamUrlTestKind::NotHttp;
        return r;
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
    case THttpFailure::HttpStatus:
    case THttpFailure::AuthenticationRequired:
    case THttpFailure::NotAuthorised:
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
    // The client's own URL failures may come without their kind; a scheme it does not
    // speak is one of them.
    const std::string scheme = SchemeOf(url);
    if (error.Kind == THttpFailure::Other && !ocelis::SameText(scheme, "http") &&
        !ocelis::SameText(scheme, "https")) {
        r.Kind = TCamUrlTestKind::NotHttp;
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
