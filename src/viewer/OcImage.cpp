#include "viewer/OcImage.h"

#include "imaging/Jpeg.h"
#include "imaging/QtBitmap.h"
#include "platform/FreedMemory.h"

#include <QPainter>
#include <cmath>

namespace ocelis {

namespace {

int32_t DeviceLength(int32_t length, double dpr) {
    // The epsilon keeps 1.25 * 4 from becoming 6 through rounding error.
    return static_cast<int32_t>(std::ceil(length * dpr - 1e-6));
}

} // namespace

int32_t ViewerDecodeScale(int32_t cw, int32_t ch, int32_t bw, int32_t bh, double dpr) {
    const TZoomRect r = ZoomRectangle(cw, ch, bw, bh);
    const double ratio = dpr > 0 ? dpr : 1.0;
    const int32_t w = DeviceLength(r.Width, ratio), h = DeviceLength(r.Height, ratio);
    // Scaling a reduced decode down by less than half draws noticeably sharper than the full
    // decode scaled down: each side is decoded exactly as shown or at least twice as large.
    const auto enough = [](int32_t decoded, int32_t shown) {
        return decoded == shown || decoded >= 2 * static_cast<int64_t>(shown);
    };
    for (int32_t denominator : {8, 4, 2})
        if (enough(JpegScaledLength(bw, denominator), w) &&
            enough(JpegScaledLength(bh, denominator), h))
            return denominator;
    return 1;
}

} // namespace ocelis

TOcImage::TOcImage(QWidget* parent) : QWidget(parent) {
    // Not opaque: what lies outside the picture rectangle is the parent's to paint.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAutoFillBackground(false);
}

TOcImage::~TOcImage() = default;

void TOcImage::SetAutoZoom(bool on) {
    FAutoZoom = on;
    update();
}

int32_t TOcImage::WantedScale(int32_t width, int32_t height) const {
    // Without zoom nothing says how large the picture is shown.
    if (!FAutoZoom)
        return 1;
    return ocelis::ViewerDecodeScale(this->width(), this->height(), width, height,
                                     devicePixelRatioF());
}

TOcImage::TJpegPicture TOcImage::DecodeForShow(std::string bytes) const {
    const ocelis::TJpegInfo info = ocelis::ReadJpegInfo(bytes);
    TJpegPicture picture;
    picture.Width = info.Width;
    picture.Height = info.Height;
    picture.Scale = WantedScale(info.Width, info.Height);
    picture.Bitmap = ocelis::DecodeJpegAtScale(bytes, picture.Scale);
    picture.Bytes = std::make_shared<const std::string>(std::move(bytes));
    return picture;
}

void TOcImage::SetJpeg(TJpegPicture picture) {
    FBytes = std::move(picture.Bytes);
    FWidth = picture.Width;
    FHeight = picture.Height;
    Hold(std::move(picture.Bitmap), picture.Scale);
}

void TOcImage::SetBitmap(ocelis::TBitmap bitmap) {
    FBytes.reset();
    FWidth = bitmap.Width;
    FHeight = bitmap.Height;
    Hold(std::move(bitmap), 1);
}

void TOcImage::Hold(ocelis::TBitmap bitmap, int32_t scale) {
    FPicture = QImage(); // drop the view before the pixels it points at
    FScaled = QPixmap();
    FBitmap = std::move(bitmap);
    FScale = scale;
    FPicture = ocelis::ViewAsQImage(FBitmap);
    update();
}

ocelis::TBitmap TOcImage::FullBitmap() const {
    if (FScale == 1 || !FBytes)
        return FBitmap;
    try {
        return ocelis::DecodeJpegAtScale(*FBytes, 1);
    } catch (const ocelis::EJpegError&) {
        return {};
    }
}

bool TOcImage::FitScale() {
    if (!FBytes)
        return false;
    const int32_t scale = WantedScale(FWidth, FHeight);
    if (scale == FScale)
        return false;
    const bool smaller = scale > FScale;
    try {
        Hold(ocelis::DecodeJpegAtScale(*FBytes, scale), scale);
    } catch (const ocelis::EJpegError&) {
        // The same bytes decoded once; should they fail now, the held scale stays.
        return false;
    }
    // The larger pixels (and the window's larger buffers) are gone for as long as the window
    // stays this small; without this the process would keep their pages.
    if (smaller)
        ocelis::ReturnFreedMemory();
    return true;
}

ocelis::TZoomRect TOcImage::PictureRect() const {
    if (!FAutoZoom)
        return {};
    // The full size: a reduced decode may round its sides differently.
    return ocelis::ZoomRectangle(width(), height(), FWidth, FHeight);
}

void TOcImage::paintEvent(QPaintEvent*) {
    if (!FAutoZoom)
        return;
    FitScale();
    if (FPicture.isNull())
        return;
    const ocelis::TZoomRect r = PictureRect();
    if (r.Width <= 0 || r.Height <= 0)
        return;
    QPainter p(this);
    const qreal dpr = devicePixelRatioF();
    // At its own size the picture is drawn as it is: a converted copy would cost as much
    // memory as the window's whole backing store.
    if (dpr == 1.0 && r.Width == FPicture.width() && r.Height == FPicture.height()) {
        FScaled = QPixmap();
        p.drawImage(r.Left, r.Top, FPicture);
        return;
    }
    // Scaling a large picture smoothly takes milliseconds; expose and status updates repaint
    // far more often than the picture or the size change.
    const int w = static_cast<int>(std::ceil(r.Width * dpr - 1e-6));
    const int h = static_cast<int>(std::ceil(r.Height * dpr - 1e-6));
    if (FScaled.width() != w || FScaled.height() != h) {
        FScaled = QPixmap::fromImage(
            FPicture.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        FScaled.setDevicePixelRatio(dpr);
    }
    p.drawPixmap(r.Left, r.Top, FScaled);
}
