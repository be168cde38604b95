// Where the plain bitmap meets QImage (the GUI edge).
#pragma once

#include "imaging/Bitmap.h"

#include <QImage>

namespace ocelis {

// A QImage over the bitmap's own pixels, no copy: valid while the bitmap lives unchanged.
QImage ViewAsQImage(const TBitmap& bitmap);

// A deep copy as a QImage (RGB888).
QImage ToQImage(const TBitmap& bitmap);

// Any QImage as a 24-bit bitmap (alpha is dropped).
TBitmap FromQImage(const QImage& image);

} // namespace ocelis
