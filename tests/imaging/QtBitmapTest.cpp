#include "imaging/QtBitmap.h"

#include <gtest/gtest.h>

using namespace ocelis;

TEST(QtBitmap, RoundTripsThroughQImage) {
    TBitmap b;
    b.Resize(3, 2);
    for (size_t i = 0; i < b.Pixels.size(); ++i)
        b.Pixels[i] = static_cast<uint8_t>(i * 13);
    const QImage view = ViewAsQImage(b);
    ASSERT_EQ(view.width(), 3);
    EXPECT_EQ(view.constBits(), b.Pixels.data()); // no copy
    EXPECT_EQ(view.pixel(1, 1), qRgb(b.Row(1)[3], b.Row(1)[4], b.Row(1)[5]));

    const QImage copy = ToQImage(b);
    EXPECT_NE(copy.constBits(), b.Pixels.data());
    EXPECT_EQ(copy.pixel(2, 0), qRgb(b.Pixels[6], b.Pixels[7], b.Pixels[8]));
    EXPECT_EQ(FromQImage(copy), b);
}

TEST(QtBitmap, ConvertsOtherFormatsAndDropsAlpha) {
    QImage argb(2, 2, QImage::Format_ARGB32);
    argb.fill(qRgba(10, 20, 30, 255));
    argb.setPixel(1, 1, qRgba(200, 100, 50, 255));
    const TBitmap b = FromQImage(argb);
    ASSERT_EQ(b.Width, 2);
    EXPECT_EQ(b.Row(0)[0], 10);
    EXPECT_EQ(b.Row(1)[3], 200);
    EXPECT_EQ(b.Row(1)[5], 50);
    EXPECT_TRUE(FromQImage(QImage()).Empty());
    EXPECT_TRUE(ViewAsQImage(TBitmap{}).isNull());
}
