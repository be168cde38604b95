#include "viewer/FormMagnet.h"

#include <gtest/gtest.h>

using namespace ocelis;

namespace {

const TMagnetRect kWork{0, 0, 1024, 738};
constexpr int64_t kNow = 1'000'000;
constexpr int64_t kLongAgo = 0;

TMagnetRect Win(int left, int top, int w = 300, int h = 200) {
    return {left, top, left + w, top + h};
}

struct Move {
    TMagnetRect from;
    TMagnetRect to;
    TMagnetStamps stamps{};
};

// Snaps the move and checks that the size never changes.
TMagnetResult Snap(const Move& m) {
    const TMagnetResult r = SnapToWorkArea(m.from, m.to, kWork, kNow, m.stamps);
    EXPECT_EQ(r.Rect.Width(), m.to.Width());
    EXPECT_EQ(r.Rect.Height(), m.to.Height());
    return r;
}

int SnapLeft(int fromLeft, int toLeft, TMagnetStamps st = {}, int w = 300) {
    return Snap({Win(fromLeft, 100, w), Win(toLeft, 100, w), st}).Rect.Left;
}
int SnapTop(int fromTop, int toTop, TMagnetStamps st = {}, int h = 200) {
    return Snap({Win(100, fromTop, 300, h), Win(100, toTop, 300, h), st}).Rect.Top;
}

TMagnetStamps FreshLeft() {
    return {kNow - 100, kLongAgo, kLongAgo, kLongAgo};
}
TMagnetStamps FreshRight() {
    return {kLongAgo, kNow - 100, kLongAgo, kLongAgo};
}
TMagnetStamps FreshTop() {
    return {kLongAgo, kLongAgo, kNow - 100, kLongAgo};
}
TMagnetStamps FreshBottom() {
    return {kLongAgo, kLongAgo, kLongAgo, kNow - 100};
}

} // namespace

TEST(MagnetMovingLeftOld, Rule1PullsOntoTheLeftEdge) {
    EXPECT_EQ(SnapLeft(50, 10), 0); // the documented example: dL = 10
    EXPECT_EQ(SnapLeft(50, 2), 0);
    EXPECT_EQ(SnapLeft(50, 15), 0);
    EXPECT_EQ(SnapLeft(50, 1), 0);
    EXPECT_EQ(SnapLeft(50, -1), 0);
    EXPECT_EQ(SnapLeft(50, 16), 16); // out of reach
    EXPECT_EQ(SnapLeft(50, 0), 0);   // dL = 0 matches no rule: stays where proposed
    const TMagnetResult r = Snap({Win(50, 100), Win(10, 100)});
    EXPECT_EQ(r.Stamps, (TMagnetStamps{kNow, 0, 0, 0}));
}

TEST(MagnetMovingLeftOld, Rule2PushesPastTheLeftEdge) {
    EXPECT_EQ(SnapLeft(0, -5), -15); // the documented example
    EXPECT_EQ(SnapLeft(0, -2), -15);
    EXPECT_EQ(SnapLeft(0, -15), -15);
    EXPECT_EQ(SnapLeft(0, -16), -16);
    EXPECT_EQ(Snap({Win(0, 100), Win(-5, 100)}).Stamps.Left, kNow);
}

TEST(MagnetMovingLeftOld, Rule3PullsAwayFromTheRightEdge) {
    // Right edge proposed at 1020 (dR = 4): R- puts it at 1024 - 15.
    const TMagnetResult r = Snap({Win(730, 100), Win(720, 100)});
    EXPECT_EQ(r.Rect.Right, 1009);
    EXPECT_EQ(r.Stamps, (TMagnetStamps{0, kNow, 0, 0}));
    EXPECT_EQ(SnapLeft(730, 709), 709); // dR = 15
    EXPECT_EQ(SnapLeft(730, 722), 709); // dR = 2
}

TEST(MagnetMovingLeftOld, Rule4PullsOntoTheRightEdge) {
    EXPECT_EQ(SnapLeft(740, 725), 724); // dR = -1
    EXPECT_EQ(SnapLeft(750, 734), 724); // dR = -10
    EXPECT_EQ(SnapLeft(750, 739), 724); // dR = -15
    EXPECT_EQ(SnapLeft(750, 740), 740); // dR = -16: out of reach
    EXPECT_EQ(SnapLeft(730, 723), 724); // dR = 1: not rule 3, so rule 4
    EXPECT_EQ(Snap({Win(750, 100), Win(734, 100)}).Stamps.Right, kNow);
}

TEST(MagnetMovingLeftOld, EarlierRulesWin) {
    // A 1020 wide window near both edges: dL = 3 (rule 1) and dR = 1 (rule 4).
    EXPECT_EQ(SnapLeft(10, 3, {}, 1020), 0);
    // dL = -3 (rule 2) and dR = 7 (rule 3).
    EXPECT_EQ(SnapLeft(0, -3, {}, 1020), -15);
}

TEST(MagnetMovingLeftFresh, OnlyTheTwoFreshRowsApply) {
    EXPECT_EQ(SnapLeft(0, -14, FreshLeft()), 0); // old would give -15
    EXPECT_EQ(SnapLeft(30, 14, FreshLeft()), 0);
    EXPECT_EQ(SnapLeft(0, -15, FreshLeft()), -15);   // |dL| = 15 is not < 15
    EXPECT_EQ(SnapLeft(730, 719, FreshLeft()), 724); // dR = 5: R0 (old would give R-)
    EXPECT_EQ(SnapLeft(750, 738, FreshLeft()), 724); // dR = -14
    const TMagnetResult none = Snap({Win(500, 100), Win(400, 100), FreshLeft()});
    EXPECT_EQ(none.Rect, Win(400, 100));
    EXPECT_EQ(none.Stamps, FreshLeft());
    // Moving left tests the left stamp only: a fresh right stamp leaves the old rows.
    EXPECT_EQ(SnapLeft(0, -5, FreshRight()), -15);
}

TEST(MagnetMovingRightOld, AllFourRows) {
    EXPECT_EQ(Snap({Win(700, 100), Win(716, 100)}).Rect.Right, 1024); // documented: dR = 8
    EXPECT_EQ(SnapLeft(700, 725), 724);                               // dR = -1: rule 1
    EXPECT_EQ(SnapLeft(700, 723), 724);                               // dR = 1: rule 1
    EXPECT_EQ(SnapLeft(724, 729), 739);                               // dR = -5: rule 2, R+
    EXPECT_EQ(SnapLeft(724, 739), 739);                               // dR = -15
    EXPECT_EQ(SnapLeft(724, 740), 740);                               // dR = -16: nothing
    EXPECT_EQ(SnapLeft(-20, -10), 0);                                 // dL = -10: rule 3, L0
    EXPECT_EQ(SnapLeft(0, 5), 15);                                    // dL = 5: rule 4, L+
    EXPECT_EQ(SnapLeft(-5, -1), 15);                                  // dL = -1: rule 4
    EXPECT_EQ(SnapLeft(0, 16), 16);                                   // dL = 16: nothing
    EXPECT_EQ(Snap({Win(700, 100), Win(716, 100)}).Stamps, (TMagnetStamps{0, kNow, 0, 0}));
    EXPECT_EQ(Snap({Win(0, 100), Win(5, 100)}).Stamps, (TMagnetStamps{kNow, 0, 0, 0}));
}

TEST(MagnetMovingRightFresh, OnlyTheTwoFreshRowsApply) {
    EXPECT_EQ(SnapLeft(724, 734, FreshRight()), 724); // dR = -10: R0 (old would give R+)
    EXPECT_EQ(SnapLeft(0, 5, FreshRight()), 0);       // dL = 5: L0 (old would give L+)
    EXPECT_EQ(SnapLeft(0, 15, FreshRight()), 15);     // |dL| = 15: nothing
    EXPECT_EQ(SnapLeft(724, 729, FreshLeft()), 739);  // the left stamp does not count here
}

TEST(MagnetMovingUpOld, AllFourRows) {
    EXPECT_EQ(SnapTop(50, 10), 0);     // rule 1
    EXPECT_EQ(SnapTop(50, -1), 0);     // |dT| = 1
    EXPECT_EQ(SnapTop(0, -5), -15);    // rule 2
    EXPECT_EQ(SnapTop(0, -16), -16);   // nothing
    EXPECT_EQ(SnapTop(560, 534), 523); // dB = 4: rule 3, B- (bottom 723)
    EXPECT_EQ(SnapTop(560, 548), 538); // dB = -10: rule 4, B0
    EXPECT_EQ(SnapTop(560, 537), 538); // dB = 1: rule 4
    EXPECT_EQ(Snap({Win(100, 560), Win(100, 534)}).Stamps, (TMagnetStamps{0, 0, 0, kNow}));
    EXPECT_EQ(Snap({Win(100, 50), Win(100, 10)}).Stamps, (TMagnetStamps{0, 0, kNow, 0}));
}

TEST(MagnetMovingUpFresh, OnlyTheTwoFreshRowsApply) {
    EXPECT_EQ(SnapTop(0, -14, FreshTop()), 0);
    EXPECT_EQ(SnapTop(560, 534, FreshTop()), 538); // dB = 4: B0 (old would give B-)
    EXPECT_EQ(SnapTop(200, 100, FreshTop()), 100);
    EXPECT_EQ(SnapTop(0, -14, FreshBottom()), -15); // moving up tests the top stamp
}

TEST(MagnetMovingDownOld, AllFourRows) {
    EXPECT_EQ(SnapTop(0, 5), 15);      // dT = 5: rule 1, T+
    EXPECT_EQ(SnapTop(0, 15), 15);     // dT = 15
    EXPECT_EQ(SnapTop(-10, -3), 0);    // dT = -3: rule 2, T0
    EXPECT_EQ(SnapTop(-10, 1), 0);     // dT = 1: rule 2
    EXPECT_EQ(SnapTop(500, 530), 538); // dB = 8: rule 3, B0
    EXPECT_EQ(SnapTop(538, 543), 553); // dB = -5: rule 4, B+ (bottom 753)
    EXPECT_EQ(SnapTop(500, 537), 553); // dB = 1: rule 4
    EXPECT_EQ(SnapTop(538, 554), 554); // dB = -16: nothing
    EXPECT_EQ(Snap({Win(100, 0), Win(100, 5)}).Stamps, (TMagnetStamps{0, 0, kNow, 0}));
    EXPECT_EQ(Snap({Win(100, 500), Win(100, 530)}).Stamps, (TMagnetStamps{0, 0, 0, kNow}));
}

TEST(MagnetMovingDownFresh, OnlyTheTwoFreshRowsApply) {
    EXPECT_EQ(SnapTop(0, 5, FreshBottom()), 0);       // T0 (old would give T+)
    EXPECT_EQ(SnapTop(500, 533, FreshBottom()), 553); // dB = 5: B+ (old would give B0)
    EXPECT_EQ(SnapTop(100, 200, FreshBottom()), 200);
    EXPECT_EQ(SnapTop(0, 5, FreshTop()), 15); // moving down tests the bottom stamp
}

TEST(MagnetStampsAge, FreshWithin250MillisecondsEitherWay) {
    auto at = [](int64_t stamp) { return TMagnetStamps{stamp, 0, 0, 0}; };
    EXPECT_EQ(SnapLeft(0, -5, at(kNow - 250)), 0);   // fresh: |dL| < 15 gives L0
    EXPECT_EQ(SnapLeft(0, -5, at(kNow - 251)), -15); // old: rule 2
    EXPECT_EQ(SnapLeft(0, -5, at(kNow + 250)), 0);   // a clock that went back
    EXPECT_EQ(SnapLeft(0, -5, at(kNow + 251)), -15);
}

TEST(MagnetAxes, EachAxisIsJudgedOnItsOwn) {
    // 0 pixels horizontally and 3 down: only the rows for moving down.
    const TMagnetResult r = Snap({Win(5, 0), Win(5, 3)});
    EXPECT_EQ(r.Rect, Win(5, 15)); // T+, and no horizontal pull although dL = 5
    EXPECT_EQ(r.Stamps, (TMagnetStamps{0, 0, kNow, 0}));
    // Both axes at once.
    const TMagnetResult both = Snap({Win(50, 50), Win(10, 10)});
    EXPECT_EQ(both.Rect, Win(0, 0));
    EXPECT_EQ(both.Stamps, (TMagnetStamps{kNow, 0, kNow, 0}));
}

TEST(MagnetArea, DistanceIsAParameter) {
    const TMagnetResult r = SnapToWorkArea(Win(100, 100), Win(25, 100), kWork, kNow, {}, 30);
    EXPECT_EQ(r.Rect.Left, 0);
    const TMagnetResult far = SnapToWorkArea(Win(0, 100), Win(-20, 100), kWork, kNow, {}, 30);
    EXPECT_EQ(far.Rect.Left, -30);
    // A work area that does not start at 0 (a panel on the left).
    const TMagnetRect work{48, 24, 1024, 738};
    EXPECT_EQ(SnapToWorkArea(Win(100, 100), Win(58, 100), work, kNow, {}).Rect.Left, 48);
}

TEST(FormMagnetClass, UsesItsClockAndKeepsStamps) {
    int64_t now = 5000;
    TOcFormMagnet magnet([&] { return now; });
    EXPECT_FALSE(magnet.Active);
    EXPECT_TRUE(magnet.ScreenMagnet);
    EXPECT_EQ(magnet.Area, 15);
    // Inactive: nothing changes.
    EXPECT_EQ(magnet.Moving(Win(50, 100), Win(10, 100), kWork), Win(10, 100));
    EXPECT_EQ(magnet.Stamps(), TMagnetStamps{});

    magnet.Active = true;
    EXPECT_EQ(magnet.Moving(Win(50, 100), Win(10, 100), kWork), Win(0, 100));
    EXPECT_EQ(magnet.Stamps().Left, 5000);
    // 100 ms later, dragged 12 px past the edge: fresh, so it stays on the edge.
    now += 100;
    EXPECT_EQ(magnet.Moving(Win(0, 100), Win(-12, 100), kWork), Win(0, 100));
    // Later still, the same drag pulls it free.
    now += 300;
    EXPECT_EQ(magnet.Moving(Win(0, 100), Win(-12, 100), kWork), Win(-15, 100));

    magnet.ScreenMagnet = false;
    EXPECT_EQ(magnet.Moving(Win(50, 100), Win(10, 100), kWork), Win(10, 100));
}

TEST(FormMagnetClass, DefaultClockAdvances) {
    TOcFormMagnet magnet;
    magnet.Active = true;
    magnet.Moving(Win(50, 100), Win(10, 100), kWork);
    EXPECT_GT(magnet.Stamps().Left, 250); // a real clock, far from the never-stamp 0
}
