#include "viewer/ImageArchive.h"

#include "settings/CamViewer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <system_error>
#include <unistd.h>

namespace ocelis {

namespace {

bool Blank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

bool Forbidden(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 32 || std::strchr("/\\<>:\"|?*", c) != nullptr;
}

std::string SystemMessage(const std::string& what, const std::filesystem::path& path, int err) {
    return what + " " + path.string() + ": " + std::generic_category().message(err);
}

} // namespace

std::string ArchiveName(std::string_view camName) {
    size_t from = 0, to = camName.size();
    while (from < to && Blank(camName[from]))
        ++from;
    while (to > from && Blank(camName[to - 1]))
        --to;
    std::string name(camName.substr(from, to - from));
    for (char& c : name)
        if (Forbidden(c)) // NUL is below 32
            c = '_';
    if (name.empty() || name == "." || name == "..")
        return std::string(1, '_');
    return name;
}

std::string ArchivePrefix(std::string_view savePath, bool subDirectory, std::string_view camName) {
    if (savePath.empty())
        throw EArchiveError("No archive folder");
    std::string prefix(savePath);
    if (prefix.back() != '/')
        prefix += '/';
    prefix += ArchiveName(camName);
    prefix += subDirectory ? "/Image " : " ";
    return prefix;
}

std::string ArchiveFileName(std::string_view prefix, int64_t number) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.5lld", static_cast<long long>(number));
    std::string name(prefix);
    name += digits;
    name += ".jpg";
    return name;
}

void FindFreeArchiveNumber(std::string_view prefix, int32_t& lastId,
                           const std::function<void()>& processEvents) {
    for (;;) {
        if (lastId == std::numeric_limits<int32_t>::max())
            throw EArchiveError("Archive numbers exhausted");
        std::error_code ec;
        if (!std::filesystem::exists(ArchiveFileName(prefix, int64_t{lastId} + 1), ec))
            return;
        ++lastId;
        if (processEvents)
            processEvents();
    }
}

bool WriteNewFile(const std::filesystem::path& path, std::string_view bytes) {
    // O_EXCL: never replaces a file, and fails on a symbolic link instead of following it.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST)
            return false;
        throw EArchiveError(SystemMessage("Cannot create", path, errno));
    }
    const char* p = bytes.data();
    size_t left = bytes.size();
    int err = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            break;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err != 0) {
        ::unlink(path.c_str()); // a cut-off image would join the sequence
        throw EArchiveError(SystemMessage("Cannot write", path, err));
    }
    return true;
}

std::filesystem::path ArchiveImage(std::string_view savePath, bool subDirectory,
                                   std::string_view camName, int32_t& lastId,
                                   std::string_view bytes,
                                   const std::function<void()>& processEvents) {
    const std::string prefix = ArchivePrefix(savePath, subDirectory, camName);
    bool foldersReady = false;
    for (;;) {
        FindFreeArchiveNumber(prefix, lastId, processEvents);
        const std::filesystem::path file = ArchiveFileName(prefix, int64_t{lastId} + 1);
        if (!foldersReady) {
            std::error_code ec;
            std::filesystem::create_directories(file.parent_path(), ec);
            if (ec)
                throw EArchiveError("Cannot create " + file.parent_path().string() + ": " +
                                    ec.message());
            foldersReady = true;
        }
        if (WriteNewFile(file, bytes))
            return file;
        // Taken after all (something that exists() does not see, such as a dangling link):
        // count it like any existing image and go on searching.
        ++lastId;
    }
}

} // namespace ocelis

bool TCamViewer::SaveImage(TCamWebcam& cam, const std::string& bytes,
                           const std::function<void()>& processEvents) {
    try {
        ocelis::ArchiveImage(SavePath, SubDirectory, cam.Name, cam.LastId, bytes, processEvents);
        return true;
    } catch (...) {
        return false; // the viewer goes on without archiving
    }
}
