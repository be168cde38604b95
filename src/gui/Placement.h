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

// The window moved (never sized) back inside the area where it sticks out; one larger than
// the area keeps its top-left corner in it.
TPlaceRect InsidePlace(const TPlaceRect& area, const TPlaceRect& window);

// The next window of a cascade: step right and down from the last one; an edge that would
// leave the area starts again at the area's left or top edge.
TPlaceRect CascadePlace(const TPlaceRect& area, const TPlaceRect& last, int width, int height,
                        int step);

// What a window may have of length (a size or a minimum size) where the screen holds room:
// the screen wins, but never below one pixel.
int GiveWay(int length, int room);

} // namespace ocelis
