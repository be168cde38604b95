// H.264 in MP4, large pictures and the skipped-entry counts, read back by real readers
// (ffprobe, ffmpeg, mediainfo) where they are installed.
#include "avi/AviWriter.h"
#include "imaging/Jpeg.h"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <tuple>

#include "avi/AviTestSupport.h"
#include "support/TestFiles.h"

using namespace ocelis;
using namespace ocelis::test;
namespace fs = std::filesystem;

namespace {

class Mp4Test : public ::testing::Test {
protected:
    void SetUp() override { Dir = FreshTestDir("mp4"); }
    fs::path Jpeg(const std::string& name, int w, int h, int seed = 0) {
        const fs::path p = Dir / name;
        WriteFileBytes(p, EncodeJpeg(Pattern(w, h, seed)));
        return p;
    }
    fs::path Dir;
};

std::string Probe(const fs::path& file) {
    return RunTool("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                   "stream=codec_name,profile,pix_fmt,width,height,color_range,color_space,"
                   "r_frame_rate,nb_read_frames -of default=nw=1 '" +
                   file.string() + "'");
}

bool Has(const std::string& text, const std::string& line) {
    return text.find(line + "\n") != std::string::npos;
}

} // namespace

TEST(Mp4Size, FitsTheBoundAndPadsToEven) {
    const TMp4Options standard;
    TMp4Options none;
    none.MaxWidth = none.MaxHeight = 0;
    const struct {
        int32_t w, h;
        const TMp4Options& options;
        int32_t pictureW, pictureH, codedW, codedH;
    } cases[] = {
        {640, 480, standard, 640, 480, 640, 480},
        {101, 75, standard, 101, 75, 102, 76},
        {6000, 4000, standard, 3240, 2160, 3240, 2160},
        {3841, 2160, standard, 3840, 2159, 3840, 2160},
        {1000, 9000, standard, 240, 2160, 240, 2160},
        {6000, 4001, none, 6000, 4001, 6000, 4002},
    };
    for (const auto& c : cases) {
        const TMp4Size s = Mp4SizeFor(c.w, c.h, c.options);
        EXPECT_EQ(std::tuple(s.PictureWidth, s.PictureHeight, s.CodedWidth, s.CodedHeight),
                  std::tuple(c.pictureW, c.pictureH, c.codedW, c.codedH))
            << c.w << "x" << c.h;
    }
    EXPECT_TRUE(IsMp4FileName("/a/b.MP4"));
    EXPECT_FALSE(IsMp4FileName("/a.mp4/b"));
}

// Each picture one frame with its pause as duration; odd sizes padded; real readers agree.
TEST_F(Mp4Test, ReadersSeeH264WithTheChosenFramesAndRate) {
    if (!HaveTool("ffprobe") || !HaveTool("ffmpeg"))
        GTEST_SKIP() << "ffprobe/ffmpeg not installed (./setup.sh installs them)";
    const struct {
        int w, h, pictures;
        int32_t pause;
        std::string size, rate;
    } cases[] = {
        {64, 48, 3, 2000, "width=64\nheight=48", "1/2"},
        {101, 75, 4, 500, "width=102\nheight=76", "2/1"},
        {32, 32, 2, 0, "width=32\nheight=32", "1000/1"},
        {16, 16, 2, 10000000, "width=16\nheight=16", "1/10000"}, // the longest pause
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        std::vector<fs::path> files;
        for (int i = 0; i < c.pictures; ++i)
            files.push_back(Jpeg(std::to_string(i) + ".jpg", c.w, c.h, i * 30));
        TAviWriter w(640, 480);
        w.FileName = (Dir / "out.mp4").string();
        w.Stretch = false;
        w.FrameTime = c.pause;
        ASSERT_EQ(w.WriteJpegFiles(files), TAviResult::Written);
        const std::string probe = Probe(w.FileName);
        const std::vector<std::string> lines = {
            "codec_name=h264",        "profile=High",
            "pix_fmt=yuv420p",        "color_range=tv",
            "color_space=smpte170m",  c.size,
            "r_frame_rate=" + c.rate, "nb_read_frames=" + std::to_string(c.pictures)};
        for (const std::string& line : lines)
            EXPECT_TRUE(Has(probe, line)) << line << " in\n" << probe;
        EXPECT_EQ(RunTool("ffmpeg -v error -i '" + w.FileName + "' -f null -"), "");
        // The index is at the front: playing can start while downloading.
        const std::string bytes = ReadFileBytes(w.FileName);
        EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));
        if (HaveTool("mediainfo")) {
            EXPECT_EQ(RunTool("mediainfo --Inform='General;%Format%' '" + w.FileName + "'"),
                      "MPEG-4\n");
        }
    }
    if (!HaveTool("mediainfo"))
        GTEST_SKIP() << "mediainfo not installed: the format name was not read";
}

// JPEG's full range lands in the limited range: white is 235 and black 16 in luma.
TEST_F(Mp4Test, FullRangeBecomesLimitedRange) {
    if (!HaveTool("ffmpeg"))
        GTEST_SKIP() << "ffmpeg not installed (./setup.sh installs it)";
    for (const auto& [value, luma] : {std::pair{255, 235}, {0, 16}}) {
        TBitmap solid;
        solid.Resize(32, 32);
        std::fill(solid.Pixels.begin(), solid.Pixels.end(), static_cast<uint8_t>(value));
        WriteFileBytes(Dir / "solid.jpg", EncodeJpeg(solid, 100));
        TAviWriter w(640, 480);
        w.FileName = (Dir / "solid.mp4").string();
        ASSERT_EQ(w.WriteJpegFiles({Dir / "solid.jpg"}), TAviResult::Written);
        const std::string raw =
            RunTool("ffmpeg -v error -i '" + w.FileName + "' -f rawvideo -pix_fmt yuv420p -");
        ASSERT_EQ(raw.size(), 32u * 32 * 3 / 2);
        EXPECT_NEAR(static_cast<unsigned char>(raw[32 * 16 + 16]), luma, 2) << value;
    }
}

// Files that give no frame are counted by reason, in every mode; cancel leaves no file.
TEST_F(Mp4Test, SkippedEntriesAreCountedAndCancelLeavesNothing) {
    WriteFileBytes(Dir / "text.jpg", "hello");
    WriteFileBytes(Dir / "cut.jpg", "\xFF\xD8\xFF\xE0 cut short");
    const std::vector<fs::path> files = {Jpeg("a.jpg", 48, 32), Dir / "missing.jpg",
                                         Dir / "text.jpg",      Dir / "cut.jpg",
                                         Dir / "text.jpg",      Jpeg("b.jpg", 48, 32, 9)};
    for (const auto& [name, mjpeg] :
         {std::pair{"s.avi", false}, {"m.avi", true}, {"s.mp4", false}}) {
        SCOPED_TRACE(name);
        TAviWriter w(640, 480);
        w.FileName = (Dir / name).string();
        w.KeepJpeg = mjpeg;
        ASSERT_EQ(w.WriteJpegFiles(files), TAviResult::Written);
        EXPECT_EQ(std::tuple(w.Skipped.Unreadable, w.Skipped.NotJpeg, w.Skipped.Damaged),
                  std::tuple(1u, 2u, 1u));
        EXPECT_EQ(w.Skipped.Total(), 4u);
        if (HaveTool("ffprobe")) {
            EXPECT_TRUE(Has(Probe(w.FileName), "nb_read_frames=2"));
        }

        std::atomic<bool> cancel{false};
        TAviProgress progress;
        progress.Cancel = &cancel;
        progress.OnProgress = [&](size_t, size_t) { cancel = true; };
        w.FileName = (Dir / ("cancelled-" + std::string(name))).string();
        EXPECT_EQ(w.WriteJpegFiles(files, progress), TAviResult::Cancelled);
        EXPECT_FALSE(fs::exists(w.FileName));
    }
    for (const auto& e : fs::directory_iterator(Dir))
        EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos) << e.path();
}

// A 6000 x 4000 photo is one frame in every mode; only the AVI format's own bounds refuse.
TEST_F(Mp4Test, LargePicturesWorkInEveryModeUntilTheFormatsBounds) {
    const fs::path photo = Jpeg("photo.jpg", 6000, 4000);
    for (const auto& [name, mjpeg] :
         {std::pair{"raw.avi", false}, {"mjpeg.avi", true}, {"photo.mp4", false}}) {
        SCOPED_TRACE(name);
        TAviWriter w(640, 480);
        w.FileName = (Dir / name).string();
        w.KeepJpeg = mjpeg;
        ASSERT_EQ(w.WriteJpegFiles({photo}), TAviResult::Written);
        EXPECT_EQ(std::tuple(w.Width, w.Height), std::tuple(6000, 4000));
        if (!IsMp4FileName(name)) {
            // The headers only: reading 72 MB back is slow in a debug build.
            std::string head(8192, '\0');
            std::FILE* f = std::fopen(w.FileName.c_str(), "rb");
            ASSERT_NE(f, nullptr);
            head.resize(std::fread(head.data(), 1, head.size(), f));
            std::fclose(f);
            const auto strf = Find(Chunks(head), "strl/strf");
            ASSERT_EQ(strf.size(), 1u);
            EXPECT_EQ(std::tuple(Le32At(strf[0].Data, 4), Le32At(strf[0].Data, 8)),
                      std::tuple(6000u, 4000u));
            EXPECT_GT(fs::file_size(w.FileName), mjpeg ? fs::file_size(photo) : 72'000'000u);
        } else if (HaveTool("ffprobe")) {
            const std::string probe = Probe(w.FileName);
            EXPECT_TRUE(Has(probe, "width=3240\nheight=2160")) << probe;
            EXPECT_TRUE(Has(probe, "nb_read_frames=1")) << probe;
        }
    }

    const TBitmap wide = Pattern(40000, 2);
    const struct {
        int32_t w, h;
        uint64_t riffLimit;
    } refused[] = {{40000, 2, TAviWriter(0, 0).RiffLimit}, {200, 100, 64 << 10}};
    for (const auto& c : refused) {
        TAviWriter w(640, 480);
        w.FileName = (Dir / "refused.avi").string();
        w.Width = c.w;
        w.Height = c.h;
        w.RiffLimit = c.riffLimit;
        w.Bitmaps = {&wide};
        try {
            w.Write();
            ADD_FAILURE() << c.w << "x" << c.h;
        } catch (const EAviError& e) {
            EXPECT_EQ(e.Kind, TAviErrorKind::FrameTooLarge);
            EXPECT_EQ(std::tuple(e.Width, e.Height), std::tuple(c.w, c.h));
        }
        EXPECT_FALSE(fs::exists(w.FileName));
    }
}
