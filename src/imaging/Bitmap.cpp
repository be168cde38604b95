#include "imaging/Bitmap.h"

#include <algorithm>

namespace ocelis {

void TBitmap::Resize(int32_t w, int32_t h) {
    Width = std::max(w, 0);
    Height = std::max(h, 0);
    Pixels.resize(static_cast<size_t>(Width) * static_cast<size_t>(Height) * kBytesPerPixel);
}

void FitSize(int32_t srcW, int32_t srcH, int32_t boxW, int32_t boxH, int32_t& w, int32_t& h) {
    if (srcW <= 0 || srcH <= 0 || boxW <= 0 || boxH <= 0) {
        w = h = 0;
        return;
    }
    // Compare boxW / srcW with boxH / srcH in integers.
    if (static_cast<int64_t>(boxW) * srcH <= static_cast<int64_t>(boxH) * srcW) {
        w = boxW;
        h = static_cast<int32_t>(static_cast<int64_t>(srcH) * boxW / srcW);
    } else {
        h = boxH;
        w = static_cast<int32_t>(static_cast<int64_t>(srcW) * boxH / srcH);
    }
    w = std::max(w, 1);
    h = std::max(h, 1);
}

namespace {

// Area-average filter taps along one axis: for each output pixel the source pixels it
// covers and how much of each, in 1/256 pixel steps.
struct TTaps {
    std::vector<size_t> Offset; // output i uses taps offset[i] .. offset[i + 1] - 1
    std::vector<int32_t> Index;
    std::vector<uint32_t> Weight;
    std::vector<uint32_t> Total; // per output pixel
};

TTaps MakeTaps(int32_t srcLen, int32_t dstLen) {
    TTaps t;
    t.Offset.reserve(static_cast<size_t>(dstLen) + 1);
    t.Offset.push_back(0);
    t.Total.reserve(static_cast<size_t>(dstLen));
    for (int32_t i = 0; i < dstLen; ++i) {
        const int64_t from = static_cast<int64_t>(i) * srcLen * 256 / dstLen;
        // Strong enlargement: keep every span at least 1/256 pixel wide.
        const int64_t to = std::max(static_cast<int64_t>(i + 1) * srcLen * 256 / dstLen, from + 1);
        uint32_t total = 0;
        const int64_t last = std::min<int64_t>((to - 1) / 256, srcLen - 1);
        for (int64_t p = from / 256; p <= last; ++p) {
            const int64_t w = std::min(p * 256 + 256, to) - std::max(p * 256, from);
            if (w <= 0)
                continue;
            t.Index.push_back(static_cast<int32_t>(p));
            t.Weight.push_back(static_cast<uint32_t>(w));
            total += static_cast<uint32_t>(w);
        }
        t.Total.push_back(std::max<uint32_t>(total, 1));
        t.Offset.push_back(t.Index.size());
    }
    return t;
}

} // namespace

TBitmap ScaleBitmap(const TBitmap& src, int32_t w, int32_t h) {
    TBitmap out;
    if (src.Empty() || w <= 0 || h <= 0)
        return out;
    if (w == src.Width && h == src.Height)
        return src; // DCT scaling often lands on the size exactly
    out.Resize(w, h);
    const TTaps xs = MakeTaps(src.Width, w);
    const TTaps ys = MakeTaps(src.Height, h);
    // Each output row sums its source rows, each already summed horizontally.
    std::vector<uint64_t> acc(static_cast<size_t>(w) * 3);
    for (int32_t oy = 0; oy < h; ++oy) {
        std::fill(acc.begin(), acc.end(), 0);
        for (size_t ty = ys.Offset[static_cast<size_t>(oy)];
             ty < ys.Offset[static_cast<size_t>(oy) + 1]; ++ty) {
            const uint64_t wy = ys.Weight[ty];
            const uint8_t* in = src.Row(ys.Index[ty]);
            uint64_t* a = acc.data();
            for (int32_t ox = 0; ox < w; ++ox, a += 3) {
                // At most 255 * 256 * (source width) per channel: fits in 32 bits.
                uint32_t r = 0, g = 0, b = 0;
                for (size_t tx = xs.Offset[static_cast<size_t>(ox)];
                     tx < xs.Offset[static_cast<size_t>(ox) + 1]; ++tx) {
                    const uint32_t wx = xs.Weight[tx];
                    const uint8_t* p = in + static_cast<size_t>(xs.Index[tx]) * 3;
                    r += wx * p[0];
                    g += wx * p[1];
                    b += wx * p[2];
                }
                a[0] += r * wy;
                a[1] += g * wy;
                a[2] += b * wy;
            }
        }
        uint8_t* o = out.Row(oy);
        const uint64_t ty = ys.Total[static_cast<size_t>(oy)];
        for (int32_t ox = 0; ox < w; ++ox) {
            const uint64_t total = xs.Total[static_cast<size_t>(ox)] * ty;
            for (size_t c = 0; c < 3; ++c) {
                const size_t k = static_cast<size_t>(ox) * 3 + c;
                o[k] = static_cast<uint8_t>((acc[k] + total / 2) / total);
            }
        }
    }
    return out;
}

} // namespace ocelis
