// A small HTTP/1.1 client for webcam images: HEAD and GET of plain http:// URLs over one
// optionally persistent TCP connection, with cookies and progress reports. One per thread.
#pragma once

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

// Every failure of the client.
class EHttpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A failure because of the answer's status (or a Location header).
class EHttpProtocolError : public EHttpError {
public:
    EHttpProtocolError(int32_t code, const std::string& statusLine, std::string body);
    int32_t Code;
    std::string ErrorBody;
};

enum class TWorkMode { Read, Write };

struct THttpRequest {
    std::string Referer;
    std::string Accept = "text/html, */*";
    std::string UserAgent = "Mozilla/3.0 (compatible; Ocelis)";
    std::string Host; // filled from the URL by each request
};

struct THttpResponse {
    std::string ResponseText;
    int32_t ResponseCode = -1;
    int64_t ContentLength = -1;
    ocelis::TDateTime LastModified = 0;
    std::vector<std::string> Headers; // "Name: value" as received

    // The value of the last header with this name (any letter case), trimmed; empty when absent.
    std::string Header(std::string_view name) const;
    bool HasHeader(std::string_view name) const;
};

class THttpClient {
public:
    using TWorkEvent = std::function<void(THttpClient& sender, TWorkMode mode, int64_t count)>;

    THttpClient();
    ~THttpClient();
    THttpClient(const THttpClient&) = delete;
    THttpClient& operator=(const THttpClient&) = delete;

    void Head(const std::string& url);
    // Appends the body to stream.
    void Get(const std::string& url, std::string& stream);
    void Disconnect();

    // From any thread: shuts the socket down so that a blocked connect or read returns at
    // once, and makes every later request fail.
    void Abort();
    bool Connected() const;
    // Connections opened by this client so far.
    int ConnectCount() const { return Connects; }

    THttpRequest Request;
    THttpResponse Response;

    int32_t ReadTimeout = 0;        // ms; 0: no read time-out and a blocking connect
    int32_t RecvBufferSize = 32768; // largest socket read of a body
    int32_t MaxLineLength = 16384;
    TWorkEvent OnWork;

    // Limits against hostile or broken servers; each ends the request with a failure.
    int32_t ErrorReadTimeout = 2000;                   // ms, for the body of a failed answer
    std::chrono::milliseconds RequestTimeLimit{60000}; // a whole request, connect included
    int64_t MaxBodySize = int64_t{64} << 20;
    int64_t MaxHeaderSize = int64_t{1} << 20;

    // When set ("host:port"), connections go there instead of to the URL's host and port;
    // the request bytes are unchanged. For tests.
    std::string ConnectAddress; // status and header lines in all

private:
    struct Url;
    struct Cookie;
    void Perform(bool head, const std::string& url, std::string* stream);
    void OpenConnection(const Url& u);
    void CloseSocket();
    bool FillBuffer(int32_t timeoutMs); // false on a clean close
    bool ReadLine(std::string& line, int64_t& headerBudget);
    int32_t ReadStatusAndHeaders(int64_t& headerBudget, bool& gotAny);
    void WriteAll(const std::string& data);
    void ReadBody(std::string& out, bool errorBody, int32_t timeoutMs, int64_t cap);
    bool ReadCounted(std::string& out, int64_t n, int64_t& count, int32_t timeoutMs, int64_t& total,
                     int64_t cap);
    void WaitFor(short events, int32_t timeoutMs);
    void CheckAborted() const;
    bool KeepAlive() const;
    void StoreCookies(const Url& u);
    std::string CookieHeader(const Url& u) const;

    mutable std::mutex SocketMutex; // guards Socket against Abort from another thread
    int Socket = -1;
    int WakeFd = -1; // an eventfd that Abort signals to wake a blocked poll
    std::atomic<bool> Aborted{false};
    std::string ConnHost, ConnPort;
    bool PeerClosed = false;
    std::string Buffered; // bytes read but not yet consumed
    std::size_t BufferedPos = 0;
    std::vector<Cookie> Cookies;
    std::chrono::steady_clock::time_point Deadline;
    int Connects = 0;
};

namespace ocelis {
// The HTTP date forms (with zone offsets) read as GMT; false when unreadable.
bool ParseHttpDate(std::string_view text, std::time_t& utc);
// The Last-Modified value as the client reports it: local date-time, zero date corrected.
TDateTime HttpDateToLocal(std::string_view text);
} // namespace ocelis
