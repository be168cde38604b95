#include "support/HttpTestServer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ocelis::test {

HttpAnswer& HttpAnswer::Send(std::string bytes) {
    return Send(std::make_shared<const std::string>(std::move(bytes)));
}
HttpAnswer& HttpAnswer::Send(std::shared_ptr<const std::string> bytes) {
    Steps.push_back({Step::Send, std::move(bytes), {}});
    return *this;
}
HttpAnswer& HttpAnswer::Drip(std::string bytes, std::chrono::milliseconds interval) {
    Steps.push_back({Step::Drip, std::make_shared<const std::string>(std::move(bytes)), interval});
    return *this;
}
HttpAnswer& HttpAnswer::Pause(std::chrono::milliseconds d) {
    Steps.push_back({Step::Pause, nullptr, d});
    return *this;
}
HttpAnswer& HttpAnswer::Stall() {
    Steps.push_back({Step::Stall, nullptr, {}});
    return *this;
}
HttpAnswer& HttpAnswer::Close() {
    Steps.push_back({Step::Close, nullptr, {}});
    return *this;
}
HttpAnswer& HttpAnswer::Reset() {
    Steps.push_back({Step::Reset, nullptr, {}});
    return *this;
}

std::string MakeResponse(int code, const std::string& reason,
                         const std::vector<std::string>& headers, const std::string& body,
                         bool withLength) {
    std::string r = "HTTP/1.1 " + std::to_string(code) + " " + reason + "\r\n";
    for (const auto& h : headers)
        r += h + "\r\n";
    if (withLength)
        r += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    r += "\r\n";
    r += body;
    return r;
}

HttpAnswer Reply(std::string bytes, bool close) {
    HttpAnswer a;
    a.Send(std::move(bytes));
    if (close)
        a.Close();
    return a;
}

std::string Chunked(const std::vector<std::string>& chunks) {
    std::string r;
    char size[32];
    for (const auto& c : chunks) {
        std::snprintf(size, sizeof size, "%zx", c.size());
        r += std::string(size) + "\r\n" + c + "\r\n";
    }
    r += "0\r\n\r\n";
    return r;
}

HttpTestServer::HttpTestServer(Handler handler, bool ipv6)
    : Ipv6(ipv6), TheHandler(std::move(handler)) {
    StopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ListenFd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (ListenFd < 0 || StopFd < 0)
        throw std::runtime_error("test server: socket");
    int one = 1;
    setsockopt(ListenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    int rc;
    if (ipv6) {
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_addr = in6addr_loopback;
        rc = bind(ListenFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    } else {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        rc = bind(ListenFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    if (rc != 0 || listen(ListenFd, 64) != 0)
        throw std::runtime_error(std::string("test server: bind/listen: ") + std::strerror(errno));
    sockaddr_storage s{};
    socklen_t len = sizeof s;
    getsockname(ListenFd, reinterpret_cast<sockaddr*>(&s), &len);
    ListenPort = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&s)->sin6_port
                            : reinterpret_cast<sockaddr_in*>(&s)->sin_port);
    Acceptor = std::thread([this] { AcceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
    Stop();
}

std::string HttpTestServer::Url(const std::string& path) const {
    return std::string(Ipv6 ? "http://[::1]:" : "http://127.0.0.1:") + std::to_string(ListenPort) +
           path;
}

void HttpTestServer::Enqueue(HttpAnswer answer) {
    std::lock_guard<std::mutex> lock(Mutex);
    Queue.push_back(std::move(answer));
}

void HttpTestServer::SetHandler(Handler handler) {
    std::lock_guard<std::mutex> lock(Mutex);
    TheHandler = std::move(handler);
}

std::vector<HttpRequestSeen> HttpTestServer::Requests() const {
    std::lock_guard<std::mutex> lock(Mutex);
    return Seen;
}

int HttpTestServer::RequestCount() const {
    std::lock_guard<std::mutex> lock(Mutex);
    return SeenCount;
}

int HttpTestServer::Connections() const {
    std::lock_guard<std::mutex> lock(Mutex);
    return ConnectionCount;
}

bool HttpTestServer::WaitForRequests(int count, std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(Mutex);
    return Changed.wait_for(lock, limit, [&] { return SeenCount >= count; });
}

bool HttpTestServer::WaitForOpenConnections(int count, std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(Mutex);
    return Changed.wait_for(lock, limit, [&] { return static_cast<int>(OpenFds.size()) == count; });
}

void HttpTestServer::Stop() {
    if (Stopping.exchange(true))
        return;
    uint64_t one = 1;
    [[maybe_unused]] ssize_t w = write(StopFd, &one, sizeof one);
    {
        std::lock_guard<std::mutex> lock(Mutex);
        for (int fd : OpenFds)
            shutdown(fd, SHUT_RDWR);
        Changed.notify_all();
    }
    if (Acceptor.joinable())
        Acceptor.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(Mutex);
        workers.swap(Workers);
    }
    for (auto& t : workers)
        t.join();
    close(ListenFd);
    close(StopFd);
}

void HttpTestServer::AcceptLoop() {
    while (!Stopping) {
        pollfd fds[2] = {{ListenFd, POLLIN, 0}, {StopFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (Stopping)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        int fd = accept4(ListenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::lock_guard<std::mutex> lock(Mutex);
        int number = ConnectionCount++;
        OpenFds.push_back(fd);
        Workers.emplace_back([this, fd, number] { Serve(fd, number); });
        Changed.notify_all();
    }
}

bool HttpTestServer::PauseFor(std::chrono::milliseconds d) {
    std::unique_lock<std::mutex> lock(Mutex);
    return !Changed.wait_for(lock, d, [&] { return Stopping.load(); });
}

bool HttpTestServer::Perform(int fd, const HttpAnswer& answer) {
    for (const auto& step : answer.Steps) {
        switch (step.What) {
        case HttpAnswer::Step::Send: {
            std::size_t sent = 0;
            const std::string& b = *step.Bytes;
            while (sent < b.size()) {
                ssize_t n = send(fd, b.data() + sent, b.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) {
                    if (n < 0 && errno == EINTR)
                        continue;
                    return false;
                }
                sent += static_cast<std::size_t>(n);
            }
            break;
        }
        case HttpAnswer::Step::Drip:
            for (char c : *step.Bytes) {
                if (send(fd, &c, 1, MSG_NOSIGNAL) != 1 || !PauseFor(step.Interval))
                    return false;
            }
            break;
        case HttpAnswer::Step::Pause:
            if (!PauseFor(step.Interval))
                return false;
            break;
        case HttpAnswer::Step::Stall:
            for (;;) {
                pollfd fds[2] = {{fd, POLLIN, 0}, {StopFd, POLLIN, 0}};
                poll(fds, 2, -1);
                if (Stopping || (fds[1].revents & POLLIN))
                    return false;
                char buf[256];
                ssize_t n = recv(fd, buf, sizeof buf, 0);
                if (n <= 0)
                    return false;
            }
        case HttpAnswer::Step::Close:
            return false;
        case HttpAnswer::Step::Reset: {
            linger l{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            return false;
        }
        }
    }
    return true;
}

void HttpTestServer::Serve(int fd, int connection) {
    std::string pending;
    char buf[8192];
    for (;;) {
        std::size_t end;
        while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
            pollfd fds[2] = {{fd, POLLIN, 0}, {StopFd, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0 && errno != EINTR)
                break;
            if (Stopping)
                break;
            ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            pending.append(buf, static_cast<std::size_t>(n));
        }
        if (end == std::string::npos)
            break;
        HttpRequestSeen req;
        req.Raw = pending.substr(0, end + 4);
        pending.erase(0, end + 4);
        std::size_t sp1 = req.Raw.find(' ');
        std::size_t sp2 = req.Raw.find(' ', sp1 + 1);
        req.Method = req.Raw.substr(0, sp1);
        if (sp1 != std::string::npos && sp2 != std::string::npos)
            req.Target = req.Raw.substr(sp1 + 1, sp2 - sp1 - 1);
        req.Connection = connection;
        HttpAnswer answer;
        {
            std::lock_guard<std::mutex> lock(Mutex);
            req.Index = SeenCount++;
            if (Recording)
                Seen.push_back(req);
            Changed.notify_all();
            if (!Queue.empty()) {
                answer = std::move(Queue.front());
                Queue.pop_front();
            } else if (TheHandler) {
                answer = TheHandler(req);
            } else {
                answer.Send(MakeResponse(404, "Not Found", {}, ""));
            }
        }
        bool keep = Perform(fd, answer);
        if (!keep)
            break;
    }
    std::lock_guard<std::mutex> lock(Mutex);
    OpenFds.erase(std::remove(OpenFds.begin(), OpenFds.end(), fd), OpenFds.end());
    close(fd);
    Changed.notify_all();
}

} // namespace ocelis::test
