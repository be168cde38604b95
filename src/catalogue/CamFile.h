// Importing a webcam file (.cam): one webcam as the child elements of an XML root.
#pragma once

#include <cstdint>
#include <string>

#include "catalogue/CamCategory.h"

namespace ocelis {

// A .cam file describes one webcam: anything larger is refused unread.
constexpr uint64_t kMaxCamFileSize = 1u << 20;

// Finds the category named importedCat among the root's direct sub-categories (letter case
// significant) or appends it, then reads the file at path and appends its webcam there.
// Returns the new record, or null when the file cannot be read or parsed or lacks a
// non-empty "Url" or "Name", or is larger than kMaxCamFileSize; the category exists
// afterwards in every case.
TCamWebcam* ImportCamFileInto(TCamCategory& root, const std::string& importedCat,
                              const std::string& path);

} // namespace ocelis
