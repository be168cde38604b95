#include "imaging/Bitmap.h"

#include <gtest/gtest.h>

using namespace ocelis;

namespace {

TBitmap Filled(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    TBitmap bmp;
    bmp.Resize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            bmp.Row(y)[x * 3] = r;
            bmp.Row(y)[x * 3 + 1] = g;
            bmp.Row(y)[x * 3 + 2] = b;
        }
    return bmp;
}

} // namespace

TEST(Bitmap, ResizeSetsSizeAndRoom) {
    TBitmap b;
    EXPECT_TRUE(b.Empty());
    b.Resize(7, 5);
    EXPECT_FALSE(b.Empty());
    EXPECT_EQ(b.Stride(), 21u);
    EXPECT_EQ(b.Pixels.size(), 105u);
    EXPECT_EQ(b.Row(2) - b.Row(0), 42);
    b.Resize(-3, 4);
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.Pixels.size(), 0u);
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
    TBitmap src;
    src.Resize(2, 2);
    const uint8_t v[12] = {0, 10, 200, 100, 20, 200, 40, 30, 0, 60, 40, 0};
    std::copy(v, v + 12, src.Pixels.begin());
    const TBitmap one = ScaleBitmap(src, 1, 1);
    ASSERT_EQ(one.Width, 1);
    ASSERT_EQ(one.Height, 1);
    EXPECT_EQ(one.Pixels[0], 50);  // (0+100+40+60)/4
    EXPECT_EQ(one.Pixels[1], 25);  // (10+20+30+40)/4
    EXPECT_EQ(one.Pixels[2], 100); // (200+200+0+0)/4

    TBitmap ramp;
    ramp.Resize(4, 1);
    for (int x = 0; x < 4; ++x)
        ramp.Pixels[static_cast<size_t>(x) * 3] = static_cast<uint8_t>(x * 60);
    const TBitmap half = ScaleBitmap(ramp, 2, 1);
    EXPECT_EQ(half.Pixels[0], 30);  // (0+60)/2
    EXPECT_EQ(half.Pixels[3], 150); // (120+180)/2
}

TEST(ScaleBitmap, FlatColourStaysFlatAtAnySize) {
    const TBitmap src = Filled(37, 23, 12, 200, 99);
    for (auto [w, h] : {std::pair{5, 3}, {37, 23}, {100, 7}, {1, 1}, {200, 150}}) {
        const TBitmap out = ScaleBitmap(src, w, h);
        ASSERT_EQ(out.Width, w);
        ASSERT_EQ(out.Height, h);
        ASSERT_EQ(out.Pixels.size(), static_cast<size_t>(w * h * 3));
        for (size_t i = 0; i < out.Pixels.size(); i += 3) {
            ASSERT_EQ(out.Pixels[i], 12);
            ASSERT_EQ(out.Pixels[i + 1], 200);
            ASSERT_EQ(out.Pixels[i + 2], 99);
        }
    }
    const TBitmap up = ScaleBitmap(Filled(1, 1, 7, 8, 9), 300, 2);
    EXPECT_EQ(up.Pixels[299 * 3 + 2], 9);
}

TEST(ScaleBitmap, EmptySourceOrTargetGivesEmpty) {
    EXPECT_TRUE(ScaleBitmap(TBitmap{}, 10, 10).Empty());
    EXPECT_TRUE(ScaleBitmap(Filled(4, 4, 1, 2, 3), 0, 10).Empty());
    EXPECT_TRUE(ScaleBitmap(Filled(4, 4, 1, 2, 3), 10, -1).Empty());
}
