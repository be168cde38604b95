// TOcFormMagnet: snaps a window to the edges of the work area while the user drags it and
// lets it be pulled free again. The rules are one pure function; the class keeps the four
// edge time stamps and is called by the window with each proposed position.
#pragma once

#include <cstdint>
#include <functional>

namespace ocelis {

// Screen rectangle with exclusive right/bottom (right = left + width).
struct TMagnetRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
    bool operator==(const TMagnetRect&) const = default;
};

// When the magnet last placed the window relative to each work-area edge, in milliseconds
// of the magnet's clock; 0 = never.
struct TMagnetStamps {
    int64_t Left = 0;
    int64_t Right = 0;
    int64_t Top = 0;
    int64_t Bottom = 0;
    bool operator==(const TMagnetStamps&) const = default;
};

struct TMagnetResult {
    TMagnetRect Rect;     // the proposed rectangle after snapping (same size)
    TMagnetStamps Stamps; // stamps after this move
};

inline constexpr int32_t kMagnetArea = 15;
inline constexpr int64_t kMagnetFreshMs = 250;

// One moving notification: current window rectangle, proposed rectangle, work area, the
// current time (ms) and the stamps so far, with magnet distance area.
TMagnetResult SnapToWorkArea(const TMagnetRect& current, const TMagnetRect& proposed,
                             const TMagnetRect& workArea, int64_t nowMs,
                             const TMagnetStamps& stamps, int32_t area = kMagnetArea);

} // namespace ocelis

class TOcFormMagnet {
public:
    // Milliseconds from any fixed origin; the default is a monotonic clock.
    using TClock = std::function<int64_t()>;

    explicit TOcFormMagnet(TClock clock = {});

    bool Active = false;
    bool ScreenMagnet = true;
    int32_t Area = ocelis::kMagnetArea;

    // Called by the window while the user moves it, before it takes the proposed position;
    // returns the position to take instead (the proposed one when inactive).
    ocelis::TMagnetRect Moving(const ocelis::TMagnetRect& current,
                               const ocelis::TMagnetRect& proposed,
                               const ocelis::TMagnetRect& workArea);

    const ocelis::TMagnetStamps& Stamps() const { return FStamps; }

private:
    TClock FClock;
    ocelis::TMagnetStamps FStamps;
};
