// The viewer workload's camera-like pictures (the same pixels as
// bench/viewer_workload_frames.c writes) and a structural similarity index to compare two
// renderings of one picture.
#pragma once

#include "imaging/Bitmap.h"
#include "imaging/Jpeg.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace ocelis::test {

// Shading, a bright bar whose place depends on frame, and per-pixel noise of -11..10 levels,
// so that it compresses like a camera picture rather than a flat test card.
inline TBitmap NoisyCameraBitmap(int w, int h, int frame) {
    TBitmap b;
    b.Resize(w, h);
    unsigned state = 7u + static_cast<unsigned>(frame) * 7919u;
    const int bar = (frame * 97) % w;
    const int barWidth = 120 * w / 1280, barTop = 300 * h / 720, barBottom = 520 * h / 720;
    const auto clamp = [](int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); };
    for (int y = 0; y < h; ++y) {
        uint8_t* px = b.Row(y);
        for (int x = 0; x < w; ++x, px += 3) {
            state = state * 1103515245u + 12345u;
            const int n = static_cast<int>(((state >> 16) & 0x7fff) % 22) - 11;
            int r = 40 + y * 720 / h / 4 + n, g = 80 + x * 1280 / w / 8 + n,
                bl = 150 + (x * 1280 / w + y * 720 / h) / 20 + n;
            if (x >= bar && x < bar + barWidth && y > barTop && y < barBottom) {
                r = 230 + n / 2;
                g = 160 + n / 2;
                bl = 30;
            }
            px[0] = clamp(r);
            px[1] = clamp(g);
            px[2] = clamp(bl);
        }
    }
    return b;
}

// Quality 85, as the workload's server sends them (about 190 KB at 1280x720).
inline std::string NoisyCameraJpeg(int w, int h, int frame = 0) {
    return EncodeJpeg(NoisyCameraBitmap(w, h, frame), 85);
}

// Mean SSIM of the luma of two pictures of the same size over 8x8 windows, 4 apart; 0 for
// pictures of different or no size.
inline double Ssim(const TBitmap& a, const TBitmap& b) {
    if (a.Width != b.Width || a.Height != b.Height || a.Width < 8 || a.Height < 8)
        return 0;
    const auto luma = [](const TBitmap& m) {
        std::vector<double> y(static_cast<size_t>(m.Width) * m.Height);
        for (int r = 0; r < m.Height; ++r)
            for (int c = 0; c < m.Width; ++c) {
                const uint8_t* p = m.Row(r) + c * 3;
                y[static_cast<size_t>(r) * m.Width + c] =
                    0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
            }
        return y;
    };
    const std::vector<double> ya = luma(a), yb = luma(b);
    constexpr double kC1 = (0.01 * 255) * (0.01 * 255), kC2 = (0.03 * 255) * (0.03 * 255);
    double sum = 0;
    int windows = 0;
    for (int top = 0; top + 8 <= a.Height; top += 4)
        for (int left = 0; left + 8 <= a.Width; left += 4) {
            double ma = 0, mb = 0, va = 0, vb = 0, cov = 0;
            for (int r = top; r < top + 8; ++r)
                for (int c = left; c < left + 8; ++c) {
                    const size_t i = static_cast<size_t>(r) * a.Width + c;
                    ma += ya[i];
                    mb += yb[i];
                }
            ma /= 64;
            mb /= 64;
            for (int r = top; r < top + 8; ++r)
                for (int c = left; c < left + 8; ++c) {
                    const size_t i = static_cast<size_t>(r) * a.Width + c;
                    va += (ya[i] - ma) * (ya[i] - ma);
                    vb += (yb[i] - mb) * (yb[i] - mb);
                    cov += (ya[i] - ma) * (yb[i] - mb);
                }
            va /= 63;
            vb /= 63;
            cov /= 63;
            sum += ((2 * ma * mb + kC1) * (2 * cov + kC2)) /
                   ((ma * ma + mb * mb + kC1) * (va + vb + kC2));
            ++windows;
        }
    return sum / windows;
}

} // namespace ocelis::test
