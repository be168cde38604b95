#include "platform/RegularFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace ocelis {

namespace {

[[noreturn]] void Throw(int err, const char* what, const fs::path& path) {
    throw std::system_error(err, std::generic_category(),
                            std::string(what) + " \"" + path.string() + "\"");
}

[[noreturn]] void ThrowNotRegular(mode_t mode, const fs::path& path) {
    if (S_ISDIR(mode))
        Throw(EISDIR, "Cannot open file", path);
    Throw(EINVAL, "Not a regular file:", path);
}

struct TFd {
    int Fd;
    ~TFd() {
        if (Fd >= 0)
            ::close(Fd);
    }
};

} // namespace

int OpenRegularFile(const fs::path& path, uint64_t* size) {
    // Devices are not even opened: opening some of them has effects of its own.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        Throw(errno, "Cannot open file", path);
    if (!S_ISREG(st.st_mode))
        ThrowNotRegular(st.st_mode, path);
    // The path may have been replaced since: the descriptor is what counts.
    TFd f{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (f.Fd < 0)
        Throw(errno, "Cannot open file", path);
    if (::fstat(f.Fd, &st) != 0)
        Throw(errno, "Cannot read file", path);
    if (!S_ISREG(st.st_mode))
        ThrowNotRegular(st.st_mode, path);
    const int flags = ::fcntl(f.Fd, F_GETFL);
    if (flags < 0 || ::fcntl(f.Fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        Throw(errno, "Cannot read file", path);
    if (size)
        *size = static_cast<uint64_t>(st.st_size);
    const int fd = f.Fd;
    f.Fd = -1;
    return fd;
}

std::string ReadRegularFile(const fs::path& path, uint64_t maxBytes) {
    uint64_t size = 0;
    TFd f{OpenRegularFile(path, &size)};
    if (size > maxBytes)
        Throw(EFBIG, "Cannot read file", path);
    std::string data;
    data.reserve(static_cast<size_t>(size));
    // The size may change while reading (a file still being written): the bound holds all
    // the same.
    char buf[65536];
    while (true) {
        const ssize_t got = ::read(f.Fd, buf, sizeof buf);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            Throw(errno, "Cannot read file", path);
        }
        if (got == 0)
            break;
        if (data.size() + static_cast<size_t>(got) > maxBytes)
            Throw(EFBIG, "Cannot read file", path);
        data.append(buf, static_cast<size_t>(got));
    }
    return data;
}

} // namespace ocelis
