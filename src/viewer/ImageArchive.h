// The image archive: numbered JPEG files below the archive folder, one sequence per webcam.
// TCamViewer::SaveImage is built from these free functions, which need no settings object.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ocelis {

class EArchiveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The webcam name as one safe file-name component: blanks and control characters trimmed
// from both ends; "/", "\", NUL, control characters and < > : " | ? * replaced by "_";
// an empty name, "." and ".." become "_". Webcam names come from .cam files anyone can
// send, so a name must never lead outside the archive folder.
std::string ArchiveName(std::string_view camName);

// R + N + "/Image " (one folder per webcam) or R + N + " ", where R is savePath ending in
// exactly the one "/" it may already have. An empty savePath is an EArchiveError.
std::string ArchivePrefix(std::string_view savePath, bool subDirectory, std::string_view camName);

// prefix + number with at least five digits + ".jpg".
std::string ArchiveFileName(std::string_view prefix, int64_t number);

// Walks lastId up while the file for lastId + 1 exists, calling processEvents after each
// step. lastId keeps the value reached even if processEvents throws.
void FindFreeArchiveNumber(std::string_view prefix, int32_t& lastId,
                           const std::function<void()>& processEvents);

// Creates the file and writes bytes, never replacing anything (nor following a link that
// sits in its place). False when the name is taken; EArchiveError on other failures, after
// which no partial file is left.
bool WriteNewFile(const std::filesystem::path& path, std::string_view bytes);

// The whole operation on plain values: search from lastId + 1, create the folders, write
// the bytes unchanged. Returns the file written. lastId is advanced by the search only.
std::filesystem::path ArchiveImage(std::string_view savePath, bool subDirectory,
                                   std::string_view camName, int32_t& lastId,
                                   std::string_view bytes,
                                   const std::function<void()>& processEvents = {});

} // namespace ocelis
