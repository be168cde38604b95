#include "imaging/Jpeg.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <jpeglib.h>

#include "platform/FileTestSupport.h"
#include "support/TestFiles.h"

using namespace ocelis;

namespace {

// A picture with structure in both directions and every channel.
TBitmap Pattern(int w, int h) {
    TBitmap b;
    b.Resize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = b.Row(y) + x * 3;
            p[0] = static_cast<uint8_t>(x * 255 / std::max(w - 1, 1));
            p[1] = static_cast<uint8_t>(y * 255 / std::max(h - 1, 1));
            p[2] = static_cast<uint8_t>(128 + 100 * std::sin((x + 2 * y) / 9.0));
        }
    return b;
}

double MeanAbsDiff(const TBitmap& a, const TBitmap& b) {
    double sum = 0;
    for (size_t i = 0; i < a.Pixels.size(); ++i)
        sum += std::abs(int(a.Pixels[i]) - int(b.Pixels[i]));
    return sum / static_cast<double>(a.Pixels.size());
}

// Writes a JPEG with libjpeg directly, for layouts our encoder does not produce.
std::string RawEncode(int w, int h, int components, J_COLOR_SPACE in, bool progressive,
                      const std::vector<uint8_t>& samples) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buf, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = components;
    c.in_color_space = in;
    jpeg_set_defaults(&c);
    if (progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(samples.data() + size_t(c.next_scanline) * size_t(w * components));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::string out(reinterpret_cast<char*>(buf), size);
    std::free(buf);
    return out;
}

// Offset of the first marker FF <code> after SOI, or npos.
size_t FindMarker(const std::string& j, uint8_t code) {
    for (size_t i = 2; i + 1 < j.size(); ++i)
        if (uint8_t(j[i]) == 0xFF && uint8_t(j[i + 1]) == code)
            return i;
    return std::string::npos;
}

} // namespace

TEST(JpegCodec, EncodeThenDecodeGivesBackThePicture) {
    const TBitmap src = Pattern(97, 61); // sizes that are not multiples of the block size
    const std::string jpeg = EncodeJpeg(src);
    ASSERT_GE(jpeg.size(), 4u);
    EXPECT_EQ(uint8_t(jpeg[0]), 0xFF);
    EXPECT_EQ(uint8_t(jpeg[1]), 0xD8);
    EXPECT_EQ(uint8_t(jpeg[jpeg.size() - 2]), 0xFF);
    EXPECT_EQ(uint8_t(jpeg[jpeg.size() - 1]), 0xD9);

    const TBitmap back = DecodeJpeg(jpeg);
    ASSERT_EQ(back.Width, 97);
    ASSERT_EQ(back.Height, 61);
    ASSERT_EQ(back.Pixels.size(), src.Pixels.size());
    EXPECT_LT(MeanAbsDiff(src, back), 4.0);
}

TEST(JpegCodec, EncodesBaselineQuality90In24BitColour) {
    const std::string jpeg = EncodeJpeg(Pattern(32, 16));
    const size_t sof0 = FindMarker(jpeg, 0xC0);
    ASSERT_NE(sof0, std::string::npos) << "no baseline frame header";
    EXPECT_EQ(FindMarker(jpeg, 0xC2), std::string::npos) << "progressive frame";
    // SOF0: length(2) precision(1) height(2) width(2) components(1)
    EXPECT_EQ(uint8_t(jpeg[sof0 + 4]), 8);
    EXPECT_EQ((uint8_t(jpeg[sof0 + 5]) << 8) | uint8_t(jpeg[sof0 + 6]), 16);
    EXPECT_EQ((uint8_t(jpeg[sof0 + 7]) << 8) | uint8_t(jpeg[sof0 + 8]), 32);
    EXPECT_EQ(uint8_t(jpeg[sof0 + 9]), 3);
    // The first luminance quantiser is the standard 16 scaled to 20 % (quality 90).
    const size_t dqt = FindMarker(jpeg, 0xDB);
    ASSERT_NE(dqt, std::string::npos);
    EXPECT_EQ(uint8_t(jpeg[dqt + 5]), (16 * 20 + 50) / 100);
    // Other qualities really change it.
    const std::string q50 = EncodeJpeg(Pattern(32, 16), 50);
    EXPECT_EQ(uint8_t(q50[FindMarker(q50, 0xDB) + 5]), 16);
    const TJpegInfo info = ReadJpegInfo(jpeg);
    EXPECT_EQ(info.Width, 32);
    EXPECT_EQ(info.Height, 16);
    EXPECT_EQ(info.Components, 3);
    EXPECT_FALSE(info.Progressive);
}

TEST(JpegCodec, RefusesPicturesItCannotEncode) {
    EXPECT_THROW(EncodeJpeg(TBitmap{}), EJpegError);
    TBitmap broken;
    broken.Width = 10;
    broken.Height = 10;
    broken.Pixels.resize(10); // far fewer than 300 bytes
    EXPECT_THROW(EncodeJpeg(broken), EJpegError);
    TBitmap tooWide;
    tooWide.Resize(70000, 1);
    EXPECT_THROW(EncodeJpeg(tooWide), EJpegError); // libjpeg's own error, as an exception
}

TEST(JpegCodec, DecodesGrayscaleAsEqualChannels) {
    std::vector<uint8_t> gray(40 * 24);
    for (size_t i = 0; i < gray.size(); ++i)
        gray[i] = static_cast<uint8_t>(i % 40 * 6);
    const TBitmap b = DecodeJpeg(RawEncode(40, 24, 1, JCS_GRAYSCALE, false, gray));
    ASSERT_EQ(b.Width, 40);
    ASSERT_EQ(b.Height, 24);
    int maxErr = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 40; ++x) {
            const uint8_t* p = b.Row(y) + x * 3;
            ASSERT_EQ(p[0], p[1]);
            ASSERT_EQ(p[1], p[2]);
            maxErr = std::max(maxErr, std::abs(int(p[0]) - x * 6));
        }
    EXPECT_LT(maxErr, 24);
}

TEST(JpegCodec, DecodesAdobeCmykToRgb) {
    // Adobe files store inverted CMYK: 255 means no ink. Left half red, right half blue.
    std::vector<uint8_t> cmyk;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            const bool red = x < 16;
            cmyk.insert(cmyk.end(),
                        {uint8_t(red ? 255 : 0), uint8_t(0), uint8_t(red ? 0 : 255), uint8_t(255)});
        }
    const std::string jpeg = RawEncode(32, 16, 4, JCS_CMYK, false, cmyk);
    ASSERT_NE(FindMarker(jpeg, 0xEE), std::string::npos) << "expected an Adobe marker";
    EXPECT_EQ(ReadJpegInfo(jpeg).Components, 4);
    const TBitmap b = DecodeJpeg(jpeg);
    ASSERT_EQ(b.Width, 32);
    const uint8_t* red = b.Row(8) + 4 * 3;
    const uint8_t* blue = b.Row(8) + 28 * 3;
    EXPECT_GT(red[0], 230);
    EXPECT_LT(red[1], 25);
    EXPECT_LT(red[2], 25);
    EXPECT_LT(blue[0], 25);
    EXPECT_LT(blue[1], 25);
    EXPECT_GT(blue[2], 230);
}

TEST(JpegCodec, DecodesProgressiveAndLimitsItsScans) {
    const TBitmap src = Pattern(64, 48);
    const std::string jpeg =
        RawEncode(64, 48, 3, JCS_RGB, true, {src.Pixels.begin(), src.Pixels.end()});
    EXPECT_TRUE(ReadJpegInfo(jpeg).Progressive);
    const TBitmap back = DecodeJpeg(jpeg);
    ASSERT_EQ(back.Width, 64);
    EXPECT_LT(MeanAbsDiff(src, back), 4.0);
    TJpegLimits few;
    few.MaxProgressiveScans = 2; // simple progression writes 10 scans
    EXPECT_THROW(DecodeJpeg(jpeg, few), EJpegError);
}

TEST(JpegCodec, BadInputGivesCleanErrors) {
    EXPECT_THROW(DecodeJpeg(""), EJpegError);
    EXPECT_THROW(DecodeJpeg("not a jpeg at all"), EJpegError);
    EXPECT_THROW(ReadJpegInfo(std::string("\xFF\xD8\xFF", 3)), EJpegError);
    const std::string jpeg = EncodeJpeg(Pattern(64, 64));
    EXPECT_THROW(DecodeJpeg(jpeg.substr(0, 20)), EJpegError); // cut inside the headers
    try {
        DecodeJpeg("GIF89a....");
        FAIL() << "no error";
    } catch (const EJpegError& e) {
        EXPECT_NE(std::string(e.what()), ""); // libjpeg's message reaches the caller
    }
}

TEST(JpegCodec, DataCutShortIsAnError) {
    const TBitmap src = Pattern(64, 64);
    const std::string baseline = EncodeJpeg(src);
    const std::string progressive =
        RawEncode(64, 64, 3, JCS_RGB, true, {src.Pixels.begin(), src.Pixels.end()});
    for (const std::string& jpeg : {baseline, progressive}) {
        // Cut inside the picture data, and only the end marker missing.
        for (size_t keep : {jpeg.size() * 2 / 3, jpeg.size() - 2}) {
            EXPECT_THROW(DecodeJpeg(jpeg.substr(0, keep)), EJpegTruncatedError) << keep;
            EXPECT_THROW(DecodeJpegScaled(jpeg.substr(0, keep), 8, 8), EJpegError) << keep;
            EXPECT_THROW(LoadJpeg(jpeg.substr(0, keep)), EJpegError) << keep;
        }
        EXPECT_EQ(DecodeJpeg(jpeg + "junk after the end").Width, 64);
    }
}

// The decode into a frame refuses what the main decode refuses. Whether a cut before the
// end marker shows while the rows are read depends on how far the bit reader looks ahead:
// for the 88 x 52 picture it does not, and stray bytes in place of the marker never do.
TEST(JpegCodec, DecodeIntoRowsRefusesDataCutShortAsDecodeDoes) {
    const TBitmap square = Pattern(64, 64), wide = Pattern(88, 52);
    const struct {
        std::string jpeg;
        int w, h;
    } pictures[] = {
        {EncodeJpeg(square), 64, 64},
        {RawEncode(64, 64, 3, JCS_RGB, true, {square.Pixels.begin(), square.Pixels.end()}), 64, 64},
        {EncodeJpeg(wide), 88, 52},
    };
    for (const auto& p : pictures) {
        const std::string& jpeg = p.jpeg;
        const std::string noEnd = jpeg.substr(0, jpeg.size() - 2);
        const struct {
            std::string bytes;
            bool truncated;
        } cases[] = {
            {jpeg.substr(0, jpeg.size() * 2 / 3), true}, // inside the picture data
            {noEnd, true},                               // right after the last scan data
            {noEnd + std::string(8, '\0'), true},        // stray bytes, no end marker
            {jpeg, false},
            {jpeg + "junk after the end", false},
        };
        std::vector<uint8_t> frame(size_t(p.w) * size_t(p.h) * 3);
        std::vector<uint8_t*> rows;
        for (int y = 0; y < p.h; ++y)
            rows.push_back(frame.data() + size_t(y) * size_t(p.w) * 3);
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << p.w << "x" << p.h << ", " << c.bytes.size() << " of "
                                            << jpeg.size() << " bytes");
            if (c.truncated) {
                EXPECT_THROW(DecodeJpeg(c.bytes), EJpegTruncatedError);
                EXPECT_THROW(DecodeJpegBgrInto(c.bytes, p.w, p.h, rows.data()),
                             EJpegTruncatedError);
            } else {
                EXPECT_EQ(DecodeJpeg(c.bytes).Width, p.w);
                EXPECT_TRUE(DecodeJpegBgrInto(c.bytes, p.w, p.h, rows.data()));
            }
        }
    }
}

TEST(JpegCodec, RefusesOversizedHeadersBeforeAllocating) {
    std::string jpeg = EncodeJpeg(Pattern(16, 16));
    const size_t sof = FindMarker(jpeg, 0xC0);
    ASSERT_NE(sof, std::string::npos);
    // Claim 60000 by 60000 (3.6 gigapixels) in a file of a few hundred bytes.
    jpeg[sof + 5] = char(0xEA);
    jpeg[sof + 6] = char(0x60);
    jpeg[sof + 7] = char(0xEA);
    jpeg[sof + 8] = char(0x60);
    EXPECT_THROW(DecodeJpeg(jpeg), EJpegError);
    EXPECT_THROW(DecodeJpegScaled(jpeg, 10, 10), EJpegError);
    EXPECT_THROW(ReadJpegInfo(jpeg), EJpegError);

    const std::string small = EncodeJpeg(Pattern(100, 100));
    TJpegLimits tight;
    tight.MaxPixels = 9999;
    EXPECT_THROW(DecodeJpeg(small, tight), EJpegError);
    tight.MaxPixels = 10000;
    EXPECT_EQ(DecodeJpeg(small, tight).Width, 100);
    tight.MaxDimension = 99;
    EXPECT_THROW(DecodeJpeg(small, tight), EJpegError);
}

TEST(JpegScaled, PicksTheSmallestScaleThatCovers) {
    const std::string jpeg = EncodeJpeg(Pattern(640, 480));
    struct Case {
        int minW, minH, w, h;
    };
    for (const Case& c : {Case{160, 120, 160, 120}, Case{161, 120, 320, 240},
                          Case{80, 121, 320, 240}, Case{0, 0, 80, 60}, Case{81, 0, 160, 120},
                          Case{0, 241, 640, 480}, Case{1000, 1000, 640, 480}}) {
        const TBitmap b = DecodeJpegScaled(jpeg, c.minW, c.minH);
        EXPECT_EQ(b.Width, c.w) << c.minW << "x" << c.minH;
        EXPECT_EQ(b.Height, c.h) << c.minW << "x" << c.minH;
        EXPECT_EQ(b.Pixels.size(), size_t(c.w) * c.h * 3);
    }
    // Odd sizes round up.
    const TBitmap odd = DecodeJpegScaled(EncodeJpeg(Pattern(1001, 700)), 125, 80);
    EXPECT_EQ(odd.Width, 126);
    EXPECT_EQ(odd.Height, 88);
}

TEST(JpegScaled, LooksLikeTheFullPictureScaledDown) {
    const TBitmap src = Pattern(256, 128);
    const std::string jpeg = EncodeJpeg(src);
    const TBitmap small = DecodeJpegScaled(jpeg, 64, 32);
    ASSERT_EQ(small.Width, 64);
    const TBitmap reference = ScaleBitmap(DecodeJpeg(jpeg), 64, 32);
    EXPECT_LT(MeanAbsDiff(small, reference), 6.0);
}

TEST(JpegImage, KeepsTheOriginalBytes) {
    std::string jpeg = EncodeJpeg(Pattern(30, 20));
    jpeg += "trailing bytes after EOI";
    const TJpegImage image = LoadJpeg(jpeg);
    EXPECT_EQ(image.Bytes, jpeg);
    EXPECT_EQ(image.Bitmap.Width, 30);
    EXPECT_EQ(image.Bitmap.Height, 20);
    EXPECT_THROW(LoadJpeg("junk"), EJpegError);
}

TEST(JpegFiles, SaveAndLoadRoundTrip) {
    const auto dir = test::FreshTestDir("jpeg");
    const TBitmap src = Pattern(50, 40);
    SaveJpegFile(dir / "a.jpg", src);
    const TJpegImage back = LoadJpegFile(dir / "a.jpg");
    EXPECT_EQ(back.Bitmap.Width, 50);
    EXPECT_LT(MeanAbsDiff(src, back.Bitmap), 4.0);
    EXPECT_EQ(back.Bytes, test::ReadFileBytes(dir / "a.jpg"));

    EXPECT_THROW(LoadJpegFile(dir / "missing.jpg"), EJpegError);
    EXPECT_THROW(LoadJpegFile(dir / "a.jpg", {}, 100), EJpegError); // over the byte limit
    const std::string fifo = (dir / "fifo.jpg").string();
    ASSERT_TRUE(test::MakeFifo(fifo));
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        bool refused = false;
        EXPECT_TRUE(test::EndsWithin(
            std::chrono::seconds(2),
            [&] {
                try {
                    LoadJpegFile(path);
                } catch (const EJpegError&) {
                    refused = true;
                }
            },
            test::FifoUnblocker(fifo)));
        EXPECT_TRUE(refused) << path;
    }
    EXPECT_THROW(SaveJpegFile(dir / "no" / "such" / "dir.jpg", src), EJpegError);
    std::filesystem::remove_all(dir);
}

TEST(JpegFiles, SavingReplacesOnlyRegularFiles) {
    const auto dir = test::FreshTestDir("jpeg-save");
    const std::string fifo = (dir / "fifo").string();
    const std::string sock = (dir / "sock").string();
    ASSERT_TRUE(test::MakeFifo(fifo));
    ASSERT_TRUE(test::MakeSocketNode(sock));
    std::filesystem::create_symlink(fifo, dir / "fifo.jpg");
    std::filesystem::create_symlink(sock, dir / "sock.jpg");
    for (const char* name : {"fifo.jpg", "sock.jpg"}) {
        SCOPED_TRACE(name);
        bool refused = false;
        EXPECT_TRUE(test::EndsWithin(
            std::chrono::seconds(2),
            [&] {
                try {
                    SaveJpegFile(dir / name, Pattern(8, 8));
                } catch (const EJpegError&) {
                    refused = true;
                }
            },
            test::FifoDrainer(fifo)));
        EXPECT_TRUE(refused);
        EXPECT_TRUE(std::filesystem::is_symlink(dir / name));
    }
    EXPECT_EQ(std::filesystem::status(fifo).type(), std::filesystem::file_type::fifo);
    EXPECT_EQ(std::filesystem::status(sock).type(), std::filesystem::file_type::socket);
    std::filesystem::remove_all(dir);
}

TEST(Jpeg, DecodesAtAGivenScaleWithTheFullDecodesQuality) {
    const std::string jpeg = EncodeJpeg(Pattern(1001, 700));
    EXPECT_EQ(DecodeJpegAtScale(jpeg, 1), DecodeJpeg(jpeg));
    struct Case {
        int denominator, w, h;
    };
    for (const Case c : {Case{2, 501, 350}, Case{4, 251, 175}, Case{8, 126, 88}}) {
        const TBitmap b = DecodeJpegAtScale(jpeg, c.denominator);
        EXPECT_EQ(b.Width, c.w) << c.denominator;
        EXPECT_EQ(b.Height, c.h) << c.denominator;
        EXPECT_EQ(JpegScaledLength(1001, c.denominator), c.w);
        EXPECT_EQ(JpegScaledLength(700, c.denominator), c.h);
    }
    for (int bad : {0, 3, 16, -1})
        EXPECT_THROW(DecodeJpegAtScale(jpeg, bad), EJpegError) << bad;
    EXPECT_THROW(DecodeJpegAtScale(jpeg.substr(0, jpeg.size() / 2), 4), EJpegTruncatedError);
}

TEST(Jpeg, ScaleDenominatorIsTheSmallestThatStillCovers) {
    struct Case {
        int w, h, minW, minH, denominator;
    };
    for (const Case c :
         {Case{1280, 720, 160, 90, 8}, Case{1280, 720, 161, 90, 4}, Case{1280, 720, 320, 181, 2},
          Case{1280, 720, 641, 1, 1}, Case{1280, 720, 0, 0, 8}, Case{1281, 721, 321, 181, 4}})
        EXPECT_EQ(JpegScaleDenominator(c.w, c.h, c.minW, c.minH), c.denominator)
            << c.minW << "x" << c.minH;
}
