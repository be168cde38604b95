#include "imaging/Bitmap.h"

#include <algorithm>

namespace ocelis {

void Bitmap::resize(int32_t w, int32_t h) {
    width = std::max(w, 0);
    height = std::max(h, 0);
    pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * kBytesPerPixel);
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

// For one output coordinate: the source span [x0, x1) in 1/256 pixel steps.
struct Span {
    int64_t from; // fixed point, 8 fractional bits
    int64_t to;
};

std::vector<Span> Spans(int32_t srcLen, int32_t dstLen) {
    std::vector<Span> spans(static_cast<size_t>(dstLen));
    for (int32_t i = 0; i < dstLen; ++i) {
        spans[static_cast<size_t>(i)].from = (static_cast<int64_t>(i) * srcLen * 256) / dstLen;
        spans[static_cast<size_t>(i)].to = (static_cast<int64_t>(i + 1) * srcLen * 256) / dstLen;
        // Strong enlargement: keep every span at least 1/256 pixel wide.
        spans[static_cast<size_t>(i)].to =
            std::max(spans[static_cast<size_t>(i)].to, spans[static_cast<size_t>(i)].from + 1);
    }
    return spans;
}

// Weight of source pixel p (covering [p*256, p*256+256)) within span s.
inline int64_t Overlap(int64_t p, const Span& s) {
    const int64_t a = std::max(p * 256, s.from);
    const int64_t b = std::min(p * 256 + 256, s.to);
    return b > a ? b - a : 0;
}

} // namespace

Bitmap ScaleBitmap(const Bitmap& src, int32_t w, int32_t h) {
    Bitmap out;
    if (src.empty() || w <= 0 || h <= 0)
        return out;
    if (w == src.width && h == src.height)
        return src; // DCT scaling often lands on the size exactly
    out.resize(w, h);
    const std::vector<Span> xs = Spans(src.width, w);
    const std::vector<Span> ys = Spans(src.height, h);
    // Rows are first summed horizontally into one line of accumulators per output row.
    std::vector<uint64_t> acc(static_cast<size_t>(w) * 3);
    for (int32_t oy = 0; oy < h; ++oy) {
        const Span& sy = ys[static_cast<size_t>(oy)];
        std::fill(acc.begin(), acc.end(), 0);
        int64_t wyTotal = 0;
        const int64_t yFirst = sy.from / 256;
        const int64_t yLast = std::min<int64_t>((sy.to - 1) / 256, src.height - 1);
        for (int64_t y = yFirst; y <= yLast; ++y) {
            const int64_t wy = Overlap(y, sy);
            if (wy == 0)
                continue;
            wyTotal += wy;
            const uint8_t* in = src.row(static_cast<int32_t>(y));
            for (int32_t ox = 0; ox < w; ++ox) {
                const Span& sx = xs[static_cast<size_t>(ox)];
                const int64_t xFirst = sx.from / 256;
                const int64_t xLast = std::min<int64_t>((sx.to - 1) / 256, src.width - 1);
                uint64_t r = 0, g = 0, b = 0;
                for (int64_t x = xFirst; x <= xLast; ++x) {
                    const uint64_t wx = static_cast<uint64_t>(Overlap(x, sx));
                    const uint8_t* p = in + x * 3;
                    r += wx * p[0];
                    g += wx * p[1];
                    b += wx * p[2];
                }
                uint64_t* a = &acc[static_cast<size_t>(ox) * 3];
                a[0] += r * static_cast<uint64_t>(wy);
                a[1] += g * static_cast<uint64_t>(wy);
                a[2] += b * static_cast<uint64_t>(wy);
            }
        }
        uint8_t* o = out.row(oy);
        for (int32_t ox = 0; ox < w; ++ox) {
            const Span& sx = xs[static_cast<size_t>(ox)];
            const uint64_t total = static_cast<uint64_t>(sx.to - sx.from) *
                                   static_cast<uint64_t>(std::max<int64_t>(wyTotal, 1));
            for (int c = 0; c < 3; ++c)
                o[ox * 3 + c] = static_cast<uint8_t>(
                    (acc[static_cast<size_t>(ox) * 3 + static_cast<size_t>(c)] + total / 2) /
                    total);
        }
    }
    return out;
}

} // namespace ocelis
