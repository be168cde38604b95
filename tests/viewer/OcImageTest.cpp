#include "viewer/OcImage.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

ocelis::TBitmap Solid(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    ocelis::TBitmap bmp;
    bmp.Resize(w, h);
    for (size_t i = 0; i < bmp.Pixels.size(); i += 3) {
        bmp.Pixels[i] = r;
        bmp.Pixels[i + 1] = g;
        bmp.Pixels[i + 2] = b;
    }
    return bmp;
}

// A parent that paints a known background, like the viewer's window colour.
class Backdrop : public QWidget {
public:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::blue);
    }
};

struct Shot {
    QImage image;
    QRgb at(int x, int y) const { return image.pixel(x, y); }
};

Shot Grab(Backdrop& parent) {
    return Shot{parent.grab().toImage().convertToFormat(QImage::Format_RGB32)};
}

} // namespace

TEST(OcImage, PaintsScaledAndCentredLeavingTheRestToTheParent) {
    Backdrop parent;
    parent.resize(640, 240);
    TOcImage image(&parent);
    image.setGeometry(0, 0, 640, 240);
    image.SetAutoZoom(true);
    image.SetBitmap(Solid(320, 240, 255, 0, 0));
    ASSERT_EQ(image.PictureRect(), (ocelis::TZoomRect{160, 0, 320, 240}));
    const Shot s = Grab(parent);
    EXPECT_EQ(s.at(159, 120), qRgb(0, 0, 255)); // parent
    EXPECT_EQ(s.at(160, 120), qRgb(255, 0, 0)); // picture
    EXPECT_EQ(s.at(479, 0), qRgb(255, 0, 0));
    EXPECT_EQ(s.at(480, 120), qRgb(0, 0, 255));

    // Narrow and tall: 160 by 120 at 140 from the top.
    image.setGeometry(0, 0, 160, 400);
    parent.resize(160, 400);
    const Shot t = Grab(parent);
    EXPECT_EQ(t.at(80, 139), qRgb(0, 0, 255));
    EXPECT_EQ(t.at(80, 140), qRgb(255, 0, 0));
    EXPECT_EQ(t.at(0, 259), qRgb(255, 0, 0));
    EXPECT_EQ(t.at(159, 260), qRgb(0, 0, 255));
}

TEST(OcImage, EnlargesASmallPicture) {
    Backdrop parent;
    parent.resize(400, 300);
    TOcImage image(&parent);
    image.setGeometry(0, 0, 400, 300);
    image.SetAutoZoom(true);
    ocelis::TBitmap two = Solid(2, 1, 0, 255, 0);
    two.Pixels[3] = 255; // right pixel yellow
    two.Pixels[4] = 255;
    two.Pixels[5] = 0;
    image.SetBitmap(two);
    ASSERT_EQ(image.PictureRect(), (ocelis::TZoomRect{0, 50, 400, 200}));
    const Shot s = Grab(parent);
    EXPECT_EQ(s.at(200, 49), qRgb(0, 0, 255));
    EXPECT_EQ(s.at(20, 150), qRgb(0, 255, 0));
    EXPECT_EQ(s.at(380, 150), qRgb(255, 255, 0));
    EXPECT_EQ(s.at(200, 250), qRgb(0, 0, 255));
}

TEST(OcImage, DrawsNothingWithAutoZoomOffOrWithoutAPicture) {
    Backdrop parent;
    parent.resize(320, 240);
    TOcImage image(&parent);
    image.setGeometry(0, 0, 320, 240);
    EXPECT_FALSE(image.AutoZoom());
    image.SetBitmap(Solid(320, 240, 255, 0, 0)); // exactly the control's size
    EXPECT_EQ(image.PictureRect(), ocelis::TZoomRect{});
    const Shot off = Grab(parent);
    EXPECT_EQ(off.at(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(off.at(160, 120), qRgb(0, 0, 255));

    image.SetAutoZoom(true);
    EXPECT_EQ(Grab(parent).at(160, 120), qRgb(255, 0, 0));
    image.SetBitmap(ocelis::TBitmap{});
    EXPECT_EQ(image.PictureRect(), (ocelis::TZoomRect{160, 120, 0, 0}));
    EXPECT_EQ(Grab(parent).at(160, 120), qRgb(0, 0, 255));
}

TEST(OcImage, KeepsItsOwnCopyAndSharesItWithPicture) {
    TOcImage image;
    ocelis::TBitmap b = Solid(4, 3, 1, 2, 3);
    image.SetBitmap(b);
    b.Pixels[0] = 99; // the caller's copy is independent
    EXPECT_EQ(image.Bitmap().Pixels[0], 1);
    EXPECT_EQ(image.PictureWidth(), 4);
    EXPECT_EQ(image.PictureHeight(), 3);
    EXPECT_EQ(image.Picture().constBits(), image.Bitmap().Pixels.data());
    EXPECT_EQ(image.Picture().pixel(3, 2), qRgb(1, 2, 3));
    EXPECT_TRUE(image.setProperty("AutoZoom", true) || image.AutoZoom());
    EXPECT_TRUE(image.AutoZoom());
}

TEST(OcImage, ANewPictureOfTheSameSizeReplacesTheOldOne) {
    Backdrop parent;
    parent.resize(200, 100);
    TOcImage image(&parent);
    image.setGeometry(0, 0, 200, 100);
    image.SetAutoZoom(true);
    image.SetBitmap(Solid(40, 20, 255, 0, 0));
    EXPECT_EQ(Grab(parent).at(100, 50), qRgb(255, 0, 0));
    image.SetBitmap(Solid(40, 20, 0, 255, 0)); // same size, so the same drawn rectangle
    EXPECT_EQ(Grab(parent).at(100, 50), qRgb(0, 255, 0));
}

TEST(OcImage, AtItsOwnSizeThePictureIsDrawnPixelForPixel) {
    Backdrop parent;
    parent.resize(3, 2);
    TOcImage image(&parent);
    image.setGeometry(0, 0, 3, 2);
    image.SetAutoZoom(true);
    ocelis::TBitmap b = Solid(3, 2, 0, 0, 0);
    for (size_t i = 0; i < b.Pixels.size(); ++i)
        b.Pixels[i] = static_cast<uint8_t>(i * 13);
    image.SetBitmap(b);
    const Shot s = Grab(parent);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(s.at(x, y), image.Picture().pixel(x, y)) << x << "," << y;
}
