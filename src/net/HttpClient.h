// A small HTTP/1.1 client for webcam images: HEAD and GET of http:// and https:// URLs over
// one optionally persistent connection, with cookies, progress reports, and the Digest or
// Basic credentials of a URL's user info when a server asks for them. One per thread.
#pragma once

#include "net/HttpAuthCache.h"
#include "net/HttpParser.h"
#include "net/Multipart.h"
#include "net/TlsConnection.h"
#include "util/DateTime.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A failure because of the answer's status (or a Location header): the kinds HttpStatus,
// Redirect, AuthenticationRequired and NotAuthorised.
class EHttpProtocolError : public EHttpError {
public:
    EHttpProtocolError(THttpFailure kind, int32_t code, const std::string& statusLine,
                       std::string body);
    std::string ErrorBody;
};

enum class TWorkMode { Read, Write };

struct THttpRequest {
    std::string Referer;
    std::string Accept = "text/html, */*";
    std::string UserAgent = "Mozilla/3.0 (compatible; Ocelis)";
    std::string Host; // filled from the URL by each request
};

class THttpClient : private ocelis::ByteSource {
public:
    using TWorkEvent = std::function<void(THttpClient& sender, TWorkMode mode, int64_t count)>;

    THttpClient();
    ~THttpClient() override;
    THttpClient(const THttpClient&) = delete;
    THttpClient& operator=(const THttpClient&) = delete;

    void Head(const std::string& url);
    // Appends the body to stream. An answer that streams pictures (multipart/x-mixed-replace)
    // is read part by part: without OnPart its first complete part is the body and the
    // connection is closed; with OnPart the stream goes on until OnPart returns false (Get then
    // returns normally) or it ends, stalls or is aborted (a failure).
    void Get(const std::string& url, std::string& stream);
    void Disconnect();

    // From any thread: shuts the socket down so that a blocked connect or read returns at
    // once, and makes every later request fail.
    void Abort();
    bool Connected() const;
    // Connections opened by this client so far (TCP connections, before any TLS handshake).
    int ConnectCount() const { return FConnects; }

    THttpRequest Request;
    THttpResponse Response;

    int32_t ReadTimeout = 0;        // ms; 0: no read time-out and a blocking connect
    int32_t RecvBufferSize = 32768; // largest socket read of a body
    int32_t MaxLineLength = 16384;
    TWorkEvent OnWork;
    // Each complete part of a stream; it may take the part's bytes. False ends the stream.
    using TPartEvent = std::function<bool(ocelis::TMultipartPart& part)>;
    TPartEvent OnPart;

    // Limits against hostile or broken servers; each ends the request with a failure.
    int32_t ErrorReadTimeout = 2000;                   // ms, for the body of a failed answer
    std::chrono::milliseconds RequestTimeLimit{60000}; // a whole request, connect included
    int64_t MaxBodySize = int64_t{32} << 20;           // ample for any webcam picture
    // A stream has no whole-request limit: each of its parts must be complete within this.
    std::chrono::milliseconds PartTimeLimit{20000};
    int64_t MaxHeaderSize = int64_t{1} << 20;

    // When set ("host:port"), connections go there instead of to the URL's host and port;
    // the request bytes are unchanged. For tests.
    std::string ConnectAddress; // status and header lines in all

    // For URLs with user info: the challenges answered and the credentials refused. Share one
    // between clients so that what was learnt outlives each of them; null: nothing is kept
    // beyond one request.
    std::shared_ptr<ocelis::THttpAuthCache> AuthCache = std::make_shared<ocelis::THttpAuthCache>();
    // The authentication the last request's answer accepted; none when it sent no credentials.
    std::optional<ocelis::TAuthState> AuthUsed;

private:
    struct TEndpoint;
    void Perform(bool head, const std::string& url, std::string* stream);
    std::string RequestBytes(bool head, const TEndpoint& u, const std::string& authorization) const;
    // Sends req and reads the status and headers of its answer (after any 100 answers).
    void Exchange(const std::string& req, const TEndpoint& u);
    // Reads the body of a failed answer within its own limits; false when it did not end.
    bool ReadErrorBody(bool noBody, std::string& body);
    void ReadStream(const std::string& boundary, std::string& stream);
    void OpenConnection(const TEndpoint& u);
    void StartTls(const TEndpoint& u);
    void CloseSocket();
    std::size_t Read(char* dst, std::size_t max, int32_t timeoutMs) override;
    std::size_t ReadTls(char* dst, std::size_t max, int32_t timeoutMs);
    void SyncReaderLimits();
    void WriteAll(const std::string& data);
    void WriteAllTls(const std::string& data);
    // timeoutMs: this wait's bound; reportedMs: the time-out a failure names (0: timeoutMs).
    void WaitFor(short events, int32_t timeoutMs, const char* timeoutText = "read time-out",
                 int32_t reportedMs = 0);
    EHttpError RequestTooLong() const;
    void CheckAborted() const;
    bool KeepAlive() const;
    void StoreCookies(const TEndpoint& u);
    std::string CookieHeader(const TEndpoint& u) const;

    mutable std::mutex FSocketMutex; // guards FSocket against Abort from another thread
    int FSocket = -1;
    int FWakeFd = -1; // an eventfd that Abort signals to wake a blocked poll
    std::atomic<bool> FAborted{false};
    std::string FConnHost, FConnPort;
    ocelis::THttpReader FReader;
    struct TStoredCookie {
        ocelis::THttpCookie Cookie;
        bool OverTls = false; // set by an https answer: never sent over http
    };
    std::vector<TStoredCookie> FCookies;
    std::chrono::steady_clock::time_point FDeadline;
    int FConnects = 0;
    std::unique_ptr<ocelis::TTlsConnection> FTls; // on the open connection of an https URL
    bool FConnTls = false;
    std::string FTlsSessionKey; // server of the open TLS connection
    // Sessions to resume, by server, oldest first.
    std::vector<std::pair<std::string, ocelis::TTlsSession>> FTlsSessions;
};
