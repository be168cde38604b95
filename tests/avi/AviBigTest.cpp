// A day of pictures: 3,000 frames of 640x480, uncompressed, past two RIFFs into OpenDML.
#include "avi/AviWriter.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include "avi/AviTestSupport.h"
#include "support/TestFiles.h"

using namespace ocelis;
using namespace ocelis::test;
namespace fs = std::filesystem;

namespace {

struct TCycle : AviFrameSource {
    std::vector<TBitmap> Pictures;
    size_t Count() const override { return 3000; }
    bool Get(size_t i, TAviFrame& f) override {
        f.Picture = &Pictures[i % Pictures.size()];
        return true;
    }
};

TEST(AviBigTest, ThreeThousandFramesReadBackWhole) {
    const fs::path dir = FreshTestDir("avi-big");
    struct TRemove {
        fs::path Dir;
        ~TRemove() { fs::remove_all(Dir); }
    } remove{dir};
    TCycle source;
    for (int i = 0; i < 4; ++i)
        source.Pictures.push_back(Pattern(640, 480, i * 40));
    TAviWriter w(6400, 4800);
    w.FrameTime = 40;
    w.FileName = (dir / "day.avi").string();
    size_t last = 0;
    TAviProgress progress;
    progress.OnProgress = [&](size_t done, size_t) { last = done; };
    ASSERT_EQ(w.WriteFrames(source, progress), TAviResult::Written);
    EXPECT_EQ(last, 3000u);
    EXPECT_GT(fs::file_size(w.FileName), 3000u * (921600 + 8));
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak RSS %ld MB\n", usage.ru_maxrss / 1024);

    if (!HaveTool("ffprobe") || !HaveTool("mediainfo"))
        GTEST_SKIP() << "ffprobe/mediainfo not installed: file not read back";
    EXPECT_EQ(ProbeFramesAndRate(w.FileName), "25/1,3000\n");
    EXPECT_NE(RunTool("mediainfo '" + w.FileName + "'").find("OpenDML"), std::string::npos);
    EXPECT_EQ(RunTool("ffmpeg -v error -i '" + w.FileName + "' -f null -"), "");
}

} // namespace
