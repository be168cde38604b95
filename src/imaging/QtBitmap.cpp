#include "imaging/QtBitmap.h"

#include <cstring>

namespace ocelis {

QImage ViewAsQImage(const TBitmap& bitmap) {
    if (bitmap.Empty())
        return QImage();
    return QImage(bitmap.Pixels.data(), bitmap.Width, bitmap.Height,
                  static_cast<qsizetype>(bitmap.Stride()), QImage::Format_RGB888);
}

QImage ToQImage(const TBitmap& bitmap) {
    return ViewAsQImage(bitmap).copy();
}

TBitmap FromQImage(const QImage& image) {
    TBitmap out;
    if (image.isNull())
        return out;
    const QImage rgb = image.format() == QImage::Format_RGB888
                           ? image
                           : image.convertToFormat(QImage::Format_RGB888);
    out.Resize(rgb.width(), rgb.height());
    for (int y = 0; y < out.Height; ++y)
        std::memcpy(out.Row(y), rgb.constScanLine(y), out.Stride());
    return out;
}

} // namespace ocelis
