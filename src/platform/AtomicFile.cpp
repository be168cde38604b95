#include "platform/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace ocelis {

namespace {

[[noreturn]] void Throw(int err, const std::string& what, const fs::path& path) {
    throw std::system_error(err, std::generic_category(), what + " \"" + path.string() + "\"");
}

std::string TempSuffix() {
    static std::atomic<unsigned> counter{0};
    thread_local std::mt19937 rng{std::random_device{}()};
    return ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(rng());
}

void WriteAll(int fd, std::string_view bytes, const fs::path& tmp) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            Throw(errno, "Cannot write file", tmp);
        }
        done += static_cast<size_t>(w);
    }
}

// Only a regular file is replaced: renaming over a device node or a FIFO would remove it.
void CheckReplaceable(bool exists, mode_t mode, const fs::path& target) {
    if (!exists || S_ISREG(mode))
        return;
    if (S_ISDIR(mode))
        Throw(EISDIR, "Cannot write file", target);
    Throw(EINVAL, "Not a regular file:", target);
}

} // namespace

void CheckWriteTarget(const fs::path& path) {
    const fs::path target = ResolveWriteTarget(path);
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    CheckReplaceable(exists, st.st_mode, target);
}

fs::path ResolveWriteTarget(const fs::path& path) {
    fs::path p = path;
    // The same bound the kernel puts on symlink chains.
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec)))
            return p;
        const fs::path target = fs::read_symlink(p, ec);
        if (ec)
            Throw(ec.value(), "Cannot read link", p);
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    Throw(ELOOP, "Too many links at", path);
}

void WriteFileAtomic(const fs::path& path, std::string_view bytes, TFileAccess access) {
    const fs::path target = ResolveWriteTarget(path);
    fs::path dir = target.parent_path();
    if (dir.empty())
        dir = ".";

    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    CheckReplaceable(exists, old.st_mode, target);

    fs::path tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        std::string name = ".";
        name += target.filename().string();
        name += TempSuffix();
        tmp = dir / name;
        const mode_t mode = access == TFileAccess::OwnerOnly ? 0600 : 0666;
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST)
            Throw(errno, "Cannot create file", tmp);
    }
    if (fd < 0)
        Throw(EEXIST, "Cannot create file", tmp);

    try {
        if (access == TFileAccess::Kept && exists && ::fchmod(fd, old.st_mode & 07777) != 0)
            Throw(errno, "Cannot set permissions of", tmp);
        WriteAll(fd, bytes, tmp);
        if (::fsync(fd) != 0)
            Throw(errno, "Cannot flush file", tmp);
        const int closed = ::close(fd);
        fd = -1;
        if (closed != 0)
            Throw(errno, "Cannot write file", tmp);
        // Looked at again just before: the node may have changed while the bytes were
        // written, and a rename would put the file in place of a device.
        struct stat now {};
        const bool stillThere = ::lstat(target.c_str(), &now) == 0;
        CheckReplaceable(stillThere, now.st_mode, target);
        if (::rename(tmp.c_str(), target.c_str()) != 0)
            Throw(errno, "Cannot replace file", target);
    } catch (...) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(tmp.c_str());
        throw;
    }
    // Makes the rename itself durable; failing here loses nothing already written.
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

fs::path MoveAside(const fs::path& path, std::string_view tag, std::time_t when) {
    std::tm local{};
    char stamp[32] = "";
    if (::localtime_r(&when, &local))
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string base = path.string();
    base += '.';
    base += tag;
    base += '-';
    base += stamp;
    for (int n = 1; n <= 1000; ++n) {
        const std::string to = n == 1 ? base : base + "-" + std::to_string(n);
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return to;
        int err = errno;
        if (err == EINVAL || err == ENOSYS) {
            // No such flag on this file system: a hard link never replaces either.
            if (::link(path.c_str(), to.c_str()) == 0) {
                ::unlink(path.c_str());
                return to;
            }
            err = errno;
        }
        if (err != EEXIST)
            Throw(err, "Cannot rename file", path);
    }
    Throw(EEXIST, "Cannot rename file", path);
}

bool TryWriteFileAtomic(const fs::path& path, std::string_view bytes) noexcept {
    try {
        WriteFileAtomic(path, bytes);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace ocelis
