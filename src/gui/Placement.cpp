#include "gui/Placement.h"

#include <algorithm>

namespace ocelis {

namespace {

int CentredStart(int areaStart, int areaLength, int length) {
    const int start = areaStart + (areaLength - length) / 2;
    // Not std::clamp: the bounds cross when the window is the larger.
    return std::max(areaStart, std::min(start, areaStart + areaLength - length));
}

} // namespace

TPlaceRect CentredPlace(const TPlaceRect& area, int width, int height) {
    return {CentredStart(area.Left, area.Width, width), CentredStart(area.Top, area.Height, height),
            width, height};
}

} // namespace ocelis
