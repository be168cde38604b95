#include "viewer/OcImage.h"

#include "imaging/Jpeg.h"
#include "imaging/QtBitmap.h"
#include "support/CameraPicture.h"

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

// --- decoding at the size shown ---------------------------------------------------------

TEST(ViewerDecodeScale, TheSmallestScaleGivingTheDevicePixelsShownExactlyOrTwiceOver) {
    struct Case {
        int cw, ch, bw, bh;
        double dpr;
        int scale;
    };
    const Case cases[] = {
        {320, 221, 1280, 720, 1, 4},    // 320x240 window with status bar: 320x180 shown
        {320, 221, 1920, 1080, 1, 2},   // 1/4 (480x270) is less than twice
        {160, 90, 1280, 720, 1, 8},     // exactly 1/8
        {161, 91, 1280, 720, 1, 2},     // one pixel more: 1/4 is not twice
        {100, 100, 1280, 720, 1, 4},    // 100x56: 1/8 is less than twice
        {0, 0, 1280, 720, 1, 8},        // nothing shown (not laid out yet)
        {640, 360, 1280, 720, 1, 2},    // zoom 50 %
        {1280, 720, 1280, 720, 1, 1},   // zoom 100 %
        {2560, 1440, 1280, 720, 1, 1},  // zoom 200 %
        {1279, 719, 1280, 720, 1, 1},   // just under full size
        {320, 221, 1280, 720, 2, 2},    // HiDPI: 640x360 device pixels
        {320, 221, 1280, 720, 1.5, 1},  // 480x270: 1/2 is less than twice
        {256, 144, 1280, 720, 1.25, 4}, // 320x180 exactly, no rounding up
        {320, 221, 1280, 720, 4, 1},    // 1280x720 device pixels
        {640, 480, 320, 240, 1, 1},     // enlarged small picture
        {321, 181, 1281, 721, 1, 4},    // odd sizes round up: 1/4 is 321x181
        {1920, 1061, 1920, 1080, 1, 1}, // full screen
        {640, 461, 1920, 1080, 1, 1},   // 1/2 (960x540) is less than twice 640x360
    };
    for (const Case& c : cases)
        EXPECT_EQ(ocelis::ViewerDecodeScale(c.cw, c.ch, c.bw, c.bh, c.dpr), c.scale)
            << c.cw << "x" << c.ch << " " << c.bw << "x" << c.bh << " @" << c.dpr;
}

TEST(OcImage, HoldsAJpegAsLargeAsShownAndDecodesAgainWhenThatChanges) {
    const std::string jpeg = ocelis::test::NoisyCameraJpeg(1280, 720);
    TOcImage image;
    image.SetAutoZoom(true);
    image.resize(320, 221);
    image.SetJpeg(image.DecodeForShow(jpeg));
    EXPECT_EQ(image.Scale(), 4);
    EXPECT_EQ(image.Bitmap().Width, 320);
    EXPECT_EQ(image.Bitmap().Height, 180);
    EXPECT_EQ(image.PictureWidth(), 1280);
    EXPECT_EQ(image.PictureHeight(), 720);
    EXPECT_EQ(*image.Bytes(), jpeg);
    EXPECT_EQ(image.PictureRect(), (ocelis::TZoomRect{0, 20, 320, 180}));
    EXPECT_FALSE(image.FitScale()); // nothing changed
    EXPECT_EQ(image.FullBitmap(), ocelis::DecodeJpeg(jpeg));
    EXPECT_EQ(image.Scale(), 4); // the full size was not kept

    struct Step {
        QSize size;
        int scale, width;
    };
    for (const Step s :
         {Step{{640, 400}, 2, 640}, Step{{1280, 720}, 1, 1280}, Step{{150, 100}, 4, 320}}) {
        image.resize(s.size);
        EXPECT_TRUE(image.FitScale()) << s.size.width();
        EXPECT_EQ(image.Scale(), s.scale);
        EXPECT_EQ(image.Bitmap().Width, s.width);
        EXPECT_EQ(image.Picture().width(), s.width);
    }
    // A bitmap of its own has no bytes to decode again.
    image.SetBitmap(Solid(64, 36, 1, 2, 3));
    image.resize(1280, 720);
    EXPECT_FALSE(image.FitScale());
    EXPECT_EQ(image.FullBitmap(), Solid(64, 36, 1, 2, 3));
}

TEST(OcImage, WhatTheReducedDecodeDrawsLooksLikeTheFullSizeOne) {
    // Full size drawn as before against the reduced decode drawn the same way; 320x221 is a
    // 320x240 viewer with its status bar.
    const struct {
        QSize picture, area;
        int scale;
    } cases[] = {
        {{1280, 720}, {320, 221}, 4}, // decoded exactly as shown
        {{1920, 1080}, {320, 221}, 2},
        {{1280, 720}, {240, 160}, 2},
    };
    for (const auto& c : cases) {
        const std::string jpeg =
            ocelis::test::NoisyCameraJpeg(c.picture.width(), c.picture.height());
        Backdrop parent;
        parent.resize(c.area);
        TOcImage image(&parent);
        image.setGeometry(QRect(QPoint(0, 0), c.area));
        image.SetAutoZoom(true);
        image.SetBitmap(ocelis::DecodeJpeg(jpeg));
        const ocelis::TBitmap full = ocelis::FromQImage(Grab(parent).image);
        image.SetJpeg(image.DecodeForShow(jpeg));
        ASSERT_EQ(image.Scale(), c.scale) << c.picture.width() << " in " << c.area.width();
        const ocelis::TBitmap reduced = ocelis::FromQImage(Grab(parent).image);
        EXPECT_GE(ocelis::test::Ssim(full, reduced), 0.98)
            << c.picture.width() << " in " << c.area.width();
    }
}
