#include "avi/ArchiveScan.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace ocelis {

namespace {

// More digits than an int64 holds is no number the archive writes.
constexpr size_t kMaxDigits = 18;
constexpr int64_t kNanosPerSecond = 1'000'000'000;

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

int32_t SecondOfDay(int64_t local) {
    return static_cast<int32_t>(local - FloorDiv(local, kSecondsPerDay) * kSecondsPerDay);
}

bool EndsWithJpg(std::string_view name) {
    if (name.size() < 4)
        return false;
    const std::string_view ext = name.substr(name.size() - 4);
    return ext[0] == '.' && (ext[1] | 0x20) == 'j' && (ext[2] | 0x20) == 'p' &&
           (ext[3] | 0x20) == 'g';
}

// From the mode bits where they tell; a second system call only for the groups a process
// may have beside its own.
bool Readable(const struct stat& st, int dirFd, const char* name) {
    static const uid_t kUid = geteuid();
    static const gid_t kGid = getegid();
    if (kUid == 0 || (st.st_uid == kUid && (st.st_mode & S_IRUSR)))
        return true;
    if (st.st_uid == kUid)
        return false;
    if (st.st_gid == kGid)
        return (st.st_mode & S_IRGRP) != 0;
    if (st.st_mode & S_IROTH)
        return true;
    return (st.st_mode & S_IRGRP) && faccessat(dirFd, name, R_OK, AT_EACCESS) == 0;
}

// Directory streams close however the listing ends.
struct TDirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

} // namespace

bool ParseArchiveName(std::string_view name, std::string_view& prefix, int64_t& number) {
    if (!EndsWithJpg(name))
        return false;
    const std::string_view stem = name.substr(0, name.size() - 4);
    size_t start = stem.size();
    while (start > 0 && stem[start - 1] >= '0' && stem[start - 1] <= '9')
        --start;
    const size_t digits = stem.size() - start;
    if (digits == 0 || digits > kMaxDigits)
        return false;
    int64_t n = 0;
    for (size_t i = start; i < stem.size(); ++i)
        n = n * 10 + (stem[i] - '0');
    prefix = stem.substr(0, start);
    number = n;
    return true;
}

TArchiveListing ListArchive(const std::filesystem::path& folder, const std::atomic<bool>* cancel) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw EArchiveScanError(std::strerror(errno));
    std::unique_ptr<DIR, TDirCloser> dir(fdopendir(fd));
    if (!dir) {
        const int err = errno;
        close(fd);
        throw EArchiveScanError(std::strerror(err));
    }
    TArchiveListing out;
    std::map<std::string, int32_t, std::less<>> webcams;
    size_t seen = 0;
    while (const dirent* e = readdir(dir.get())) {
        if ((++seen & 1023) == 0 && cancel && cancel->load(std::memory_order_relaxed))
            break;
        // Known non-files are passed over without a system call.
        if (e->d_type != DT_REG && e->d_type != DT_LNK && e->d_type != DT_UNKNOWN)
            continue;
        const std::string_view name(e->d_name);
        std::string_view prefix;
        int64_t number = 0;
        if (!ParseArchiveName(name, prefix, number))
            continue;
        struct stat st {};
        // A link is followed to what it names, which must be a file; stat opens nothing, so
        // a FIFO or device cannot block here.
        if (fstatat(fd, e->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (!Readable(st, fd, e->d_name))
            continue;
        if (out.Pictures.size() >= kMaxArchivePictures) {
            out.Truncated = true;
            break;
        }
        auto w = webcams.find(prefix);
        if (w == webcams.end())
            w = webcams.emplace(std::string(prefix), static_cast<int32_t>(webcams.size())).first;
        TArchivePicture p;
        p.Name.assign(name);
        p.Number = number;
        p.Time = static_cast<int64_t>(st.st_mtim.tv_sec) * kNanosPerSecond + st.st_mtim.tv_nsec;
        const time_t sec = st.st_mtim.tv_sec;
        struct tm tm {};
        p.Local = static_cast<int64_t>(sec) + (localtime_r(&sec, &tm) ? tm.tm_gmtoff : 0);
        p.Webcam = w->second;
        out.Pictures.push_back(std::move(p));
    }
    // Webcams in name order: the found order is the directory's, which means nothing.
    std::vector<int32_t> remap(webcams.size());
    out.Webcams.reserve(webcams.size());
    for (const auto& [prefixName, index] : webcams) {
        remap[static_cast<size_t>(index)] = static_cast<int32_t>(out.Webcams.size());
        out.Webcams.push_back(prefixName);
    }
    for (TArchivePicture& p : out.Pictures)
        p.Webcam = remap[static_cast<size_t>(p.Webcam)];
    SortArchive(out.Pictures);
    return out;
}

void SortArchive(std::vector<TArchivePicture>& pictures) {
    std::sort(pictures.begin(), pictures.end(),
              [](const TArchivePicture& a, const TArchivePicture& b) {
                  // Whole seconds: what file systems and copies keep of a time is often less
                  // (FAT: two seconds), and within one second the numbers are the order.
                  const int64_t sa = FloorDiv(a.Time, kNanosPerSecond);
                  const int64_t sb = FloorDiv(b.Time, kNanosPerSecond);
                  if (sa != sb)
                      return sa < sb;
                  if (a.Number != b.Number)
                      return a.Number < b.Number;
                  return a.Name < b.Name;
              });
}

std::vector<size_t> SelectArchive(const std::vector<TArchivePicture>& pictures,
                                  const TArchiveRule& rule) {
    const bool wholeDay = !rule.Daily || rule.DayFrom == rule.DayTo;
    const auto inWindow = [&rule, wholeDay](int64_t local) {
        if (wholeDay)
            return true;
        const int32_t s = SecondOfDay(local);
        return rule.DayFrom < rule.DayTo ? s >= rule.DayFrom && s < rule.DayTo
                                         : s >= rule.DayFrom || s < rule.DayTo;
    };
    // A window across midnight makes each night one day: days start at its end.
    const int64_t dayStart = rule.Daily && rule.DayFrom > rule.DayTo ? rule.DayTo : 0;
    const int32_t target = SecondOfDay(rule.TimeOfDay - dayStart);
    const int64_t gap = int64_t{std::max(rule.Minutes, 0)} * 60 * 1'000'000'000;
    std::vector<size_t> out;
    // NearestTime: the best picture of each day so far, and its distance.
    std::map<int64_t, std::pair<size_t, int32_t>> best;
    bool kept = false;
    int64_t lastKept = 0;
    for (size_t i = 0; i < pictures.size(); ++i) {
        const TArchivePicture& p = pictures[i];
        if ((rule.Webcam >= 0 && p.Webcam != rule.Webcam) || (rule.From && p.Local < *rule.From) ||
            (rule.To && p.Local > *rule.To) || !inWindow(p.Local))
            continue;
        switch (rule.Thinning) {
        case TThinning::All:
            out.push_back(i);
            break;
        case TThinning::EveryMinutes:
            if (!kept || p.Time - lastKept >= gap) {
                out.push_back(i);
                kept = true;
                lastKept = p.Time;
            }
            break;
        case TThinning::NearestTime: {
            const int64_t shifted = p.Local - dayStart;
            const int32_t distance = std::abs(SecondOfDay(shifted) - target);
            const auto [at, added] =
                best.try_emplace(FloorDiv(shifted, kSecondsPerDay), i, distance);
            // Ties keep the earlier picture.
            if (!added && distance < at->second.second)
                at->second = {i, distance};
            break;
        }
        }
    }
    if (rule.Thinning == TThinning::NearestTime) {
        out.reserve(best.size());
        for (const auto& [day, pick] : best)
            out.push_back(pick.first);
        std::sort(out.begin(), out.end());
    }
    return out;
}

std::string WallTimeText(int64_t local) {
    const int64_t day = FloorDiv(local, kSecondsPerDay);
    const int32_t s = SecondOfDay(local);
    // Days since 1970-01-01 to a civil date (proleptic Gregorian).
    const int64_t z = day + 719468;
    const int64_t era = FloorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02d:%02d:%02d",
                  static_cast<long long>(y), static_cast<long long>(m), static_cast<long long>(d),
                  s / 3600, s / 60 % 60, s % 60);
    return text;
}

} // namespace ocelis
