// TOcImage: the viewer's picture control. It owns one bitmap and, with AutoZoom on, paints
// it scaled to fit and centred; everything outside that rectangle is left to the parent.
#pragma once

#include "imaging/Bitmap.h"
#include "viewer/ZoomGeometry.h"

#include <QImage>
#include <QPixmap>
#include <QWidget>

class TOcImage : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool AutoZoom READ AutoZoom WRITE SetAutoZoom)

public:
    explicit TOcImage(QWidget* parent = nullptr);
    ~TOcImage() override;

    bool AutoZoom() const { return FAutoZoom; }
    // Stores the value and repaints.
    void SetAutoZoom(bool on);

    // Replaces the picture (the viewer copies each decoded image in) and repaints.
    void SetBitmap(ocelis::TBitmap bitmap);
    const ocelis::TBitmap& Bitmap() const { return FBitmap; }
    // A view of the same pixels for painting and for callers that want a QImage; valid
    // until the next SetBitmap.
    const QImage& Picture() const { return FPicture; }
    int PictureWidth() const { return FBitmap.Width; }
    int PictureHeight() const { return FBitmap.Height; }

    // Where the picture is drawn with the current size (empty when AutoZoom is off).
    ocelis::TZoomRect PictureRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool FAutoZoom = false;
    ocelis::TBitmap FBitmap;
    QImage FPicture; // shares FBitmap's pixels
    QPixmap FScaled; // the picture scaled to the size last painted; none at its own size
};
