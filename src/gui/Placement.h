// Where a new window goes on the screen, as plain arithmetic over rectangles.
#pragma once

namespace ocelis {

struct TPlaceRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool operator==(const TPlaceRect&) const = default;
};

// A window of width by height centred in area (an odd spare pixel goes to the right and
// bottom margins), then
// moved back inside the area where it sticks out; a window larger than the area keeps its
// top-left corner in it, so that its title and first controls stay reachable.
TPlaceRect CentredPlace(const TPlaceRect& area, int width, int height);

} // namespace ocelis
