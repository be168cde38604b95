#include "gui/Placement.h"

#include <gtest/gtest.h>
#include <ostream>

namespace ocelis {

void PrintTo(const TPlaceRect& r, std::ostream* os) {
    *os << "(" << r.Left << ", " << r.Top << ") " << r.Width << "x" << r.Height;
}

} // namespace ocelis

using ocelis::CentredPlace;
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
