#include "viewer/ViewerGeometry.h"

#include <climits>
#include <cmath>

namespace ocelis {

int RoundHalfEven(double v) {
    if (std::isnan(v))
        return 0;
    if (v >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (v <= static_cast<double>(INT_MIN))
        return INT_MIN;
    // nearbyint follows the current rounding mode, which is round-to-nearest-even by default.
    return static_cast<int>(std::nearbyint(v));
}

TViewerSize CheckViewerSize(TViewerSize proposed, const TViewerSizeContext& ctx) {
    int w = proposed.Width;
    int h = proposed.Height;
    if (w < kViewerMinWidth)
        w = kViewerMinWidth;
    if (h < kViewerMinHeight)
        h = kViewerMinHeight;
    if (!ctx.Proportional || ctx.Resizing || !ctx.NormalState)
        return {w, h};

    if (ctx.StatusVisible)
        h -= kViewerStatusHeight;
    const double pw = ctx.PictureWidth;
    const double ph = ctx.PictureHeight;
    // Doubles throughout: a huge proposed size must not overflow the products.
    const double a = ctx.PictureWidth == 0 ? 0.0 : static_cast<double>(w) * 100.0 / pw;
    const double b = ctx.PictureHeight == 0 ? 0.0 : static_cast<double>(h) * 100.0 / ph;
    if (a != b) {
        const double m = a > b ? a : b;
        w = RoundHalfEven(pw * m / 100.0);
        h = RoundHalfEven(ph * m / 100.0);
        if (ctx.ScreenHeight < h || ctx.ScreenWidth < w)
            return {ctx.ScreenWidth, ctx.ScreenHeight};
    }
    if (ctx.StatusVisible)
        h += kViewerStatusHeight;
    return {w, h};
}

std::string ZoomCaption(int controlWidth, int controlHeight, int pictureWidth, int pictureHeight,
                        int outerWidth, int outerHeight) {
    const int64_t x =
        pictureWidth == 0 ? 0 : static_cast<int64_t>(controlWidth) * 100 / pictureWidth;
    const int64_t y =
        pictureHeight == 0 ? 0 : static_cast<int64_t>(controlHeight) * 100 / pictureHeight;
    return std::to_string(x < y ? x : y) + "% (" + std::to_string(outerWidth) + "*" +
           std::to_string(outerHeight) + ")";
}

TViewerSize ZoomSize(int w, int h, int percent) {
    switch (percent) {
    case 50:
        return {w / 2, h / 2};
    case 150:
        return {RoundHalfEven(w * 1.5), RoundHalfEven(h * 1.5)};
    case 200:
        return {RoundHalfEven(w * 2.0), RoundHalfEven(h * 2.0)};
    default:
        return {w, h};
    }
}

std::string FormatCount(const std::string& pattern, int32_t n) {
    std::string out;
    out.reserve(pattern.size() + 8);
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            if (pattern[i + 1] == 'd') {
                out += std::to_string(n);
                ++i;
                continue;
            }
            if (pattern[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

std::string CountdownText(int32_t countdown, const std::string& testing, const std::string& one,
                          const std::string& many) {
    if (countdown == 0)
        return testing;
    if (countdown == 1)
        return one;
    return FormatCount(many, countdown);
}

} // namespace ocelis
