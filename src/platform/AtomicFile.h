// Replacing a file so that a crash or a full disk never leaves it half written.
#pragma once

#include <ctime>
#include <filesystem>
#include <string_view>

namespace ocelis {

// Who may read a written file.
enum class TFileAccess {
    Kept,      // an existing file keeps its permission bits; a new one gets 0666 less the umask
    OwnerOnly, // 0600 from the moment the temporary file exists: it may hold passwords
};

// Writes bytes to a temporary file in the target's folder, flushes it to disk and renames
// it over path. A symlink is followed: its target is replaced and the link kept. Only a
// regular file is replaced (or a missing one created): a FIFO, socket or device at the end
// of the links is left alone and the write fails with EINVAL, a folder with EISDIR.
// Throws std::system_error; the previous file is then untouched and no temporary is left.
void WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes,
                     TFileAccess access = TFileAccess::Kept);

// The same, reporting failure as false.
bool TryWriteFileAtomic(const std::filesystem::path& path, std::string_view bytes) noexcept;

// Renames path to "<path>.<tag>-YYYYMMDD-HHMMSS" (local time of when) beside it, with "-2",
// "-3" ... added when that name is taken: an earlier file is never replaced. Returns the
// new path; throws std::system_error.
std::filesystem::path MoveAside(const std::filesystem::path& path, std::string_view tag,
                                std::time_t when);

// Throws std::system_error (EINVAL, EISDIR) when a write to path would land on something
// other than a regular file or nothing, by the rule of WriteFileAtomic. For writers that
// cannot write atomically.
void CheckWriteTarget(const std::filesystem::path& path);

// Where a write to path really lands: symlinks followed (also a dangling last link).
std::filesystem::path ResolveWriteTarget(const std::filesystem::path& path);

} // namespace ocelis
