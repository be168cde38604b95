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
template <class T> struct DefaultInitAllocator : std::allocator<T> {
    template <class U> struct rebind { using other = DefaultInitAllocator<U>; };
    DefaultInitAllocator() = default;
    template <class U> DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}
    template <class U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <class U, class... Args> void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

using PixelBuffer = std::vector<uint8_t, DefaultInitAllocator<uint8_t>>;

struct Bitmap {
    int32_t width = 0;
    int32_t height = 0;
    PixelBuffer pixels; // width * height * 3 bytes

    static constexpr int kBytesPerPixel = 3;

    bool empty() const { return width <= 0 || height <= 0; }
    size_t stride() const { return static_cast<size_t>(width) * kBytesPerPixel; }
    uint8_t* row(int32_t y) { return pixels.data() + static_cast<size_t>(y) * stride(); }
    const uint8_t* row(int32_t y) const {
        return pixels.data() + static_cast<size_t>(y) * stride();
    }

    // Sets the size and makes room for the pixels (their values are unspecified).
    // Negative sizes count as 0.
    void resize(int32_t w, int32_t h);

    bool operator==(const Bitmap&) const = default;
};

// Box-filtered (area average) resampling to exactly w by h; used to finish thumbnails
// after a DCT-scaled decode. An empty source or target gives an empty bitmap.
Bitmap ScaleBitmap(const Bitmap& src, int32_t w, int32_t h);

// The largest w by h with the source's proportions that fits in boxW by boxH (at least 1
// by 1 for a non-empty source); used for thumbnails.
void FitSize(int32_t srcW, int32_t srcH, int32_t boxW, int32_t boxH, int32_t& w, int32_t& h);

} // namespace ocelis
