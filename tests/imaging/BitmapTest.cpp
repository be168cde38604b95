#include "imaging/Bitmap.h"

#include <gtest/gtest.h>

using namespace ocelis;

namespace {

Bitmap Filled(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    Bitmap bmp;
    bmp.resize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            bmp.row(y)[x * 3] = r;
            bmp.row(y)[x * 3 + 1] = g;
            bmp.row(y)[x * 3 + 2] = b;
        }
    return bmp;
}

} // namespace

TEST(Bitmap, ResizeSetsSizeAndRoom) {
    Bitmap b;
    EXPECT_TRUE(b.empty());
    b.resize(7, 5);
    EXPECT_FALSE(b.empty());
    EXPECT_EQ(b.stride(), 21u);
    EXPECT_EQ(b.pixels.size(), 105u);
    EXPECT_EQ(b.row(2) - b.row(0), 42);
    b.resize(-3, 4);
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(b.pixels.size(), 0u);
}

TEST(FitSize, KeepsProportionsInsideTheBox) {
    int32_t w = 0, h = 0;
    FitSize(1920, 1080, 160, 120, w, h);
    EXPECT_EQ(w, 160);
    EXPECT_EQ(h, 90);
    FitSize(480, 640, 160, 120, w, h);
    EXPECT_EQ(w, 90);
    EXPECT_EQ(h, 120);
    FitSize(640, 480, 160, 120, w, h);
    EXPECT_EQ(w, 160);
    EXPECT_EQ(h, 120);
    FitSize(10, 5, 160, 120, w, h); // enlarged
    EXPECT_EQ(w, 160);
    EXPECT_EQ(h, 80);
    FitSize(10000, 1, 160, 120, w, h); // never below one pixel
    EXPECT_EQ(w, 160);
    EXPECT_EQ(h, 1);
    FitSize(0, 10, 160, 120, w, h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
}

TEST(ScaleBitmap, AveragesAreasWhenShrinking) {
    Bitmap src;
    src.resize(2, 2);
    const uint8_t v[12] = {0, 10, 200, 100, 20, 200, 40, 30, 0, 60, 40, 0};
    std::copy(v, v + 12, src.pixels.begin());
    const Bitmap one = ScaleBitmap(src, 1, 1);
    ASSERT_EQ(one.width, 1);
    ASSERT_EQ(one.height, 1);
    EXPECT_EQ(one.pixels[0], 50);  // (0+100+40+60)/4
    EXPECT_EQ(one.pixels[1], 25);  // (10+20+30+40)/4
    EXPECT_EQ(one.pixels[2], 100); // (200+200+0+0)/4

    Bitmap ramp;
    ramp.resize(4, 1);
    for (int x = 0; x < 4; ++x)
        ramp.pixels[static_cast<size_t>(x) * 3] = static_cast<uint8_t>(x * 60);
    const Bitmap half = ScaleBitmap(ramp, 2, 1);
    EXPECT_EQ(half.pixels[0], 30);  // (0+60)/2
    EXPECT_EQ(half.pixels[3], 150); // (120+180)/2
}

TEST(ScaleBitmap, FlatColourStaysFlatAtAnySize) {
    const Bitmap src = Filled(37, 23, 12, 200, 99);
    for (auto [w, h] : {std::pair{5, 3}, {37, 23}, {100, 7}, {1, 1}, {200, 150}}) {
        const Bitmap out = ScaleBitmap(src, w, h);
        ASSERT_EQ(out.width, w);
        ASSERT_EQ(out.height, h);
        ASSERT_EQ(out.pixels.size(), static_cast<size_t>(w * h * 3));
        for (size_t i = 0; i < out.pixels.size(); i += 3) {
            ASSERT_EQ(out.pixels[i], 12);
            ASSERT_EQ(out.pixels[i + 1], 200);
            ASSERT_EQ(out.pixels[i + 2], 99);
        }
    }
    const Bitmap up = ScaleBitmap(Filled(1, 1, 7, 8, 9), 300, 2);
    EXPECT_EQ(up.pixels[299 * 3 + 2], 9);
}

TEST(ScaleBitmap, EmptySourceOrTargetGivesEmpty) {
    EXPECT_TRUE(ScaleBitmap(Bitmap{}, 10, 10).empty());
    EXPECT_TRUE(ScaleBitmap(Filled(4, 4, 1, 2, 3), 0, 10).empty());
    EXPECT_TRUE(ScaleBitmap(Filled(4, 4, 1, 2, 3), 10, -1).empty());
}
