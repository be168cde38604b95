// Pictures for tests that fetch, show or decode webcam images.
#pragma once

#include "imaging/Bitmap.h"
#include "imaging/Jpeg.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace ocelis::test {

// One colour all over.
inline std::string SolidJpeg(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    TBitmap bmp;
    bmp.Resize(w, h);
    for (size_t i = 0; i + 2 < bmp.Pixels.size(); i += 3) {
        bmp.Pixels[i] = r;
        bmp.Pixels[i + 1] = g;
        bmp.Pixels[i + 2] = b;
    }
    return EncodeJpeg(bmp);
}

inline std::string SolidJpeg(int w, int h, uint8_t grey) {
    return SolidJpeg(w, h, grey, grey, grey);
}

// Every pixel different, so that scaling and cutting show.
inline std::string GradientJpeg(int w, int h) {
    TBitmap bmp;
    bmp.Resize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* px = bmp.Row(y) + x * 3;
            px[0] = static_cast<uint8_t>(x);
            px[1] = static_cast<uint8_t>(y);
            px[2] = 128;
        }
    return EncodeJpeg(bmp, 90);
}

} // namespace ocelis::test
