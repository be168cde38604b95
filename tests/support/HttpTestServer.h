// A loopback HTTP server for tests: every answer is scripted byte by byte, every request is
// recorded exactly, and connections are counted. It listens as soon as it is constructed and
// is stopped and joined by its destructor.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ocelis::test {

class HttpAnswer {
public:
    struct Step {
        enum Kind { Send, Drip, Pause, Stall, Close, Reset } What;
        std::shared_ptr<const std::string> Bytes;
        std::chrono::milliseconds Interval{0};
    };

    HttpAnswer& Send(std::string bytes);
    HttpAnswer& Send(std::shared_ptr<const std::string> bytes);
    // One byte at a time with the pause between bytes.
    HttpAnswer& Drip(std::string bytes, std::chrono::milliseconds interval);
    HttpAnswer& Pause(std::chrono::milliseconds d);
    // Sends nothing more until the client closes or the server stops.
    HttpAnswer& Stall();
    HttpAnswer& Close();
    // Closes with a TCP reset.
    HttpAnswer& Reset();

    std::vector<Step> Steps;
};

// A complete answer: status line, the headers given, and the body. Content-Length is added
// when withLength is true.
std::string MakeResponse(int code, const std::string& reason,
                         const std::vector<std::string>& headers, const std::string& body,
                         bool withLength = true);
std::string Chunked(const std::vector<std::string>& chunks);
// An answer that sends these bytes, then closes the connection when asked to.
HttpAnswer Reply(std::string bytes, bool close = false);

struct HttpRequestSeen {
    std::string Raw;    // exact bytes up to and including the empty line
    std::string Method; // "GET", "HEAD", ...
    std::string Target;
    int Index = 0;      // 0-based over the server's life
    int Connection = 0; // 0-based connection number
};

class HttpTestServer {
public:
    using Handler = std::function<HttpAnswer(const HttpRequestSeen&)>;

    // Binds 127.0.0.1 (or ::1 with ipv6) on an ephemeral port and starts listening.
    explicit HttpTestServer(Handler handler = nullptr, bool ipv6 = false);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    uint16_t Port() const { return ListenPort; }
    // "http://127.0.0.1:port" + path.
    std::string Url(const std::string& path = "/") const;

    // Answers given in order before the handler is asked.
    void Enqueue(HttpAnswer answer);
    void SetHandler(Handler handler);

    std::vector<HttpRequestSeen> Requests() const;
    int RequestCount() const;
    int Connections() const;
    // Waits until the condition over the request count holds; false when time ran out.
    bool WaitForRequests(int count, std::chrono::milliseconds limit) const;
    // Waits until exactly this many connections are open on the server's side.
    bool WaitForOpenConnections(int count, std::chrono::milliseconds limit) const;
    void SetRecording(bool on) { Recording = on; }

    void Stop();

private:
    void AcceptLoop();
    void Serve(int fd, int connection);
    bool Perform(int fd, const HttpAnswer& answer); // false when the connection ended
    bool PauseFor(std::chrono::milliseconds d);     // false when stopping

    int ListenFd = -1;
    uint16_t ListenPort = 0;
    bool Ipv6 = false;
    std::atomic<bool> Stopping{false};
    std::atomic<bool> Recording{true};
    mutable std::mutex Mutex;
    mutable std::condition_variable Changed;
    Handler TheHandler;
    std::list<HttpAnswer> Queue;
    std::vector<HttpRequestSeen> Seen;
    int SeenCount = 0;
    int ConnectionCount = 0;
    std::vector<int> OpenFds;
    std::vector<std::thread> Workers;
    std::thread Acceptor;
    int StopFd = -1;
};

} // namespace ocelis::test
