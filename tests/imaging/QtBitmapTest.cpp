#include "imaging/QtBitmap.h"

#include <gtest/gtest.h>

using namespace ocelis;

TEST(QtBitmap, RoundTripsThroughQImage) {
    Bitmap b;
    b.resize(3, 2);
    for (size_t i = 0; i < b.pixels.size(); ++i)
        b.pixels[i] = static_cast<uint8_t>(i * 13);
    const QImage view = ViewAsQImage(b);
    ASSERT_EQ(view.width(), 3);
    EXPECT_EQ(view.constBits(), b.pixels.data()); // no copy
    EXPECT_EQ(view.pixel(1, 1), qRgb(b.row(1)[3], b.row(1)[4], b.row(1)[5]));

    const QImage copy = ToQImage(b);
    EXPECT_NE(copy.constBits(), b.pixels.data());
    EXPECT_EQ(copy.pixel(2, 0), qRgb(b.pixels[6], b.pixels[7], b.pixels[8]));
    EXPECT_EQ(FromQImage(copy), b);
}

TEST(QtBitmap, ConvertsOtherFormatsAndDropsAlpha) {
    QImage argb(2, 2, QImage::Format_ARGB32);
    argb.fill(qRgba(10, 20, 30, 255));
    argb.setPixel(1, 1, qRgba(200, 100, 50, 255));
    const Bitmap b = FromQImage(argb);
    ASSERT_EQ(b.width, 2);
    EXPECT_EQ(b.row(0)[0], 10);
    EXPECT_EQ(b.row(1)[3], 200);
    EXPECT_EQ(b.row(1)[5], 50);
    EXPECT_TRUE(FromQImage(QImage()).empty());
    EXPECT_TRUE(ViewAsQImage(Bitmap{}).isNull());
}
