// Reading the files the user may point the program at. A FIFO without a writer blocks a
// plain open() for ever, and a device such as /dev/zero never ends: only regular files are
// read, and finding out never blocks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace ocelis {

// Opens path (symlinks followed) for reading when it is a regular file; returns the
// descriptor in blocking mode, which the caller closes, and the file's size at opening in
// *size when given. Throws std::system_error: the error of open(), EISDIR for a folder,
// EINVAL for any other kind of file.
int OpenRegularFile(const std::filesystem::path& path, uint64_t* size = nullptr);

// The whole regular file; EFBIG (std::system_error) when it holds more than maxBytes.
std::string ReadRegularFile(const std::filesystem::path& path, uint64_t maxBytes);

} // namespace ocelis
