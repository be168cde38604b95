// The chooser's window-free rules: thumbnail geometry, the online window, the tip text.
#include "mosaic/ChooseRules.h"
#include "catalogue/CamCategory.h"

#include <gtest/gtest.h>

using ocelis::TChooseThumbRect;

TEST(ChooseRules, ThumbnailRectKeepsTheAspectAndCentres) {
    struct TCase {
        int32_t W, H;
        TChooseThumbRect Rect;
    };
    const TCase cases[] = {
        {640, 480, {0, 0, 120, 90}},   // 4:3 fills the box
        {352, 288, {5, 0, 110, 90}},   // CIF: 110 by 90, 5 pixels left and right
        {1280, 720, {0, 11, 120, 68}}, // 16:9: 67.5 rounds half to even, margin 11
        {60, 45, {0, 0, 120, 90}},     // enlarged
        {100, 300, {45, 0, 30, 90}},   // tall
        {1, 1, {15, 0, 90, 90}},       // one pixel becomes a square
        {120, 90, {0, 0, 120, 90}},    // the ERROR picture
        {0, 0, {0, 0, 0, 0}},          // no size: nothing is drawn
        {-5, 10, {0, 0, 0, 0}},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ocelis::ChooseThumbRect(c.W, c.H), c.Rect) << c.W << "x" << c.H;
}

TEST(ChooseRules, OnlineWithinSixtyWholeSecondsEitherWay) {
    const std::time_t t = 1'700'000'000;
    const int64_t ms = int64_t{t} * 1000;
    struct TCase {
        int64_t NowMs;
        bool Online;
    };
    const TCase cases[] = {
        {ms, true},           {ms + 59'999, true}, // 59.999 s: fractions cut off
        {ms + 60'000, false}, {ms - 59'000, true}, // a date in the future counts the same
        {ms - 60'000, false}, {ms - 60'500, false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ocelis::WithinOnlineTime(t, c.NowMs), c.Online) << c.NowMs - ms;
}

TEST(ChooseRules, HintReplacesEachPlaceholderOnceInOrder) {
    TCamWebcam cam;
    cam.Name = "Pier";
    cam.Url = "http://h/p.jpg";
    cam.Email = "a@b";
    cam.Homepage = "http://h/";
    struct TCase {
        std::string Hint, Want;
    };
    const TCase cases[] = {
        {"Name: %name%\r\nUrl: %url%\r\nEmail: %email%\r\nHomepage: %home%\r\nLast Updated: %date%",
         "Name: Pier\r\nUrl: http://h/p.jpg\r\nEmail: a@b\r\nHomepage: http://h/\r\nLast Updated: "
         "Unknown"},
        {"%name% and %name%", "Pier and %name%"},
        {"%NAME% %Date%", "%NAME% %Date%"}, // case-sensitive
        {"no placeholders", "no placeholders"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ocelis::CamHintText(c.Hint, cam, "Unknown"), c.Want) << c.Hint;
    // Replacements run in order over the text so far, as a template expects.
    cam.Name = "%url%";
    EXPECT_EQ(ocelis::CamHintText("%name%|%url%", cam, ""), "http://h/p.jpg|%url%");
}
