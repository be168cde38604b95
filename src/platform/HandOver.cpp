#include "platform/HandOver.h"

#include "util/Text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace ocelis {

namespace {

using TClock = std::chrono::steady_clock;

int MsLeft(TClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

bool FillAddress(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    return true;
}

// Waits until fd is ready for events or the deadline passes.
bool WaitFor(int fd, short events, TClock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = poll(&p, 1, MsLeft(deadline));
        if (r > 0)
            return true;
        if (r == 0 || errno != EINTR)
            return false;
    }
}

bool ReadAll(int fd, char* buf, size_t n, TClock::time_point deadline) {
    size_t got = 0;
    while (got < n) {
        if (!WaitFor(fd, POLLIN, deadline))
            return false;
        const ssize_t r = recv(fd, buf + got, n - got, 0);
        if (r > 0)
            got += static_cast<size_t>(r);
        else if (r == 0 || (errno != EINTR && errno != EAGAIN))
            return false;
    }
    return true;
}

bool WriteAll(int fd, const char* buf, size_t n, TClock::time_point deadline) {
    size_t sent = 0;
    while (sent < n) {
        if (!WaitFor(fd, POLLOUT, deadline))
            return false;
        const ssize_t r = send(fd, buf + sent, n - sent, MSG_NOSIGNAL);
        if (r > 0)
            sent += static_cast<size_t>(r);
        else if (r < 0 && errno != EINTR && errno != EAGAIN)
            return false;
    }
    return true;
}

// A connect() under way has ended well before the deadline.
bool Connected(int fd, TClock::time_point deadline) {
    int err = 0;
    socklen_t len = sizeof err;
    if (!WaitFor(fd, POLLOUT, deadline) || getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        return false;
    errno = err;
    return err == 0;
}

struct TOwnedFd {
    int Fd;
    explicit TOwnedFd(int f) : Fd(f) {}
    TOwnedFd(const TOwnedFd&) = delete;
    TOwnedFd& operator=(const TOwnedFd&) = delete;
    ~TOwnedFd() {
        if (Fd >= 0)
            close(Fd);
    }
};

} // namespace

std::optional<std::string> HandOverText(std::string_view data, uint32_t cbData) {
    if (cbData == 0)
        return std::nullopt;
    const std::string_view limited = data.substr(0, std::min<size_t>(data.size(), cbData));
    return std::string(limited.substr(0, limited.find('\0')));
}

std::string UpperExtension(std::string_view path) {
    const size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : AnsiUpper(name.substr(dot));
}

bool HandOverPathAccepted(const std::string& path) {
    if (AnsiUpper(path).find(".CAM") == std::string::npos)
        return false;
    // stat() only: opening a FIFO here would block the GUI thread.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return false;
    return UpperExtension(path) == ".CAM";
}

bool SendHandOver(const std::string& socketPath, std::string_view arg,
                  std::chrono::milliseconds bound) {
    sockaddr_un addr{};
    if (!FillAddress(socketPath, addr) || arg.size() + 1 > kMaxHandOverBytes)
        return false;
    const auto deadline = TClock::now() + bound;
    for (;;) {
        // Non-blocking: with the running instance's queue full, a blocking connect() would
        // wait for ever.
        TOwnedFd s(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (s.Fd < 0)
            return false;
        if (connect(s.Fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 &&
            !(errno == EINPROGRESS && Connected(s.Fd, deadline))) {
            // The running instance may not be listening yet, or be busy: try again until
            // the bound.
            if ((errno == ENOENT || errno == ECONNREFUSED || errno == EINTR || errno == EAGAIN) &&
                MsLeft(deadline) > 0) {
                pollfd none{-1, 0, 0};
                poll(&none, 0, std::min(20, MsLeft(deadline)));
                continue;
            }
            return false;
        }
        const uint32_t cb = static_cast<uint32_t>(arg.size() + 1);
        std::string block(4, '\0');
        for (int i = 0; i < 4; ++i)
            block[static_cast<size_t>(i)] = static_cast<char>((cb >> (8 * i)) & 0xFF);
        block.append(arg);
        block.push_back('\0');
        if (!WriteAll(s.Fd, block.data(), block.size(), deadline))
            return false;
        char ack = 0;
        return ReadAll(s.Fd, &ack, 1, deadline);
    }
}

THandOverServer::~THandOverServer() {
    Close();
}

void THandOverServer::Close() {
    if (FFd >= 0) {
        close(FFd);
        FFd = -1;
        unlink(FPath.c_str());
    }
}

void THandOverServer::Listen(const std::string& socketPath) {
    Close();
    sockaddr_un addr{};
    if (!FillAddress(socketPath, addr))
        throw std::runtime_error("Socket path too long: " + socketPath);
    TOwnedFd s(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (s.Fd < 0)
        throw std::runtime_error("Cannot create the hand-over socket");
    // Only a dead instance can have left this path: we hold the lock.
    unlink(socketPath.c_str());
    const mode_t old = umask(077);
    const int bound = bind(s.Fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    umask(old);
    if (bound != 0 || chmod(socketPath.c_str(), 0600) != 0 || listen(s.Fd, 8) != 0)
        throw std::runtime_error("Cannot listen on " + socketPath + ": " + std::strerror(errno));
    FFd = s.Fd;
    s.Fd = -1;
    FPath = socketPath;
}

void THandOverServer::ServePending(const THandler& handler) {
    if (FFd < 0)
        return;
    for (;;) {
        const int c = accept4(FFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (c < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        TOwnedFd client(c);
        ServeOne(client.Fd, handler);
    }
}

void THandOverServer::ServeOne(int client, const THandler& handler) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (getsockopt(client, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != getuid())
        return;
    const auto deadline = TClock::now() + std::chrono::milliseconds(1000);
    unsigned char head[4];
    if (!ReadAll(client, reinterpret_cast<char*>(head), 4, deadline))
        return;
    const uint32_t cb = static_cast<uint32_t>(head[0]) | static_cast<uint32_t>(head[1]) << 8 |
                        static_cast<uint32_t>(head[2]) << 16 | static_cast<uint32_t>(head[3]) << 24;
    if (cb > kMaxHandOverBytes)
        return;
    std::vector<char> data(cb);
    if (cb > 0 && !ReadAll(client, data.data(), cb, deadline))
        return;
    try {
        if (handler)
            handler(std::string_view(data.data(), data.size()), cb);
    } catch (...) {
        // The sender is never told about failures; it only waits for the handling to end.
    }
    const char ack = 0;
    WriteAll(client, &ack, 1, TClock::now() + std::chrono::milliseconds(1000));
}

} // namespace ocelis
