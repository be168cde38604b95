#include "viewer/ZoomGeometry.h"

#include <cmath>
#include <limits>

namespace ocelis {

namespace {

// Nearest integer with halves to even, whatever rounding mode is set; clamped.
int32_t RoundEven(double v) {
    if (!(v == v))
        return 0;
    const double lo = std::floor(v);
    const double frac = v - lo;
    double r = lo;
    if (frac > 0.5 || (frac == 0.5 && std::fmod(lo, 2.0) != 0.0))
        r = lo + 1.0;
    if (r >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (r <= static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}

} // namespace

TZoomRect ZoomRectangle(int32_t cw, int32_t ch, int32_t bw, int32_t bh) {
    const double sx = bw != 0 ? static_cast<double>(cw) / bw : 1.0;
    const double sy = bh != 0 ? static_cast<double>(ch) / bh : 1.0;
    const double s = sx >= sy ? sy : sx;
    TZoomRect r;
    r.Width = RoundEven(bw * s);
    r.Height = RoundEven(bh * s);
    // Computed in 64 bits: the differences of two int32 values can overflow 32.
    r.Top = static_cast<int32_t>((static_cast<int64_t>(ch) - r.Height) / 2);
    r.Left = static_cast<int32_t>((static_cast<int64_t>(cw) - r.Width) / 2);
    return r;
}

} // namespace ocelis
