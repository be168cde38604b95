// The editor's "Test" of a webcam address: one HEAD and one GET sent exactly as a viewer's
// fetch thread sends them (same client, same request bytes, same time-outs), and what came
// back, sorted into the classes a user can act on. Blocking; Abort from any thread.
#pragma once

#include "imaging/Bitmap.h"
#include "net/HttpClient.h"
#include "net/HttpThread.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

enum class TCamUrlTestKind {
    NotHttp,           // the client only speaks http:// and https://
    NameNotResolved,   // the host name gives no address
    ConnectionRefused, // resolved, but no connection could be made
    TimeOut,           // connecting or waiting for data took longer than the time-out
    HttpStatus,        // an answer with an error status
    Redirect,          // a redirect (or any Location header), which viewers never follow
    NotJpeg,           // an answer whose body does not decode as JPEG
    Jpeg,              // a picture
    AuthNeeded,        // a password is asked for and the address carries none
    AuthRefused,       // the user name or password in the address was refused
    Failed,            // anything else: a broken or hostile answer, a refused certificate
    Cancelled,
};

struct TCamUrlTestResult {
    TCamUrlTestKind Kind = TCamUrlTestKind::Failed;
    std::string Host;       // NameNotResolved
    std::string StatusLine; // HttpStatus, Redirect
    std::string Location;   // Redirect
    std::string Detail;     // NotJpeg: content type; Failed: the client's error text
    int32_t TimeOutMs = 0;  // TimeOut
    int64_t BodySize = 0;   // bytes of the GET's body
    // How the GET signed in: "Digest (SHA-256)", "Basic"; empty when it sent no credentials.
    std::string Auth;
    bool AuthOverTls = false;

    // Jpeg: the picture's size, a small copy and what the GET's answer said.
    int32_t Width = 0;
    int32_t Height = 0;
    ocelis::TBitmap Preview;
    int64_t ContentLength = -1; // -1 when absent
    std::string LastModified;   // the header as sent; empty when absent

    // A stream of pictures: the first is the picture above; how many came a second.
    bool Stream = false;
    double PicturesPerSecond = 0;

    // The HEAD, which the viewer's change test depends on.
    bool HeadAnswered = false;
    bool HeadHasLength = false;
    bool HeadHasLastModified = false;
};

class TCamUrlTest {
public:
    // Tests shorten the time-outs; the defaults are the viewer thread's.
    explicit TCamUrlTest(THttpThread::TTiming timing = {}, int32_t previewWidth = 96,
                         int32_t previewHeight = 72);

    TCamUrlTestResult Run(const std::string& url, const std::string& referer);
    // Any thread: a request under way returns at once, later ones fail; Run then reports
    // Cancelled.
    void Abort();

    // The host name the client resolves for an address; empty when it cannot split it.
    static std::string HostOf(const std::string& url);
    // A Location header as an absolute address (it may be given relative to the request);
    // the header as it is when it cannot be resolved.
    static std::string ResolveLocation(const std::string& url, const std::string& location);

    // Connections go here instead of to the URL's host (tests; request bytes unchanged).
    std::string ConnectAddress;

private:
    static TCamUrlTestResult Classify(const std::string& url, const EHttpError& error);
    void Decode(TCamUrlTestResult& result, const std::string& body) const;

    THttpThread::TTiming FTiming;
    int32_t FPreviewWidth;
    int32_t FPreviewHeight;
    std::mutex FClientMutex;
    std::unique_ptr<THttpClient> FClient;
    std::atomic<bool> FAborted{false};
};
