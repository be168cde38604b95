#include "gui/Placement.h"

#include <algorithm>

namespace ocelis {

namespace {

int Inside(int areaStart, int areaLength, int start, int length) {
    // Not std::clamp: the bounds cross when the window is the larger.
    return std::max(areaStart, std::min(start, areaStart + areaLength - length));
}

int CentredStart(int areaStart, int areaLength, int length) {
    return Inside(areaStart, areaLength, areaStart + (areaLength - length) / 2, length);
}

int CascadeStart(int areaStart, int areaLength, int last, int length, int step) {
    const int next = last + step;
    if (next < areaStart || next + length > areaStart + areaLength)
        return areaStart;
    return next;
}

} // namespace

TPlaceRect CentredPlace(const TPlaceRect& area, int width, int height) {
    return {CentredStart(area.Left, area.Width, width), CentredStart(area.Top, area.Height, height),
            width, height};
}

TPlaceRect InsidePlace(const TPlaceRect& area, const TPlaceRect& window) {
    return {Inside(area.Left, area.Width, window.Left, window.Width),
            Inside(area.Top, area.Height, window.Top, window.Height), window.Width, window.Height};
}

TPlaceRect CascadePlace(const TPlaceRect& area, const TPlaceRect& last, int width, int height,
                        int step) {
    return InsidePlace(area, {CascadeStart(area.Left, area.Width, last.Left, width, step),
                              CascadeStart(area.Top, area.Height, last.Top, height, step), width,
                              height});
}

int GiveWay(int length, int room) {
    return std::max(1, std::min(length, room));
}

} // namespace ocelis
