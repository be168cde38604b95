// Reading the image archive back: names, the listing of a folder the test writes itself
// (gaps, a restart of the numbering, equal times, things that are no pictures), and the
// selection rules (date range, daily window also across midnight, thinning).
#include "avi/ArchiveScan.h"

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "support/TestFiles.h"

namespace fs = std::filesystem;
using ocelis::TArchivePicture;
using ocelis::TArchiveRule;
using ocelis::TThinning;

namespace {

// 2023-11-14 00:00:00 UTC, a day's start.
constexpr int64_t kDay0 = int64_t{19675} * 86400;

int64_t At(int day, int hour, int minute) {
    return kDay0 + day * 86400 + hour * 3600 + minute * 60;
}

class ArchiveScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        savedTz_ = tz ? std::optional<std::string>(tz) : std::nullopt;
        SetTz("UTC");
        dir_ = ocelis::test::FreshTestDir("archivescan");
    }
    void TearDown() override {
        if (savedTz_)
            setenv("TZ", savedTz_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    static void SetTz(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    // A picture file with its modification time.
    void Write(const std::string& name, int64_t seconds, long nanos = 0) {
        ocelis::test::WriteFileBytes(dir_ / name, "\xff\xd8\xff\xd9");
        const timespec times[2] = {{seconds, nanos}, {seconds, nanos}};
        ASSERT_EQ(utimensat(AT_FDCWD, (dir_ / name).c_str(), times, 0), 0);
    }
    std::vector<std::string> Names(const ocelis::TArchiveListing& l, int32_t webcam) {
        std::vector<std::string> out;
        for (const TArchivePicture& p : l.Pictures)
            if (p.Webcam == webcam)
                out.push_back(p.Name);
        return out;
    }

    fs::path dir_;
    std::optional<std::string> savedTz_;
};

TEST(ArchiveNameTest, SplitsPrefixAndNumber) {
    const struct {
        const char* name;
        bool ok;
        const char* prefix;
        int64_t number;
    } cases[] = {
        {"Harbour 00012.jpg", true, "Harbour ", 12},
        {"Image 100000.JPG", true, "Image ", 100000},
        {"00003.jpg", true, "", 3},
        {"Cam 7 00009.jpg", true, "Cam 7 ", 9},
        {"notes.jpg", false, "", 0},
        {".jpg", false, "", 0},
        {"Harbour 00001.jpeg", false, "", 0},
        {"Harbour 00001.jpg.txt", false, "", 0},
        {"a 1234567890123456789.jpg", false, "", 0}, // more digits than a number holds
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string_view prefix;
        int64_t number = -1;
        ASSERT_EQ(ocelis::ParseArchiveName(c.name, prefix, number), c.ok);
        if (c.ok) {
            EXPECT_EQ(std::pair(std::string(prefix), number),
                      std::pair(std::string(c.prefix), c.number));
        }
    }
}

TEST(ArchiveNameTest, WallTimeText) {
    EXPECT_EQ(ocelis::WallTimeText(At(0, 1, 1) + 1), "2023-11-14 01:01:01");
    EXPECT_EQ(ocelis::WallTimeText(-1), "1969-12-31 23:59:59");
    EXPECT_EQ(ocelis::WallTimeText(At(108, 23, 59)), "2024-03-01 23:59:00"); // leap year
}

TEST_F(ArchiveScanTest, ListsInCaptureOrderAndPassesOverWhatIsNoPicture) {
    // Harbour: a gap (no 00003), then a restart of the numbering a day later.
    Write("Harbour 00100.jpg", At(0, 10, 0));
    Write("Harbour 00101.jpg", At(0, 10, 1));
    Write("Harbour 00103.jpg", At(0, 10, 2));
    Write("Harbour 00001.jpg", At(1, 9, 0));
    Write("Harbour 00002.jpg", At(1, 9, 1));
    // Beach: a copied folder, every time equal: the numbers order it.
    for (const char* n :
         {"Beach 00010.jpg", "Beach 00002.jpg", "Beach 00001.jpg", "Beach 00003.jpg"})
        Write(n, At(0, 12, 0));
    // Within one second the numbers order, whatever the fractions say.
    Write("Beach 00011.jpg", At(0, 12, 1), 900'000'000);
    Write("Beach 00012.jpg", At(0, 12, 1), 100'000'000);
    // No pictures of the archive.
    Write("notes.jpg", At(0, 11, 0));
    Write("Harbour 00005.txt", At(0, 11, 0));
    fs::create_directory(dir_ / "Harbour 00006.jpg");
    ASSERT_EQ(mkfifo((dir_ / "Harbour 00007.jpg").c_str(), 0600), 0);
    fs::create_directory_symlink(dir_, dir_ / "Harbour 00008.jpg"); // a loop, never entered
    fs::create_symlink("/dev/null", dir_ / "Harbour 00009.jpg");
    Write("Harbour 00011.jpg", At(0, 11, 0));
    ASSERT_EQ(chmod((dir_ / "Harbour 00011.jpg").c_str(), 0), 0);
    // A link to a picture is a picture.
    Write("elsewhere.txt", At(2, 0, 0));
    fs::create_symlink(dir_ / "elsewhere.txt", dir_ / "Harbour 00200.jpg");

    const ocelis::TArchiveListing l = ocelis::ListArchive(dir_);
    EXPECT_EQ(l.Webcams, (std::vector<std::string>{"Beach ", "Harbour "}));
    EXPECT_FALSE(l.Truncated);
    EXPECT_EQ(Names(l, 0),
              (std::vector<std::string>{"Beach 00001.jpg", "Beach 00002.jpg", "Beach 00003.jpg",
                                        "Beach 00010.jpg", "Beach 00011.jpg", "Beach 00012.jpg"}));
    std::vector<std::string> harbour = {"Harbour 00100.jpg", "Harbour 00101.jpg",
                                        "Harbour 00103.jpg", "Harbour 00001.jpg",
                                        "Harbour 00002.jpg", "Harbour 00200.jpg"};
    // Root reads every file: the unreadable one is then a picture like the others.
    if (geteuid() == 0)
        harbour.insert(harbour.begin() + 3, "Harbour 00011.jpg");
    EXPECT_EQ(Names(l, 1), harbour);
    EXPECT_EQ(l.Pictures.front().Local, At(0, 10, 0));
    EXPECT_EQ(l.Pictures.front().Number, 100);
}

TEST_F(ArchiveScanTest, LocalTimeIsTheWallClockOfTheZone) {
    SetTz("CET-1");
    Write("Image 00001.jpg", At(0, 6, 30)); // 07:30 in that zone
    const ocelis::TArchiveListing l = ocelis::ListArchive(dir_);
    ASSERT_EQ(l.Pictures.size(), 1u);
    EXPECT_EQ(l.Pictures[0].Local, At(0, 7, 30));
    EXPECT_EQ(l.Pictures[0].Time, At(0, 6, 30) * 1'000'000'000);
}

TEST_F(ArchiveScanTest, AFolderThatCannotBeReadFails) {
    EXPECT_THROW(ocelis::ListArchive(dir_ / "missing"), ocelis::EArchiveScanError);
    Write("Image 00001.jpg", At(0, 0, 0));
    EXPECT_THROW(ocelis::ListArchive(dir_ / "Image 00001.jpg"), ocelis::EArchiveScanError);
    const std::atomic<bool> cancelled{true};
    EXPECT_NO_THROW(ocelis::ListArchive(dir_, &cancelled));
}

TEST(ArchiveSelectTest, RangesWindowsAndThinning) {
    // The pictures in capture order, by webcam and local time.
    const std::vector<std::pair<int32_t, int64_t>> at = {
        {0, At(0, 6, 59)},  {0, At(0, 7, 0)},   {0, At(0, 7, 5)},   {0, At(0, 12, 10)},
        {0, At(0, 18, 59)}, {0, At(0, 19, 0)},  {0, At(0, 23, 30)}, {1, At(1, 1, 0)},
        {0, At(1, 2, 0)},   {0, At(1, 11, 50)}, {0, At(1, 12, 20)}, {0, At(2, 4, 0)},
        {0, At(2, 5, 0)},   {0, At(3, 11, 50)}, {0, At(3, 12, 10)},
    };
    std::vector<TArchivePicture> pictures;
    for (const auto& [webcam, local] : at) {
        TArchivePicture p;
        p.Webcam = webcam;
        p.Local = local;
        p.Time = local * 1'000'000'000;
        pictures.push_back(p);
    }
    const auto rule = [](auto change) {
        TArchiveRule r;
        r.Webcam = 0;
        change(r);
        return r;
    };
    const struct {
        const char* what;
        TArchiveRule rule;
        std::vector<size_t> expected;
    } cases[] = {
        {"every picture of the webcam",
         rule([](TArchiveRule&) {}),
         {0, 1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14}},
        {"every webcam",
         rule([](TArchiveRule& r) { r.Webcam = -1; }),
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
        {"07:00 to 19:00, the end excluded",
         rule([](TArchiveRule& r) {
             r.Daily = true;
             r.DayFrom = 7 * 3600;
             r.DayTo = 19 * 3600;
         }),
         {1, 2, 3, 4, 9, 10, 13, 14}},
        {"22:00 to 04:00, across midnight",
         rule([](TArchiveRule& r) {
             r.Daily = true;
             r.DayFrom = 22 * 3600;
             r.DayTo = 4 * 3600;
         }),
         {6, 8}},
        {"a window of equal ends is the whole day",
         rule([](TArchiveRule& r) {
             r.Daily = true;
             r.DayFrom = r.DayTo = 5 * 3600;
         }),
         {0, 1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14}},
        {"from and to, both included",
         rule([](TArchiveRule& r) {
             r.From = At(0, 12, 10);
             r.To = At(1, 11, 50);
         }),
         {3, 4, 5, 6, 8, 9}},
        {"at most one every 10 minutes in the day window",
         rule([](TArchiveRule& r) {
             r.Daily = true;
             r.DayFrom = 7 * 3600;
             r.DayTo = 19 * 3600;
             r.Thinning = TThinning::EveryMinutes;
             r.Minutes = 10;
         }),
         {1, 3, 4, 9, 10, 13, 14}},
        {"at most one every 6 hours",
         rule([](TArchiveRule& r) {
             r.Thinning = TThinning::EveryMinutes;
             r.Minutes = 360;
         }),
         {0, 4, 8, 9, 11, 13}},
        {"nearest to noon each day; a tie keeps the earlier",
         rule([](TArchiveRule& r) {
             r.Thinning = TThinning::NearestTime;
             r.TimeOfDay = 12 * 3600;
         }),
         {3, 9, 12, 13}},
        // The night is the day: one picture for the night from day 0 to day 1.
        {"nearest to 03:00 within 22:00 to 04:00",
         rule([](TArchiveRule& r) {
             r.Daily = true;
             r.DayFrom = 22 * 3600;
             r.DayTo = 4 * 3600;
             r.Thinning = TThinning::NearestTime;
             r.TimeOfDay = 3 * 3600;
         }),
         {8}},
        {"nothing in range", rule([](TArchiveRule& r) { r.From = At(9, 0, 0); }), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ocelis::SelectArchive(pictures, c.rule), c.expected);
    }
}

} // namespace
