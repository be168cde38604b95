// Replacing a file so that a crash or a full disk never leaves it half written.
#pragma once

#include <filesystem>
#include <string_view>

namespace ocelis {

// Writes bytes to a temporary file in the target's folder, flushes it to disk and renames
// it over path. A symlink is followed: its target is replaced and the link kept. An
// existing file keeps its permission bits; a new one gets 0666 less the umask.
// Throws std::system_error; the previous file is then untouched and no temporary is left.
void WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes);

// The same, reporting failure as false.
bool TryWriteFileAtomic(const std::filesystem::path& path, std::string_view bytes) noexcept;

// Where a write to path really lands: symlinks followed (also a dangling last link).
std::filesystem::path ResolveWriteTarget(const std::filesystem::path& path);

} // namespace ocelis
