#include "viewer/ZoomGeometry.h"

#include <gtest/gtest.h>

using namespace ocelis;

TEST(ZoomRectangle, FitsAndCentresAsDocumented) {
    // 320x240 in 640x240: full size, 160 from the left.
    EXPECT_EQ(ZoomRectangle(640, 240, 320, 240), (TZoomRect{160, 0, 320, 240}));
    // 320x240 in 160x400: 160x120, 140 from the top.
    EXPECT_EQ(ZoomRectangle(160, 400, 320, 240), (TZoomRect{0, 140, 160, 120}));
    // Smaller pictures are enlarged.
    EXPECT_EQ(ZoomRectangle(640, 480, 32, 24), (TZoomRect{0, 0, 640, 480}));
    EXPECT_EQ(ZoomRectangle(1000, 480, 32, 24), (TZoomRect{180, 0, 640, 480}));
}

TEST(ZoomRectangle, EmptyPictureIsANoSizeRectAtTheCentre) {
    EXPECT_EQ(ZoomRectangle(300, 200, 0, 0), (TZoomRect{150, 100, 0, 0}));
    EXPECT_EQ(ZoomRectangle(301, 201, 0, 0), (TZoomRect{150, 100, 0, 0}));
    // One side empty: that scale counts as 1.
    // 100x0 in 300x200: sx = 3, sy = 1 -> s = 1.
    EXPECT_EQ(ZoomRectangle(300, 200, 100, 0), (TZoomRect{100, 100, 100, 0}));
    // 0x50 in 300x200: sx = 1, sy = 4 -> s = 1.
    EXPECT_EQ(ZoomRectangle(300, 200, 0, 50), (TZoomRect{150, 75, 0, 50}));
}

TEST(ZoomRectangle, TheSmallerScaleWins) {
    EXPECT_EQ(ZoomRectangle(50, 40, 100, 80), (TZoomRect{0, 0, 50, 40}));    // equal scales
    EXPECT_EQ(ZoomRectangle(50, 400, 100, 80), (TZoomRect{0, 180, 50, 40})); // sx smaller
    EXPECT_EQ(ZoomRectangle(500, 40, 100, 80), (TZoomRect{225, 0, 50, 40})); // sy smaller
}

TEST(ZoomRectangle, HalvesRoundToEven) {
    // 5x3 in 3x3: s = 0.6 -> w = 3, h = 1.8 -> 2.
    EXPECT_EQ(ZoomRectangle(3, 3, 5, 3), (TZoomRect{0, 0, 3, 2}));
    // 10x5 in 5x100: s = 0.5 -> h = 2.5 -> 2 (even), top = (100 - 2) / 2 = 49.
    EXPECT_EQ(ZoomRectangle(5, 100, 10, 5), (TZoomRect{0, 49, 5, 2}));
    // 14x7 in 7x100: h = 3.5 -> 4 (even).
    EXPECT_EQ(ZoomRectangle(7, 100, 14, 7), (TZoomRect{0, 48, 7, 4}));
}

TEST(ZoomRectangle, OffsetsTruncateTowardZero) {
    // Odd slack: (641 - 320) / 2 = 160.
    EXPECT_EQ(ZoomRectangle(641, 240, 320, 240).Left, 160);
    // 3x2 in 3x1: s = 0.5 -> w = 1.5 -> 2, h = 1; left = (3 - 2) / 2 = 0.
    EXPECT_EQ(ZoomRectangle(3, 1, 3, 2), (TZoomRect{0, 0, 2, 1}));
    // A negative slack divides toward zero: -3 / 2 = -1, not -2.
    EXPECT_EQ(ZoomRectangle(-3, -5, 0, 0), (TZoomRect{-1, -2, 0, 0}));
    // 0-sized control: (0 - 0) / 2.
    EXPECT_EQ(ZoomRectangle(0, 0, 320, 240), (TZoomRect{0, 0, 0, 0}));
}
