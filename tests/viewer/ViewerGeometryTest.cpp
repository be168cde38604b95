#include "viewer/ViewerGeometry.h"

#include <climits>
#include <gtest/gtest.h>

using namespace ocelis;

namespace {

TViewerSizeContext Proportional320x240() {
    TViewerSizeContext c;
    c.Proportional = true;
    c.StatusVisible = true;
    c.PictureWidth = 320;
    c.PictureHeight = 240;
    c.ScreenWidth = 1024;
    c.ScreenHeight = 768;
    return c;
}

} // namespace

TEST(ViewerRounding, HalvesGoToEven) {
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(2.51), 3);
    EXPECT_EQ(RoundHalfEven(1e300), INT_MAX);
    EXPECT_EQ(RoundHalfEven(-1e300), INT_MIN);
}

TEST(ViewerSizeCheck, FirstImageAt100PercentAddsStatusBarBack) {
    // act100 on a 320x240 picture: the picture keeps its size, the status bar comes on top.
    EXPECT_EQ(CheckViewerSize({320, 240}, Proportional320x240()), (TViewerSize{320, 259}));
}

TEST(ViewerSizeCheck, WithoutProportionalOnlyTheMinimumApplies) {
    auto c = Proportional320x240();
    c.Proportional = false;
    EXPECT_EQ(CheckViewerSize({320, 240}, c), (TViewerSize{320, 240}));
    EXPECT_EQ(CheckViewerSize({10, 149}, c), (TViewerSize{150, 150}));
    EXPECT_EQ(CheckViewerSize({-5, 5000}, c), (TViewerSize{150, 5000}));
}

TEST(ViewerSizeCheck, ProportionalSkippedWhileResizingOrNotNormal) {
    auto c = Proportional320x240();
    c.Resizing = true;
    EXPECT_EQ(CheckViewerSize({400, 200}, c), (TViewerSize{400, 200}));
    c.Resizing = false;
    c.NormalState = false;
    EXPECT_EQ(CheckViewerSize({400, 100}, c), (TViewerSize{400, 150}));
}

TEST(ViewerSizeCheck, LargerPercentageWins) {
    const auto c = Proportional320x240();
    // width asks for 125 %, height for 100 %: the window grows to 125 %.
    EXPECT_EQ(CheckViewerSize({400, 259}, c), (TViewerSize{400, 319}));
    // height asks for 150 %, width for 100 %.
    EXPECT_EQ(CheckViewerSize({320, 379}, c), (TViewerSize{480, 379}));
    // dragging only the right edge inwards is undone.
    EXPECT_EQ(CheckViewerSize({300, 259}, c), (TViewerSize{320, 259}));
    // both dimensions shrink: the window shrinks.
    EXPECT_EQ(CheckViewerSize({200, 169}, c), (TViewerSize{200, 169}));
    // the minimum comes first: 139 is raised to 150 before the percentages are taken.
    EXPECT_EQ(CheckViewerSize({160, 139}, c), (TViewerSize{175, 150}));
}

TEST(ViewerSizeCheck, StatusBarHiddenUsesTheWholeHeight) {
    auto c = Proportional320x240();
    c.StatusVisible = false;
    EXPECT_EQ(CheckViewerSize({320, 240}, c), (TViewerSize{320, 240}));
    EXPECT_EQ(CheckViewerSize({400, 240}, c), (TViewerSize{400, 300}));
}

TEST(ViewerSizeCheck, ProductsRoundHalvesToEven) {
    auto c = Proportional320x240();
    c.StatusVisible = false;
    c.PictureWidth = 100;
    c.PictureHeight = 101;
    // b = 150 %, a = 151 %: W = 151, H = 101 * 1.51 = 152.51 -> 153.
    EXPECT_EQ(CheckViewerSize({151, 150}, c), (TViewerSize{151, 153}));
    // a = 250 %: H = 101 * 2.5 = 252.5 -> 252 (halves to even).
    EXPECT_EQ(CheckViewerSize({250, 200}, c), (TViewerSize{250, 252}));
    c.PictureWidth = 300;
    c.PictureHeight = 201;
    // W 150 gives 50 %, H 160 gives 79.6 %: W = 300 * 160 / 201 = 238.8 -> 239, H = 160.
    EXPECT_EQ(CheckViewerSize({150, 160}, c), (TViewerSize{239, 160}));
}

TEST(ViewerSizeCheck, BeyondTheScreenTakesTheScreenSize) {
    const auto c = Proportional320x240();
    // no status-bar height is added back in this case.
    EXPECT_EQ(CheckViewerSize({2000, 300}, c), (TViewerSize{1024, 768}));
    EXPECT_EQ(CheckViewerSize({320, 1000}, c), (TViewerSize{1024, 768}));
    EXPECT_EQ(CheckViewerSize({INT_MAX, INT_MAX}, c), (TViewerSize{1024, 768}));
    // exactly the screen height with the status bar is still within it.
    EXPECT_EQ(CheckViewerSize({1024, 787}, c), (TViewerSize{1024, 787}));
}

TEST(ViewerSizeCheck, EmptyPictureGivesTheMinimum) {
    auto c = Proportional320x240();
    c.PictureWidth = 0;
    c.PictureHeight = 0;
    EXPECT_EQ(CheckViewerSize({0, 0}, c), (TViewerSize{150, 150}));
    c.Proportional = false;
    EXPECT_EQ(CheckViewerSize({0, 0}, c), (TViewerSize{150, 150}));
}

TEST(ViewerZoomCaption, SmallerIntegerPercentageAndOuterSize) {
    EXPECT_EQ(ZoomCaption(320, 240, 320, 240, 320, 259), "100% (320*259)");
    EXPECT_EQ(ZoomCaption(308, 234, 320, 240, 308, 253), "96% (308*253)");
    EXPECT_EQ(ZoomCaption(272, 300, 320, 240, 272, 319), "85% (272*319)");
    EXPECT_EQ(ZoomCaption(308, 234, 0, 0, 308, 253), "0% (308*253)");
    EXPECT_EQ(ZoomCaption(INT_MAX, INT_MAX, 1, 1, 5, 6), "214748364700% (5*6)");
}

TEST(ViewerZoomSize, Steps) {
    EXPECT_EQ(ZoomSize(321, 241, 50), (TViewerSize{160, 120}));
    EXPECT_EQ(ZoomSize(321, 241, 100), (TViewerSize{321, 241}));
    // 321 * 1.5 = 481.5 -> 482 (even), 241 * 1.5 = 361.5 -> 362, 3 * 1.5 = 4.5 -> 4.
    EXPECT_EQ(ZoomSize(321, 241, 150), (TViewerSize{482, 362}));
    EXPECT_EQ(ZoomSize(3, 5, 150), (TViewerSize{4, 8}));
    EXPECT_EQ(ZoomSize(321, 241, 200), (TViewerSize{642, 482}));
}

TEST(ViewerCountdownText, PicksTheText) {
    EXPECT_EQ(CountdownText(0, "Checking...", "1 second", "%d seconds"), "Checking...");
    EXPECT_EQ(CountdownText(1, "Checking...", "1 second", "%d seconds"), "1 second");
    EXPECT_EQ(CountdownText(10, "Checking...", "1 second", "%d seconds"), "10 seconds");
    EXPECT_EQ(CountdownText(-3, "Checking...", "1 second", "%d seconds"), "-3 seconds");
}

TEST(ViewerCountdownText, TranslatedPatternsAreFormattedSafely) {
    EXPECT_EQ(FormatCount("noch %d Sekunden (%d)", 7), "noch 7 Sekunden (7)");
    EXPECT_EQ(FormatCount("100%% %d", 2), "100% 2");
    EXPECT_EQ(FormatCount("%s %n %x %", 2), "%s %n %x %");
    EXPECT_EQ(FormatCount("", 2), "");
}
