// The plain picture type shared by the codec, the widgets and the AVI writer: 24-bit colour,
// R, G, B bytes per pixel, rows top to bottom with no padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace ocelis {

// Leaves new elements uninitialised: a decoder overwrites every byte anyway, and zeroing
// megabytes first costs measurable time per image.
template <class T> struct TDefaultInitAllocator : std::allocator<T> {
    template <class U> struct rebind { using other = TDefaultInitAllocator<U>; };
    TDefaultInitAllocator() = default;
    template <class U> TDefaultInitAllocator(const TDefaultInitAllocator<U>&) noexcept {}
    template <class U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <class U, class... Args> void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

using TPixelBuffer = std::vector<uint8_t, TDefaultInitAllocator<uint8_t>>;

struct TBitmap {
    int32_t Width = 0;
    int32_t Height = 0;
    TPixelBuffer Pixels; // width * height * 3 bytes

    static constexpr int kBytesPerPixel = 3;

    bool Empty() const { return Width <= 0 || Height <= 0; }
    size_t Stride() const { return static_cast<size_t>(Width) * kBytesPerPixel; }
    uint8_t* Row(int32_t y) { return Pixels.data() + static_cast<size_t>(y) * Stride(); }
    const uint8_t* Row(int32_t y) const {
        return Pixels.data() + static_cast<size_t>(y) * Stride();
    }

    // Sets the size and makes room for the pixels (their values are unspecified).
    // Negative sizes count as 0.
    void Resize(int32_t w, int32_t h);

    bool operator==(const TBitmap&) const = default;
};

// Box-filtered (area average) resampling to exactly w by h; used to finish thumbnails
// after a DCT-scaled decode. An empty source or target gives an empty bitmap.
TBitmap ScaleBitmap(const TBitmap& src, int32_t w, int32_t h);

// The largest w by h with the source's proportions that fits in boxW by boxH (at least 1
// by 1 for a non-empty source); used for thumbnails.
void FitSize(int32_t srcW, int32_t srcH, int32_t boxW, int32_t boxH, int32_t& w, int32_t& h);

} // namespace ocelis
