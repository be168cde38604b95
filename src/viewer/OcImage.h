// TOcImage: the viewer's picture control. It owns one bitmap and, with AutoZoom on, paints
// it scaled to fit and centred; everything outside that rectangle is left to the parent.
// A JPEG picture keeps its bytes and is held decoded only as large as the control shows it.
#pragma once

#include "imaging/Bitmap.h"
#include "viewer/ZoomGeometry.h"

#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <memory>
#include <string>

namespace ocelis {

// The smallest DCT scale (denominator 1, 2, 4 or 8) at which a bw by bh picture gives each
// side of what a cw by ch control shows of it, in device pixels at devicePixelRatio dpr,
// exactly or at least twice over.
int32_t ViewerDecodeScale(int32_t cw, int32_t ch, int32_t bw, int32_t bh, double dpr);

} // namespace ocelis

class TOcImage : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool AutoZoom READ AutoZoom WRITE SetAutoZoom)

public:
    // A JPEG picture decoded for the control, ready to be shown.
    struct TJpegPicture {
        std::shared_ptr<const std::string> Bytes;
        ocelis::TBitmap Bitmap;
        int32_t Width = 0; // full size
        int32_t Height = 0;
        int32_t Scale = 1;
    };

    explicit TOcImage(QWidget* parent = nullptr);
    ~TOcImage() override;

    bool AutoZoom() const { return FAutoZoom; }
    // Stores the value and repaints.
    void SetAutoZoom(bool on);

    // Decodes a JPEG at the scale the control's current size needs; the control is not
    // changed. Errors are EJpegError (EJpegTruncatedError for data cut short).
    TJpegPicture DecodeForShow(std::string bytes) const;
    // Replaces the picture and repaints; painting decodes it again from its bytes when the
    // control's size needs another scale.
    void SetJpeg(TJpegPicture picture);
    // Replaces the picture with a bitmap of its own (no bytes: held at full size) and
    // repaints.
    void SetBitmap(ocelis::TBitmap bitmap);

    // The pixels as held: a JPEG's may be reduced (see Scale).
    const ocelis::TBitmap& Bitmap() const { return FBitmap; }
    // The denominator of the scale held (1 at full size).
    int32_t Scale() const { return FScale; }
    // The JPEG's bytes; null for a bitmap of its own.
    const std::shared_ptr<const std::string>& Bytes() const { return FBytes; }
    // The picture at full size, decoded anew when a reduced one is held; empty when that
    // fails.
    ocelis::TBitmap FullBitmap() const;
    // A view of the held pixels for painting and for callers that want a QImage; valid
    // until the picture or its scale changes.
    const QImage& Picture() const { return FPicture; }
    // The full size, whatever scale is held.
    int PictureWidth() const { return FWidth; }
    int PictureHeight() const { return FHeight; }

    // Decodes the JPEG again when the current size needs another scale than the one held;
    // true when it did. Painting calls it.
    bool FitScale();

    // Where the picture is drawn with the current size (empty when AutoZoom is off).
    ocelis::TZoomRect PictureRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int32_t WantedScale(int32_t width, int32_t height) const;
    void Hold(ocelis::TBitmap bitmap, int32_t scale);

    bool FAutoZoom = false;
    std::shared_ptr<const std::string> FBytes;
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    int32_t FScale = 1;
    ocelis::TBitmap FBitmap;
    QImage FPicture; // shares FBitmap's pixels
    QPixmap FScaled; // the picture scaled to the size last painted; none at its own size
};
