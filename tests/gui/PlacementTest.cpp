#include "gui/Placement.h"

#include <gtest/gtest.h>
#include <ostream>

namespace ocelis {

void PrintTo(const TPlaceRect& r, std::ostream* os) {
    *os << "(" << r.Left << ", " << r.Top << ") " << r.Width << "x" << r.Height;
}

} // namespace ocelis

using ocelis::CentredPlace;
using ocelis::InsidePlace;
using ocelis::TPlaceRect;

TEST(CentredPlace, CentresInsideTheAreaAndPinsWhatDoesNotFit) {
    struct TCase {
        const char* What;
        TPlaceRect Area;
        int Width, Height;
        int Left, Top;
    };
    const TCase cases[] = {
        {"even margins", {0, 0, 800, 600}, 300, 200, 250, 200},
        {"odd spare pixel goes right and down", {0, 0, 800, 600}, 309, 253, 245, 173},
        {"area off the origin (a panel at the top)", {0, 32, 1920, 1048}, 500, 384, 710, 364},
        {"second screen to the right", {1920, 0, 1280, 1024}, 520, 375, 2300, 324},
        {"screen left of the primary", {-1280, 0, 1280, 1024}, 328, 263, -804, 380},
        {"exactly the area", {10, 20, 400, 300}, 400, 300, 10, 20},
        {"wider than the area: left edge kept", {0, 0, 800, 600}, 1000, 200, 0, 200},
        {"taller than the area: top kept", {100, 50, 800, 600}, 300, 900, 350, 50},
        {"larger both ways", {-1280, 32, 1280, 992}, 1400, 1100, -1280, 32},
        {"empty area", {0, 0, 0, 0}, 300, 200, 0, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_EQ(CentredPlace(c.Area, c.Width, c.Height),
                  (TPlaceRect{c.Left, c.Top, c.Width, c.Height}));
    }
}

TEST(InsidePlace, MovesBackWhatSticksOutAndNeverResizes) {
    struct TCase {
        const char* What;
        TPlaceRect Area, Window;
        int Left, Top;
    };
    // The mosaic's place from its layout on a 640 by 400 screen (1280 by 800 at scale 2).
    const TCase cases[] = {
        {"inside stays", {0, 0, 800, 600}, {446, 285, 300, 200}, 446, 285},
        {"layout place past a small screen", {0, 0, 640, 400}, {446, 285, 438, 330}, 202, 70},
        {"left of and above the area", {0, 32, 800, 568}, {-50, 10, 300, 200}, 0, 32},
        {"screen beside", {1920, 0, 1280, 1024}, {3000, 900, 400, 300}, 2800, 724},
        {"larger than the area", {0, 0, 640, 400}, {100, 100, 700, 500}, 0, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_EQ(InsidePlace(c.Area, c.Window),
                  (TPlaceRect{c.Left, c.Top, c.Window.Width, c.Window.Height}));
    }
}

TEST(CascadePlace, StepsRightAndDownAndStartsAgainAtAnEdge) {
    struct TCase {
        const char* What;
        TPlaceRect Area, Last;
        int Left, Top;
    };
    const TCase cases[] = {
        {"one step from the centred one", {0, 0, 1024, 768}, {358, 257, 308, 253}, 382, 281},
        {"bottom reached: top again", {0, 0, 1024, 768}, {500, 500, 308, 253}, 524, 0},
        {"right reached: left again", {0, 32, 1024, 736}, {700, 100, 308, 253}, 0, 124},
        {"corner reached: both again", {0, 0, 640, 400}, {320, 140, 308, 253}, 0, 0},
        {"last on another screen", {1024, 0, 800, 600}, {10, 10, 308, 253}, 1024, 34},
        {"window larger than the area", {0, 0, 640, 400}, {0, 0, 700, 500}, 0, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_EQ(ocelis::CascadePlace(c.Area, c.Last, c.Last.Width, c.Last.Height, 24),
                  (TPlaceRect{c.Left, c.Top, c.Last.Width, c.Last.Height}));
    }
}

TEST(GiveWay, TheScreenWinsButNeverBelowOnePixel) {
    const int cases[][3] = {{380, 600, 380}, {380, 372, 372}, {500, 640, 500}, {200, 0, 1}};
    for (const auto& [length, room, given] : cases)
        EXPECT_EQ(ocelis::GiveWay(length, room), given) << length << " in " << room;
}
