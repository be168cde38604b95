// Where TOcImage draws its picture: the largest size that fits the control with the
// picture's proportions, centred. Free of widgets so it can be tested with plain numbers.
#pragma once

#include <cstdint>

namespace ocelis {

struct TZoomRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    bool operator==(const TZoomRect&) const = default;
};

// Control cw by ch, picture bw by bh. The smaller of the two scales wins (on a tie the
// vertical one); sizes round to nearest with halves to even; the offsets are (c - size) / 2
// truncated toward zero. An empty picture gives a rectangle of no size at the centre.
TZoomRect ZoomRectangle(int32_t cw, int32_t ch, int32_t bw, int32_t bh);

} // namespace ocelis
