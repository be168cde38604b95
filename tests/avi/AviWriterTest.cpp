#include "avi/AviWriter.h"
#include "imaging/Jpeg.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "avi/AviTestSupport.h"
#include "platform/FileTestSupport.h"
#include "support/TestFiles.h"

using namespace ocelis;
using namespace ocelis::test;
namespace fs = std::filesystem;

namespace {

TBitmap Solid(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    TBitmap bm;
    bm.Resize(w, h);
    for (size_t i = 0; i < bm.Pixels.size(); i += 3) {
        bm.Pixels[i] = r;
        bm.Pixels[i + 1] = g;
        bm.Pixels[i + 2] = b;
    }
    return bm;
}

// Only the chosen file may be in the folder afterwards: no temporary beside it.
std::vector<std::string> FilesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// 16-bit mono PCM with a "LIST" chunk before the data, as editors write them.
std::string Wav(uint32_t rate, size_t samples) {
    std::string fmt, s;
    auto add = [](std::string& to, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            to += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    add(fmt, 1, 2), add(fmt, 1, 2), add(fmt, rate, 4), add(fmt, rate * 2, 4), add(fmt, 2, 2),
        add(fmt, 16, 2);
    std::string data;
    for (size_t i = 0; i < samples; ++i)
        add(data, static_cast<uint32_t>(i * 37), 2);
    s = "WAVEfmt ";
    add(s, 16, 4);
    s += fmt + "LIST";
    add(s, 4, 4);
    s += "INFOdata";
    add(s, static_cast<uint32_t>(data.size()), 4);
    s += data;
    std::string riff = "RIFF";
    add(riff, static_cast<uint32_t>(s.size()), 4);
    return riff + s;
}

size_t OpenDescriptors() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

class AviWriterTest : public ::testing::Test {
protected:
    void SetUp() override { Dir = FreshTestDir("avi"); }
    std::string Out(const std::string& name = "out.avi") { return (Dir / name).string(); }
    fs::path Dir;
};

TEST_F(AviWriterTest, DefaultsAndWavFileNameRule) {
    TAviWriter w(1920, 1080);
    EXPECT_EQ(w.Width, 192);
    EXPECT_EQ(w.Height, 108);
    EXPECT_EQ(w.FrameTime, 1000);
    EXPECT_TRUE(w.Stretch);
    EXPECT_TRUE(w.FileName.empty());
    EXPECT_TRUE(w.WavFileName().empty());

    const std::string refused = "WavFileName must name a file with the .wav extension";
    struct {
        std::string name;
        bool ok;
        std::string after;
    } steps[] = {{"a.mp3", false, ""},
                 {"/x/song.WAV", true, "/x/song.WAV"},
                 {"/X/SONG.wav", true, "/x/song.WAV"}, // same name ignoring case: kept
                 {"b.wav.txt", false, "/x/song.WAV"},
                 {"", false, "/x/song.WAV"},
                 {"/d.wav/noext", false, "/x/song.WAV"},
                 {"c.Wav", true, "c.Wav"}};
    for (const auto& s : steps) {
        if (s.ok) {
            EXPECT_NO_THROW(w.SetWavFileName(s.name)) << s.name;
        } else {
            try {
                w.SetWavFileName(s.name);
                ADD_FAILURE() << s.name;
            } catch (const EAviError& e) {
                EXPECT_EQ(e.what(), refused);
            }
        }
        EXPECT_EQ(w.WavFileName(), s.after) << s.name;
    }
}

TEST_F(AviWriterTest, RefusesBadInputBeforeTouchingAnyFile) {
    const TBitmap a = Pattern(4, 4), empty;
    struct {
        std::vector<const TBitmap*> list;
        std::string message;
    } cases[] = {{{}, "No bitmaps on the Bitmaps list"},
                 {{&a, &a, nullptr, nullptr}, "Bitmaps[2] is not a TBitmap"},
                 {{&empty}, "Bitmaps[0] is not a TBitmap"}};
    for (const auto& c : cases) {
        TAviWriter w(100, 100);
        w.FileName = Out();
        w.Bitmaps = c.list;
        try {
            w.Write();
            ADD_FAILURE() << c.message;
        } catch (const EAviError& e) {
            EXPECT_EQ(e.what(), c.message);
        }
        EXPECT_TRUE(FilesIn(Dir).empty());
    }
}

TEST_F(AviWriterTest, FileLayoutOfUncompressedFrames) {
    // Width 101: 303 pixel bytes and one padding byte a row. Left half red, right half blue
    // stretched over the frame; the bottom picture row comes first.
    TBitmap pic = Solid(2, 2, 255, 0, 0);
    pic.Row(0)[3] = 0, pic.Row(0)[5] = 255, pic.Row(1)[3] = 0, pic.Row(1)[5] = 255;
    pic.Row(1)[0] = 0, pic.Row(1)[1] = 255; // bottom left green
    TAviWriter w(100, 100);
    w.Width = 101;
    w.Height = 4;
    w.FrameTime = 500;
    w.FileName = Out();
    w.Bitmaps = {&pic};
    w.Write();
    EXPECT_EQ(FilesIn(Dir), std::vector<std::string>{"out.avi"});

    const std::string file = ReadFileBytes(Out());
    const auto all = Chunks(file);
    ASSERT_EQ(Find(all, "strh").size(), 1u);
    const std::string_view strh = Find(all, "strh")[0].Data;
    EXPECT_EQ(strh.substr(0, 8), std::string_view("vids\0\0\0\0", 8));
    EXPECT_EQ(Le32At(strh, 20), 500u);  // scale
    EXPECT_EQ(Le32At(strh, 24), 1000u); // rate
    EXPECT_EQ(Le32At(strh, 32), 1u);    // length
    EXPECT_EQ(Le16At(strh, 52), 101u);
    EXPECT_EQ(Le16At(strh, 54), 4u);
    const std::string_view strf = Find(all, "strf")[0].Data;
    ASSERT_EQ(strf.size(), 40u);
    EXPECT_EQ(Le32At(strf, 4), 101u);
    EXPECT_EQ(Le32At(strf, 8), 4u); // positive: bottom-up
    EXPECT_EQ(Le32At(strf, 12), 1u | 24u << 16);
    EXPECT_EQ(Le32At(strf, 16), 0u);
    EXPECT_EQ(Le32At(strf, 20), 304u * 4);

    const auto frames = Find(all, "LIST:movi/00db");
    ASSERT_EQ(frames.size(), 1u);
    const std::string_view px = frames[0].Data;
    ASSERT_EQ(px.size(), 304u * 4);
    auto bgr = [&](int row, int x) { return std::string(px.substr(row * 304 + x * 3, 3)); };
    EXPECT_EQ(bgr(0, 0), std::string("\0\xff\0", 3)); // bottom row first: green
    EXPECT_EQ(bgr(3, 0), std::string("\0\0\xff", 3)); // top row: red (stored B, G, R)
    EXPECT_EQ(bgr(3, 100), std::string("\xff\0\0", 3));
    EXPECT_EQ(px[303], '\0');
    const std::string_view idx1 = Find(all, "idx1")[0].Data;
    ASSERT_EQ(idx1.size(), 16u);
    EXPECT_EQ(idx1.substr(0, 4), "00db");
    EXPECT_EQ(Le32At(idx1, 4), 0x10u); // key frame
    EXPECT_EQ(Le32At(idx1, 12), 304u * 4);
    EXPECT_TRUE(Find(all, "dmlh").empty()); // a small file stays AVI 1.0
}

TEST_F(AviWriterTest, UnstretchedPictureOnItsCornerColour) {
    TBitmap small = Pattern(3, 2), big = Pattern(9, 9, 5);
    const uint8_t* c = small.Row(0);
    std::vector<uint8_t> frame(AviRowBytes(5) * 4);
    DrawAviFrame(small, false, 5, 4, frame.data());
    auto at = [&](std::vector<uint8_t>& f, int w, int h, int x, int y) {
        return f.data() + (h - 1 - y) * AviRowBytes(w) + x * 3;
    };
    for (auto [x, y] : {std::pair{4, 0}, {0, 3}, {3, 2}, {4, 3}}) {
        const uint8_t* p = at(frame, 5, 4, x, y);
        EXPECT_EQ(std::vector<uint8_t>(p, p + 3), (std::vector<uint8_t>{c[2], c[1], c[0]}));
    }
    const uint8_t* p = at(frame, 5, 4, 2, 1);
    EXPECT_EQ(p[2], small.Row(1)[6]);
    DrawAviFrame(big, false, 5, 4, frame.data()); // cut off at the right and bottom
    p = at(frame, 5, 4, 4, 3);
    EXPECT_EQ(p[0], big.Row(3)[14]);
}

TEST_F(AviWriterTest, JpegFilesSkipDamagedAndReportProgress) {
    const fs::path a = Dir / "in/a.jpg", bad = Dir / "in/bad.jpg", big = Dir / "in/big.jpg";
    WriteFileBytes(a, EncodeJpeg(Pattern(40, 30)));
    WriteFileBytes(bad, "not a picture");
    WriteFileBytes(big, EncodeJpeg(Pattern(60, 50)));
    // Every row of the frame's size there, the end marker not: cut right after the scan
    // data, and stray bytes in the marker's place.
    const fs::path cut = Dir / "in/cut.jpg", noEnd = Dir / "in/noend.jpg";
    const std::string whole = ReadFileBytes(a), scan = whole.substr(0, whole.size() - 2);
    WriteFileBytes(cut, scan);
    WriteFileBytes(noEnd, scan + std::string(8, '\0'));
    struct {
        std::vector<fs::path> files;
        int frames, w, h;
    } cases[] = {{{a, bad, big, Dir / "in/missing.jpg", Dir / "in", a}, 3, 40, 30},
                 {{bad, a}, 1, 64, 48}, // first damaged: the default size
                 {{a, cut, noEnd, a}, 2, 40, 30}};
    for (const auto& c : cases) {
        TAviWriter w(640, 480);
        w.Stretch = false;
        w.FileName = Out();
        std::vector<std::pair<size_t, size_t>> seen;
        TAviProgress progress;
        progress.OnProgress = [&](size_t done, size_t total) { seen.push_back({done, total}); };
        EXPECT_EQ(w.WriteJpegFiles(c.files, progress), TAviResult::Written);
        EXPECT_EQ(seen.size(), c.files.size());
        EXPECT_EQ(seen.back(), std::make_pair(c.files.size(), c.files.size()));
        const std::string bytes = ReadFileBytes(Out());
        const auto all = Chunks(bytes);
        const auto frames = Find(all, "00db");
        ASSERT_EQ(frames.size(), size_t(c.frames));
        EXPECT_TRUE(frames.front().Data == frames.back().Data); // decoded into the frame, or drawn
        EXPECT_EQ(Le32At(Find(all, "strf")[0].Data, 4), uint32_t(c.w));
        EXPECT_EQ(Le32At(Find(all, "strf")[0].Data, 8), uint32_t(c.h));
    }
    // Nothing loadable (or nothing at all): an error and no file.
    for (const auto& files : {std::vector<fs::path>{bad, bad}, std::vector<fs::path>{}}) {
        TAviWriter w(640, 480);
        w.FileName = Out("none.avi");
        EXPECT_THROW(w.WriteJpegFiles(files), EAviError);
        EXPECT_FALSE(fs::exists(Out("none.avi")));
    }
    EXPECT_EQ(FilesIn(Dir), (std::vector<std::string>{"in", "out.avi"}));
}

// Only regular files are read, without blocking, the JPEG files up to 64 MiB each.
TEST_F(AviWriterTest, InputsAreRegularFilesWithinTheLimit) {
    const fs::path in = Dir / "in";
    const std::string jpeg = EncodeJpeg(Pattern(40, 30));
    WriteFileBytes(in / "a.jpg", jpeg);
    // Bytes after the end marker do not matter to the decode: only the bound refuses "over".
    for (const auto& [name, size] :
         {std::pair{"limit.jpg", 64u << 20}, {"over.jpg", (64u << 20) + 1}}) {
        WriteFileBytes(in / name, jpeg);
        fs::resize_file(in / name, size);
    }
    const std::string fifo = (in / "fifo").string();
    ASSERT_TRUE(MakeFifo(fifo));
    for (const char* name : {"fifo.jpg", "fifo.wav"})
        fs::create_symlink(fifo, in / name);
    for (const char* name : {"zero.jpg", "zero.wav"})
        fs::create_symlink("/dev/zero", in / name);

    TAviWriter w(640, 480);
    w.FileName = Out();
    const std::vector<fs::path> files = {in / "a.jpg",     in / "fifo.jpg", in / "zero.jpg",
                                         in / "limit.jpg", in / "over.jpg", in / "a.jpg"};
    EXPECT_TRUE(EndsWithin(
        std::chrono::seconds(10), [&] { w.WriteJpegFiles(files); }, FifoUnblocker(fifo)));
    const std::string bytes = ReadFileBytes(Out());
    EXPECT_EQ(Find(Chunks(bytes), "00db").size(), 3u); // a, limit, a

    const TBitmap pic = Pattern(40, 30);
    w.Bitmaps = {&pic};
    for (const char* name : {"fifo.wav", "zero.wav"}) {
        std::string message;
        EXPECT_TRUE(EndsWithin(
            std::chrono::seconds(10),
            [&] {
                try {
                    w.SetWavFileName((in / name).string());
                    w.Write();
                } catch (const EAviError& e) {
                    message = e.what();
                }
            },
            FifoUnblocker(fifo)));
        EXPECT_EQ(message, "A disk error occurred while opening the audio file.") << name;
    }
}

// Helpers decode side by side; the frames still come out in list order.
TEST_F(AviWriterTest, FramesInOrderAndSourceErrorsReported) {
    std::vector<fs::path> files;
    for (int i = 0; i < 24; ++i) {
        files.push_back(Dir / ("in/" + std::to_string(i) + ".jpg"));
        const auto v = static_cast<uint8_t>(i * 10);
        WriteFileBytes(files.back(), EncodeJpeg(Solid(16, 16, v, v, v)));
    }
    TAviWriter w(640, 480);
    w.FileName = Out();
    w.WriteJpegFiles(files);
    const std::string bytes = ReadFileBytes(Out());
    const auto frames = Find(Chunks(bytes), "00db");
    ASSERT_EQ(frames.size(), files.size());
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_NEAR(static_cast<uint8_t>(frames[i].Data[0]), i * 10, 2) << i;

    struct TFailing : AviFrameSource {
        std::string Jpeg;
        size_t Count() const override { return 40; }
        bool Get(size_t i, TAviFrame& f) override {
            if (i == 17)
                throw std::runtime_error("camera folder gone");
            f.Jpeg = Jpeg;
            return true;
        }
    } failing;
    failing.Jpeg = ReadFileBytes(files[3]);
    w.FileName = Out("failed.avi");
    try {
        w.WriteFrames(failing);
        ADD_FAILURE();
    } catch (const EAviError& e) {
        EXPECT_STREQ(e.what(), "camera folder gone");
    }
    EXPECT_FALSE(fs::exists(Out("failed.avi")));
}

TEST_F(AviWriterTest, MjpegKeepsBytesAndEncodesOtherSizes) {
    std::vector<fs::path> files;
    std::vector<std::string> jpegs = {EncodeJpeg(Pattern(48, 32, 1)),
                                      EncodeJpeg(Pattern(48, 32, 2)) + std::string(3, '\0'),
                                      EncodeJpeg(Pattern(20, 20, 3)), "\xff\xd8\xff\xe0junk",
                                      EncodeJpeg(Pattern(48, 32, 4)).substr(0, 500)};
    for (size_t i = 0; i < jpegs.size(); ++i) {
        files.push_back(Dir / ("in/" + std::to_string(i) + ".jpg"));
        WriteFileBytes(files.back(), jpegs[i]);
    }
    TAviWriter w(640, 480);
    w.KeepJpeg = true;
    w.Stretch = false;
    w.FileName = Out();
    w.WriteJpegFiles(files);
    const std::string bytes = ReadFileBytes(Out());
    const auto all = Chunks(bytes);
    EXPECT_EQ(Find(all, "strh")[0].Data.substr(0, 8), "vidsMJPG");
    EXPECT_EQ(Find(all, "strf")[0].Data.substr(16, 4), "MJPG");
    const auto frames = Find(all, "00dc");
    ASSERT_EQ(frames.size(), 3u); // the damaged and the truncated one are skipped
    EXPECT_EQ(frames[0].Data, jpegs[0]);
    EXPECT_EQ(frames[1].Data, jpegs[1]);
    const TJpegCheck again = CheckJpegMarkers(frames[2].Data);
    EXPECT_TRUE(again.Valid && again.Passable);
    EXPECT_EQ(again.Width, 48);
    EXPECT_EQ(again.Height, 32);
    if (!HaveTool("ffmpeg"))
        GTEST_SKIP() << "ffmpeg not installed: file not read back";
    EXPECT_EQ(RunTool("ffmpeg -v error -i '" + Out() + "' -f null -"), "");
    EXPECT_EQ(ProbeFramesAndRate(Out()), "1/1,3\n");
}

TEST_F(AviWriterTest, CancelAndWriteFailuresLeaveNoFile) {
    WriteFileBytes(Out(), "old");
    const TBitmap pic = Pattern(64, 48);
    struct TSource : AviFrameSource {
        const TBitmap* Pic;
        std::atomic<bool>* Cancel;
        size_t Count() const override { return 50; }
        bool Get(size_t i, TAviFrame& f) override {
            if (i == 5 && Cancel)
                *Cancel = true;
            f.Picture = Pic;
            return true;
        }
    };
    std::atomic<bool> cancel{false};
    TSource source;
    source.Pic = &pic;
    source.Cancel = &cancel;
    TAviWriter w(640, 480);
    w.FileName = Out();
    TAviProgress progress;
    progress.Cancel = &cancel;
    EXPECT_EQ(w.WriteFrames(source, progress), TAviResult::Cancelled);
    EXPECT_EQ(ReadFileBytes(Out()), "old");
    EXPECT_EQ(FilesIn(Dir), std::vector<std::string>{"out.avi"});

    // A full disk, made with a file size limit: the write fails and says so.
    source.Cancel = nullptr;
    TAviWriter full(6400, 4800);
    full.FileName = Out();
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 100'000;
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    std::string message;
    try {
        full.WriteFrames(source);
    } catch (const EAviError& e) {
        message = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(message, "Failed to add frame to AVI. Err=0000001B"); // EFBIG
    EXPECT_EQ(ReadFileBytes(Out()), "old");
    EXPECT_EQ(FilesIn(Dir), std::vector<std::string>{"out.avi"});

    for (const std::string& name :
         {(Dir / "no/such/folder/x.avi").string(), Dir.string(), std::string()}) {
        w.FileName = name;
        try {
            w.WriteFrames(source);
            ADD_FAILURE() << name;
        } catch (const EAviError& e) {
            EXPECT_STREQ(e.what(), "Failed to create AVI video work file");
        }
    }
    w.FileName = Out("huge.avi");
    w.SuperIndexEntries = 2;
    w.RiffLimit = 64 << 10;
    EXPECT_THROW(w.WriteFrames(source), EAviError); // refused before writing
    EXPECT_EQ(FilesIn(Dir), std::vector<std::string>{"out.avi"});
}

TEST_F(AviWriterTest, WavAudioCopiedUnchanged) {
    const std::string wav = Wav(8000, 12000); // 1.5 s
    WriteFileBytes(Dir / "in/a.wav", wav);
    WriteFileBytes(Dir / "in/bad.wav", std::string("RIFF\4\0\0\0WAVXfmt ", 16));
    WriteFileBytes(Dir / "in/short.wav", "RIFF");
    WriteFileBytes(Dir / "in/nodata.wav", wav.substr(0, 36));
    fs::create_directories(Dir / "in/folder.wav");
    const TBitmap pic = Pattern(32, 24);
    TAviWriter w(640, 480);
    w.Width = 32;
    w.Height = 24;
    w.FrameTime = 500;
    w.Bitmaps = {&pic, &pic, &pic};
    struct {
        std::string wav, message;
    } failures[] = {{"in/missing.wav", "A disk error occurred while opening the audio file."},
                    {"in/folder.wav", "A disk error occurred while opening the audio file."},
                    {"in/bad.wav", "The file could not be read, indicating a corrupt file or "
                                   "an unrecognized format."},
                    {"in/short.wav", "The file could not be read, indicating a corrupt file or "
                                     "an unrecognized format."},
                    {"in/nodata.wav", "Unable to get audio stream"}};
    for (const auto& f : failures) {
        w.FileName = Out("fail.avi");
        const size_t descriptors = OpenDescriptors();
        try {
            w.SetWavFileName((Dir / f.wav).string());
            w.Write();
            ADD_FAILURE() << f.wav;
        } catch (const EAviError& e) {
            EXPECT_EQ(e.what(), f.message);
        }
        EXPECT_FALSE(fs::exists(Out("fail.avi")));
        EXPECT_EQ(OpenDescriptors(), descriptors) << f.wav; // the WAV file was closed
    }
    w.SetWavFileName((Dir / "in/a.wav").string());
    w.FileName = Out();
    w.Write();
    const std::string bytes = ReadFileBytes(Out());
    const auto all = Chunks(bytes);
    const auto strh = Find(all, "strh"), strf = Find(all, "strf");
    ASSERT_EQ(strh.size(), 2u);
    EXPECT_EQ(strh[1].Data.substr(0, 4), "auds");
    EXPECT_EQ(strf[1].Data, wav.substr(20, 16));
    std::string audio;
    for (const auto& c : Find(all, "01wb"))
        audio += c.Data;
    EXPECT_EQ(audio, wav.substr(wav.size() - 24000));
    if (!HaveTool("ffprobe"))
        GTEST_SKIP() << "ffprobe not installed: file not read back";
    EXPECT_EQ(
        RunTool("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '" + Out() + "'"),
        "video\naudio\n");
    EXPECT_EQ(RunTool("ffmpeg -v error -i '" + Out() + "' -f null -"), "");
}

// Independent readers: frame count and rate, a clean decode, and the pixels themselves.
TEST_F(AviWriterTest, ReadersAgree) {
    if (!HaveTool("ffprobe") || !HaveTool("ffmpeg"))
        GTEST_SKIP() << "ffmpeg/ffprobe not installed: files not read back";
    const TBitmap a = Pattern(33, 17, 1), b = Pattern(33, 17, 9);
    struct {
        int frameTime;
        std::string expected;
    } cases[] = {{500, "2/1,4\n"}, {1, "1000/1,4\n"}, {0, "1000/1,4\n"}}; // 0 as 1
    for (const auto& c : cases) {
        TAviWriter w(640, 480);
        w.Width = 33;
        w.Height = 17;
        w.FrameTime = c.frameTime;
        w.FileName = Out();
        w.Bitmaps = {&a, &b, &a, &b};
        w.Write();
        EXPECT_EQ(ProbeFramesAndRate(Out()), c.expected) << c.frameTime;
        EXPECT_EQ(RunTool("ffmpeg -v error -i '" + Out() + "' -f null -"), "");
    }
    const std::string rgb =
        RunTool("ffmpeg -v error -i '" + Out() + "' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
    EXPECT_TRUE(rgb == std::string(a.Pixels.begin(), a.Pixels.end())); // lossless, upright
}

TEST_F(AviWriterTest, OpenDmlPastTheFirstRiff) {
    const TBitmap a = Pattern(64, 48, 1), b = Pattern(64, 48, 2);
    WriteFileBytes(Dir / "in/a.wav", Wav(8000, 8000 * 11));
    const bool readers = HaveTool("ffprobe") && HaveTool("mediainfo");
    for (const bool mjpeg : {false, true}) {
        SCOPED_TRACE(mjpeg ? "MJPG" : "uncompressed");
        const std::string frameId = mjpeg ? "00dc" : "00db";
        TAviWriter w(640, 480);
        w.Width = 64;
        w.Height = 48;
        w.FrameTime = 250;
        w.KeepJpeg = mjpeg;
        w.RiffLimit = 64 << 10; // a few frames a RIFF instead of about 1,100
        w.SuperIndexEntries = 16;
        w.FileName = Out();
        for (int i = 0; i < 40; ++i)
            w.Bitmaps.push_back(i % 2 ? &a : &b);
        w.SetWavFileName((Dir / "in/a.wav").string());
        w.Write();

        const std::string file = ReadFileBytes(Out());
        const auto all = Chunks(file);
        std::vector<TRiffChunk> tops;
        for (const auto& c : all)
            if (c.Path.rfind("RIFF:", 0) == 0 && c.Path.size() == 10)
                tops.push_back(c);
        ASSERT_GE(tops.size(), 3u);
        for (size_t i = 0; i < tops.size(); ++i) {
            EXPECT_LE(tops[i].Data.size() + 8, w.RiffLimit);
            EXPECT_EQ(tops[i].Path, i ? "RIFF:AVIX/" : "RIFF:AVI /");
        }
        const size_t firstFrames = Find(all, "RIFF:AVI /LIST:movi/" + frameId).size();
        EXPECT_EQ(Find(all, "idx1").size(), 1u);
        const auto indx = Find(all, "indx");
        ASSERT_EQ(indx.size(), 2u);
        size_t riffsWithFrames = 0; // the last RIFF may hold audio alone
        for (const auto& top : tops)
            riffsWithFrames += std::any_of(all.begin(), all.end(), [&](const TRiffChunk& c) {
                return c.Path.ends_with(frameId) && c.Offset > top.Offset &&
                       c.Offset < top.Offset + top.Data.size();
            });
        EXPECT_EQ(Le32At(indx[0].Data, 4), riffsWithFrames); // one standard index per RIFF
        uint32_t indexed = 0;
        for (uint32_t i = 0; i < Le32At(indx[0].Data, 4); ++i) {
            const size_t at = static_cast<size_t>(Le32At(indx[0].Data, 24 + 16 * i));
            EXPECT_EQ(file.substr(at, 4), "ix00");
            indexed += Le32At(indx[0].Data, 24 + 16 * i + 12);
        }
        EXPECT_EQ(indexed, 40u);
        EXPECT_EQ(Le32At(Find(all, "dmlh")[0].Data, 0), 40u);
        EXPECT_EQ(Le32At(Find(all, "avih")[0].Data, 16), firstFrames);
        EXPECT_EQ(Le32At(Find(all, "strh")[0].Data, 32), 40u);
        if (!readers)
            continue;
        EXPECT_EQ(ProbeFramesAndRate(Out()), "4/1,40\n");
        EXPECT_EQ(RunTool("ffmpeg -v error -i '" + Out() + "' -f null -"), "");
        EXPECT_NE(RunTool("mediainfo '" + Out() + "'").find("OpenDML"), std::string::npos);
    }
    if (!readers)
        GTEST_SKIP() << "ffprobe or mediainfo not installed: files not read back";
}

} // namespace
