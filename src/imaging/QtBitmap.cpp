#include "imaging/QtBitmap.h"

#include <cstring>

namespace ocelis {

QImage ViewAsQImage(const Bitmap& bitmap) {
    if (bitmap.empty())
        return QImage();
    return QImage(bitmap.pixels.data(), bitmap.width, bitmap.height,
                  static_cast<qsizetype>(bitmap.stride()), QImage::Format_RGB888);
}

QImage ToQImage(const Bitmap& bitmap) {
    return ViewAsQImage(bitmap).copy();
}

Bitmap FromQImage(const QImage& image) {
    Bitmap out;
    if (image.isNull())
        return out;
    const QImage rgb = image.format() == QImage::Format_RGB888
                           ? image
                           : image.convertToFormat(QImage::Format_RGB888);
    out.resize(rgb.width(), rgb.height());
    for (int y = 0; y < out.height; ++y)
        std::memcpy(out.row(y), rgb.constScanLine(y), out.stride());
    return out;
}

} // namespace ocelis
