#include "mosaic/MosaicGeometry.h"

#include "catalogue/CamCategory.h"

#include <gtest/gtest.h>

using namespace ocelis;

TEST(MosaicGeometry, CellSizesAreFourByThreeWithHalvesToEven) {
    struct TCase {
        int32_t ClientWidth, Col, Row;
    };
    for (const TCase& c : std::vector<TCase>{{200, 30, 22}, // 22.5 -> 22
                                             {438, 69, 52}, // 51.75
                                             {44, 4, 3},    // 3
                                             {62, 7, 5},    // 5.25
                                             {80, 10, 8},   // 7.5 -> 8
                                             {20, 0, 0},
                                             {5, 0, 0}}) {
        SCOPED_TRACE(c.ClientWidth);
        EXPECT_EQ(MosaicCellSize(c.ClientWidth), (TMosaicCellSize{c.Col, c.Row}));
    }
}

TEST(MosaicGeometry, RowsRoundUpAndNeverGoBelowOne) {
    for (auto [cells, rows] : std::vector<std::pair<size_t, int32_t>>{
             {0, 1}, {1, 1}, {6, 1}, {7, 2}, {12, 2}, {13, 3}, {10000, 1667}})
        EXPECT_EQ(MosaicRowCount(cells), rows) << cells;
}

TEST(MosaicGeometry, PicturesAreInsetScaledAndCentred) {
    struct TCase {
        const char* Name;
        TMosaicRect Cell;
        int32_t W, H;
        TMosaicRect Want;
    };
    const std::vector<TCase> cases = {
        {"4:3 into a cell a little wider", {0, 0, 69, 52}, 640, 480, {5, 4, 64, 48}},
        {"16:9 gets margins above and below", {0, 0, 69, 52}, 1280, 720, {4, 9, 65, 43}},
        {"tall picture gets side margins", {10, 20, 79, 72}, 100, 200, {33, 24, 56, 68}},
        {"small picture is enlarged", {0, 0, 108, 88}, 10, 8, {4, 4, 104, 84}},
        {"empty picture draws nothing", {0, 0, 69, 52}, 0, 0, {}},
        {"no room inside the inset", {0, 0, 8, 40}, 640, 480, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(MosaicPictureRect(c.Cell, c.W, c.H), c.Want);
    }
}

TEST(MosaicGeometry, APictureIsTooSmallOnceItsCellWouldEnlargeIt) {
    struct TCase {
        int32_t W, H;
        TMosaicCellSize Cell;
        bool TooSmall;
    };
    for (const TCase& c : std::vector<TCase>{{160, 90, {69, 52}, false},
                                             {160, 90, {168, 126}, false}, // fits 160 x 90
                                             {160, 90, {169, 127}, true},
                                             {80, 60, {300, 225}, true},
                                             {0, 0, {300, 225}, false}}) {
        SCOPED_TRACE(std::to_string(c.W) + " in " + std::to_string(c.Cell.ColWidth));
        EXPECT_EQ(MosaicPictureTooSmall(c.W, c.H, c.Cell), c.TooSmall);
    }
}

TEST(MosaicGeometry, CellsFollowTheCatalogueDepthFirst) {
    TCamCategory root;
    const auto cam = [](TCamCategory& cat, const char* name) { cat.Cams.Add()->Name = name; };
    cam(root, "r1");
    TCamCategory* a = root.Categories.Add();
    TCamCategory* b = root.Categories.Add();
    TCamCategory* a1 = a->Categories.Add();
    cam(*a1, "a1x");
    cam(*a, "a1");
    cam(*a, "a2");
    cam(*b, "b1");
    cam(root, "r2");
    std::vector<std::string> names;
    for (const TCamWebcam* w : MosaicWebcams(root))
        names.push_back(w->Name);
    EXPECT_EQ(names, (std::vector<std::string>{"r1", "r2", "a1", "a2", "a1x", "b1"}));
    EXPECT_TRUE(MosaicWebcams(TCamCategory()).empty());
}

TEST(MosaicGeometry, LiveStaleAndShades) {
    const TDateTime now = 45000.5;
    const double second = 1.0 / 86400;
    struct TLive {
        int32_t Length;
        double Offset; // seconds from now
        bool Live;
    };
    for (const TLive& c : std::vector<TLive>{{5, -1e6, true},
                                             {-1, -1e6, true},
                                             {0, -59, true},
                                             {0, -60, false},
                                             {0, 59.9, true},
                                             {0, 60, false},
                                             {0, -59.999, true}})
        EXPECT_EQ(MosaicLive(c.Length, now + c.Offset * second, now), c.Live)
            << c.Length << " " << c.Offset;

    using S = TCellShade;
    struct TShade {
        bool Selected, Failed, Stale, Live;
        S Want;
    };
    for (const TShade& c : std::vector<TShade>{{true, true, true, true, S::Highlight},
                                               {false, true, true, true, S::Offline},
                                               {false, false, true, true, S::Stale},
                                               {false, false, false, true, S::Live},
                                               {false, false, false, false, S::Dark}})
        EXPECT_EQ(MosaicShade(c.Selected, c.Failed, c.Stale, c.Live), c.Want);

    EXPECT_EQ(MosaicAgeText(45), "updated 45 s ago");
    EXPECT_EQ(MosaicAgeText(150), "updated 2 min ago");
    EXPECT_EQ(MosaicAgeText(3 * 3600 + 5), "updated 3 h ago");
    EXPECT_EQ(MosaicAgeText(5 * 86400), "updated 5 days ago");
}
