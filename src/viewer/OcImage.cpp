#include "viewer/OcImage.h"

#include "imaging/QtBitmap.h"

#include <QPainter>

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

void TOcImage::SetBitmap(ocelis::TBitmap bitmap) {
    FPicture = QImage(); // drop the view before the pixels it points at
    FScaled = QPixmap();
    FBitmap = std::move(bitmap);
    FPicture = ocelis::ViewAsQImage(FBitmap);
    update();
}

ocelis::TZoomRect TOcImage::PictureRect() const {
    if (!FAutoZoom)
        return {};
    return ocelis::ZoomRectangle(width(), height(), FBitmap.Width, FBitmap.Height);
}

void TOcImage::paintEvent(QPaintEvent*) {
    if (!FAutoZoom || FPicture.isNull())
        return;
    const ocelis::TZoomRect r = PictureRect();
    if (r.Width <= 0 || r.Height <= 0)
        return;
    QPainter p(this);
    // At its own size the picture is drawn as it is: a converted copy would cost as much
    // memory as the window's whole backing store.
    if (r.Width == FPicture.width() && r.Height == FPicture.height()) {
        FScaled = QPixmap();
        p.drawImage(r.Left, r.Top, FPicture);
        return;
    }
    // Scaling a large picture smoothly takes milliseconds; expose and status updates repaint
    // far more often than the picture or the size change.
    if (FScaled.width() != r.Width || FScaled.height() != r.Height)
        FScaled = QPixmap::fromImage(
            FPicture.scaled(r.Width, r.Height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    p.drawPixmap(r.Left, r.Top, FScaled);
}
