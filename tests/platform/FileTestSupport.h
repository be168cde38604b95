// File-system fixtures: bounded runs of readers that a FIFO could block (a regression fails
// instead of hanging), and an unprivileged identity for checks that root would pass anyway.
#pragma once

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <future>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace ocelis::test {

// Runs fn on the calling thread (a GUI thread, say). When it has not ended within limit, a
// watchdog calls unblock() so that it can end, and the result is false.
inline bool EndsWithin(std::chrono::milliseconds limit, const std::function<void()>& fn,
                       const std::function<void()>& unblock) {
    std::promise<void> done;
    std::future<void> ended = done.get_future();
    bool fired = false;
    std::thread watchdog([&] {
        if (ended.wait_for(limit) != std::future_status::ready) {
            fired = true;
            if (unblock)
                unblock();
        }
    });
    fn();
    done.set_value();
    watchdog.join();
    return !fired;
}

// Makes a FIFO at path (replacing nothing); false when the file system refuses.
inline bool MakeFifo(const std::string& path) {
    return ::mkfifo(path.c_str(), 0600) == 0;
}

// Binds a UNIX socket at path and closes it again: the socket node stays behind, a stand-in
// for a device node an unprivileged test cannot make. The folder is reached through its
// descriptor, as a test folder's path may be longer than a socket address holds.
inline bool MakeSocketNode(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int dirFd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return false;
    const std::string shortPath = "/proc/self/fd/" + std::to_string(dirFd) + "/" +
                                  path.substr(slash == std::string::npos ? 0 : slash + 1);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    bool bound = false;
    if (shortPath.size() < sizeof addr.sun_path) {
        shortPath.copy(addr.sun_path, shortPath.size());
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0) {
            bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
            ::close(fd);
        }
    }
    ::close(dirFd);
    return bound;
}

// Lets a reader stuck in open() or read() of the FIFO go on: a writer comes and goes, so the
// reader sees the end of the data.
inline std::function<void()> FifoUnblocker(const std::string& path) {
    return [path] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                ::close(fd);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
}

// Lets a writer stuck on the FIFO go on: a reader drains it for at most 5 s.
inline std::function<void()> FifoDrainer(const std::string& path) {
    return [path] {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        char buf[4096];
        while (std::chrono::steady_clock::now() < deadline)
            if (::read(fd, buf, sizeof buf) <= 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ::close(fd);
    };
}

// While it lives, the process acts with the effective user id of "nobody" when it runs as
// root, who ignores file permissions; an unprivileged process stays as it is. Active() is
// false when root cannot change its identity here.
class AsUnprivileged {
public:
    AsUnprivileged() {
        if (::geteuid() != 0)
            return;
        FSwitched = ::seteuid(kNobody) == 0;
        FActive = FSwitched;
    }
    ~AsUnprivileged() {
        if (FSwitched && ::seteuid(0) != 0)
            std::abort();
    }
    AsUnprivileged(const AsUnprivileged&) = delete;
    AsUnprivileged& operator=(const AsUnprivileged&) = delete;
    bool Active() const { return FActive; }
    static constexpr uid_t kNobody = 65534;

private:
    bool FSwitched = false;
    bool FActive = true;
};

} // namespace ocelis::test
