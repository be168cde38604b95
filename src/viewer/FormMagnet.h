// TOcFormMagnet: snaps a window to the edges of the work area while the user drags it and
// lets it be pulled free again. The rules are one pure function; the class keeps the four
// edge time stamps and is called by the window with each proposed position.
#pragma once

#include <cstdint>
#include <functional>

namespace ocelis {

// Screen rectangle with exclusive right/bottom (right = left + width).
struct MagnetRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t width() const { return right - left; }
    int32_t height() const { return bottom - top; }
    bool operator==(const MagnetRect&) const = default;
};

// When the magnet last placed the window relative to each work-area edge, in milliseconds
// of the magnet's clock; 0 = never.
struct MagnetStamps {
    int64_t left = 0;
    int64_t right = 0;
    int64_t top = 0;
    int64_t bottom = 0;
    bool operator==(const MagnetStamps&) const = default;
};

struct MagnetResult {
    MagnetRect rect;     // the proposed rectangle after snapping (same size)
    MagnetStamps stamps; // stamps after this move
};

inline constexpr int32_t kMagnetArea = 15;
inline constexpr int64_t kMagnetFreshMs = 250;

// One moving notification: current window rectangle, proposed rectangle, work area, the
// current time (ms) and the stamps so far, with magnet distance area.
MagnetResult SnapToWorkArea(const MagnetRect& current, const MagnetRect& proposed,
                            const MagnetRect& workArea, int64_t nowMs, const MagnetStamps& stamps,
                            int32_t area = kMagnetArea);

} // namespace ocelis

class TOcFormMagnet {
public:
    // Milliseconds from any fixed origin; the default is a monotonic clock.
    using Clock = std::function<int64_t()>;

    explicit TOcFormMagnet(Clock clock = {});

    bool Active = false;
    bool ScreenMagnet = true;
    int32_t Area = ocelis::kMagnetArea;

    // Called by the window while the user moves it, before it takes the proposed position;
    // returns the position to take instead (the proposed one when inactive).
    ocelis::MagnetRect Moving(const ocelis::MagnetRect& current, const ocelis::MagnetRect& proposed,
                              const ocelis::MagnetRect& workArea);

    const ocelis::MagnetStamps& Stamps() const { return FStamps; }

private:
    Clock FClock;
    ocelis::MagnetStamps FStamps;
};
