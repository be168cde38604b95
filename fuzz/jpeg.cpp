// Feeds arbitrary bytes to the JPEG decoder: header read, full decode, DCT-scaled decode,
// and a re-encode of small results. Only JpegError may come out.
#include "imaging/Jpeg.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // Smaller bound than the program's so each input stays fast; the checks are the same.
    ocelis::JpegLimits limits;
    limits.maxPixels = 4'000'000;
    try {
        const ocelis::JpegInfo info = ocelis::ReadJpegInfo(bytes, limits);
        const ocelis::Bitmap full = ocelis::DecodeJpeg(bytes, limits);
        if (full.width != info.width || full.height != info.height ||
            full.pixels.size() != full.stride() * static_cast<size_t>(full.height))
            __builtin_trap();
        const int32_t want = size > 0 ? data[size - 1] : 1;
        const ocelis::Bitmap thumb = ocelis::DecodeJpegScaled(bytes, want, want / 2, limits);
        if (thumb.width > full.width || thumb.height > full.height)
            __builtin_trap();
        if (full.width * full.height <= 64 * 64)
            (void)ocelis::DecodeJpeg(ocelis::EncodeJpeg(full), limits);
    } catch (const ocelis::JpegError&) {
    }
    return 0;
}
