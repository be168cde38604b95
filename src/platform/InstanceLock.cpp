#include "platform/InstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ocelis {

namespace {

// A folder is private when it is a real folder (no symlink) owned by us that nobody else
// may enter or write.
bool PrivateFolder(const std::string& path) {
    struct stat st {};
    if (path.empty() || lstat(path.c_str(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

} // namespace

std::string UserName() {
    const uid_t uid = getuid();
    if (const passwd* pw = getpwuid(uid); pw && pw->pw_name && *pw->pw_name)
        return pw->pw_name;
    return std::to_string(uid);
}

std::string InstanceFolder() {
    // A socket path must fit sockaddr_un (108 bytes), so a deep folder is passed over.
    const auto fits = [](const std::string& dir) {
        return InstancePath(dir, ".sock").size() < 100;
    };
    if (const char* rt = std::getenv("XDG_RUNTIME_DIR"); rt && PrivateFolder(rt) && fits(rt))
        return rt;
    std::error_code ec;
    std::filesystem::path tmp = std::filesystem::temp_directory_path(ec);
    std::vector<std::string> bases;
    if (!ec)
        bases.push_back(tmp.string());
    bases.emplace_back("/tmp");
    for (const std::string& base : bases) {
        const std::string dir = base + "/ocelis-" + std::to_string(getuid());
        if (!fits(dir))
            continue;
        if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
            continue;
        if (PrivateFolder(dir))
            return dir;
    }
    throw std::runtime_error("No private folder for the instance lock");
}

std::string InstancePath(const std::string& folder, const std::string& suffix) {
    return folder + "/CAMVIEWER-" + UserName() + suffix;
}

TInstanceLock::~TInstanceLock() {
    if (FFd >= 0)
        close(FFd);
}

TInstanceLock::TState TInstanceLock::Acquire(const std::string& path) {
    if (FFd >= 0)
        return TState::First;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return TState::Failed;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        const int err = errno;
        close(fd);
        return err == EWOULDBLOCK ? TState::Second : TState::Failed;
    }
    FFd = fd;
    return TState::First;
}

} // namespace ocelis
