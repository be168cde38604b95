// Feeds arbitrary bytes to the JPEG decoder: header read, full decode, DCT-scaled decode,
// and a re-encode of small results. Only EJpegError may come out.
#include "imaging/Jpeg.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // Smaller bound than the program's so each input stays fast; the checks are the same.
    ocelis::TJpegLimits limits;
    limits.MaxPixels = 4'000'000;
    try {
        const ocelis::TJpegInfo info = ocelis::ReadJpegInfo(bytes, limits);
        const ocelis::TBitmap full = ocelis::DecodeJpeg(bytes, limits);
        if (full.Width != info.Width || full.Height != info.Height ||
            full.Pixels.size() != full.Stride() * static_cast<size_t>(full.Height))
            __builtin_trap();
        const int32_t want = size > 0 ? data[size - 1] : 1;
        const ocelis::TBitmap thumb = ocelis::DecodeJpegScaled(bytes, want, want / 2, limits);
        if (thumb.Width > full.Width || thumb.Height > full.Height)
            __builtin_trap();
        if (full.Width * full.Height <= 64 * 64)
            (void)ocelis::DecodeJpeg(ocelis::EncodeJpeg(full), limits);
    } catch (const ocelis::EJpegError&) {
    }
    return 0;
}
