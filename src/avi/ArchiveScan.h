// Reading an image archive folder back: its numbered JPEG files with their capture times,
// and the selection of a time-lapse from them (webcam, date range, daily window, thinning).
// Plain C++, usable from a worker thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ocelis {

class EArchiveScanError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TArchivePicture {
    std::string Name;   // file name within the folder
    int64_t Number = 0; // the digits before ".jpg"
    int64_t Time = 0;   // modification time, nanoseconds since the epoch
    // The same instant as local wall-clock seconds counted as if they were UTC, so that the
    // day and the time of day are plain arithmetic.
    int64_t Local = 0;
    int32_t Webcam = 0; // index into TArchiveListing::Webcams
};

struct TArchiveListing {
    // The name prefixes found ("Harbour " beside others in one folder, or "Image "), sorted.
    std::vector<std::string> Webcams;
    std::vector<TArchivePicture> Pictures; // in capture order
    bool Truncated = false;                // stopped at kMaxArchivePictures
};

// Bounds the memory of a listing, whatever the folder holds.
inline constexpr size_t kMaxArchivePictures = 1'000'000;

// "Harbour 00012.jpg" -> prefix "Harbour ", number 12. False for other names.
bool ParseArchiveName(std::string_view name, std::string_view& prefix, int64_t& number);

// The regular, readable files of the folder (not its sub-folders) named as the archive
// names them, in capture order. Anything else is passed over. Stops early, with what it has,
// when *cancel becomes true. EArchiveScanError when the folder cannot be read.
TArchiveListing ListArchive(const std::filesystem::path& folder,
                            const std::atomic<bool>* cancel = nullptr);

// Capture order: modification time in whole seconds; equal times (a copied folder, or
// pictures of one second) by number, then name.
void SortArchive(std::vector<TArchivePicture>& pictures);

enum class TThinning {
    All,
    EveryMinutes, // at most one picture per Minutes
    NearestTime,  // per day (per night for a daily window across midnight), the one
                  // nearest to TimeOfDay
};

inline constexpr int32_t kSecondsPerDay = 86400;

struct TArchiveRule {
    int32_t Webcam = -1;         // -1: every webcam
    std::optional<int64_t> From; // local wall seconds, inclusive
    std::optional<int64_t> To;   // local wall seconds, inclusive
    // Seconds of the day, from inclusive, to exclusive; from > to spans midnight; from == to
    // is the whole day.
    bool Daily = false;
    int32_t DayFrom = 0;
    int32_t DayTo = 0;
    TThinning Thinning = TThinning::All;
    int32_t Minutes = 1;
    int32_t TimeOfDay = 12 * 3600;
};

// The indices of the pictures that the rule selects, in the pictures' order.
std::vector<size_t> SelectArchive(const std::vector<TArchivePicture>& pictures,
                                  const TArchiveRule& rule);

// Local wall seconds as "yyyy-mm-dd hh:mm:ss".
std::string WallTimeText(int64_t local);

} // namespace ocelis
