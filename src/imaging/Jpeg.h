// The one place the program decodes and encodes JPEG (over libjpeg-turbo's libjpeg API).
// Every libjpeg error becomes an EJpegError; libjpeg never prints and never exits.
#pragma once

#include "imaging/Bitmap.h"

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ocelis {

class EJpegError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The data ends before the image does (a download or file cut short).
class EJpegTruncatedError : public EJpegError {
public:
    using EJpegError::EJpegError;
};

// Bounds checked before anything big is allocated, so a crafted header cannot exhaust
// memory or time.
struct TJpegLimits {
    int64_t MaxPixels = 100'000'000;   // of the coded image
    int32_t MaxDimension = 65'500;     // width or height
    int32_t MaxProgressiveScans = 500; // scans of any kind; real encoders write about 10
};

// Size and colour layout from the header alone.
struct TJpegInfo {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Components = 0;
    bool Progressive = false;
};

TJpegInfo ReadJpegInfo(std::string_view bytes, const TJpegLimits& limits = {});

// Full-size decode to 24-bit RGB (grayscale and CMYK/YCCK sources are converted).
// Data that ends before the image's end marker is an error, as is any other libjpeg error.
TBitmap DecodeJpeg(std::string_view bytes, const TJpegLimits& limits = {});

// Decode at 1/1, 1/2, 1/4 or 1/8 with libjpeg's DCT scaling: the smallest of these whose
// result is still at least minWidth by minHeight (a bound of 0 or less does not count).
// Thumbnails then finish with ScaleBitmap.
TBitmap DecodeJpegScaled(std::string_view bytes, int32_t minWidth, int32_t minHeight,
                         const TJpegLimits& limits = {});

// The size libjpeg gives a side of length at scale 1/denominator (rounded up).
constexpr int32_t JpegScaledLength(int32_t length, int32_t denominator) {
    return static_cast<int32_t>((static_cast<int64_t>(length) + denominator - 1) / denominator);
}

// The smallest of 1/8, 1/4, 1/2 that keeps a width by height image at least minWidth by
// minHeight; 1 when none does. Returns the denominator.
int32_t JpegScaleDenominator(int32_t width, int32_t height, int32_t minWidth, int32_t minHeight);

// Decode at exactly 1/denominator (1, 2, 4 or 8; anything else is an error) with the same
// quality as DecodeJpeg, whose result it equals at 1. Errors as DecodeJpeg.
TBitmap DecodeJpegAtScale(std::string_view bytes, int32_t denominator,
                          const TJpegLimits& limits = {});

// Full-size decode straight into the caller's rows as B, G, R bytes (rows[y] gets picture
// row y; a bottom-up frame buffer, say), when the image is exactly width by height and not
// CMYK. false, with nothing written, otherwise. Errors as DecodeJpeg, the missing end marker
// included (the rows may hold part of the picture then).
bool DecodeJpegBgrInto(std::string_view bytes, int32_t width, int32_t height, uint8_t* const* rows,
                       const TJpegLimits& limits = {});

// Baseline JPEG, 24-bit colour, default quality 90 (the viewer's save command).
// quality is clamped to 1..100; an empty bitmap is an error.
std::string EncodeJpeg(const TBitmap& bitmap, int quality = 90);

// A decoded image that keeps the bytes it came from (the archive writes those unchanged).
struct TJpegImage {
    std::string Bytes;
    TBitmap Bitmap;
};

TJpegImage LoadJpeg(std::string bytes, const TJpegLimits& limits = {});

// File helpers (the AVI creator's input, the viewer's save). Files larger than maxBytes are
// refused before reading. Errors are EJpegError.
TJpegImage LoadJpegFile(const std::filesystem::path& path, const TJpegLimits& limits = {},
                        uint64_t maxBytes = 256ull << 20);
void SaveJpegFile(const std::filesystem::path& path, const TBitmap& bitmap, int quality = 90);

} // namespace ocelis
