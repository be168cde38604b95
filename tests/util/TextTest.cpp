#include "util/Text.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace ocelis;

TEST(Text, CaseFoldingTouchesAsciiLettersOnly) {
    EXPECT_EQ(AnsiUpper("abc\xe9z"), "ABC\xe9Z");
    EXPECT_TRUE(SameText("Cams", "cAMS"));
    EXPECT_FALSE(SameText("Cams", "Cam"));
    EXPECT_FALSE(SameText("\xe9", "\xc9"));
}

TEST(Text, IntegerReadingIsStrict) {
    EXPECT_EQ(TryStrToInt64("30"), 30);
    EXPECT_EQ(TryStrToInt64("-1"), -1);
    EXPECT_EQ(TryStrToInt64("+7"), 7);
    EXPECT_EQ(TryStrToInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_FALSE(TryStrToInt64("9223372036854775808"));
    EXPECT_FALSE(TryStrToInt64(""));
    EXPECT_FALSE(TryStrToInt64("-"));
    EXPECT_FALSE(TryStrToInt64("12a"));
    EXPECT_FALSE(TryStrToInt64(" 12"));
    EXPECT_EQ(LowInt32(0x1'0000'0005LL), 5);
    EXPECT_EQ(LowInt32(0xFFFF'FFFFLL), -1);
}

TEST(Text, ElideMiddleKeepsBothEndsAndWholeCharacters) {
    const std::string e = "\u2026";
    const std::string umlauts = "\u00e4\u00f6\u00fc\u00df\u00e4\u00f6\u00fc"; // 7 characters
    const struct {
        std::string text;
        size_t max;
        std::string shown;
    } cases[] = {
        {"short", 5, "short"},
        {"abcdefgh", 5, "ab" + e + "gh"},
        {"abcdefgh", 6, "ab" + e + "fgh"},
        {umlauts, 4, "\u00e4" + e + "\u00f6\u00fc"},
        {umlauts, 7, umlauts},
        {"abc", 1, e},
        {"abc", 0, ""},
        {"", 3, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ElideMiddle(c.text, c.max), c.shown) << c.text << " " << c.max;

    const std::string huge = "Harbour" + std::string(16u << 20, 'x') + "Pier";
    const std::string shown = ElideMiddle(huge);
    EXPECT_EQ(shown.size(), kMaxShownChars - 1 + e.size());
    EXPECT_EQ(shown.substr(0, 7), "Harbour");
    EXPECT_EQ(shown.substr(shown.size() - 4), "Pier");
}

// One pass: a value is never read as part of the text, whatever it holds.
TEST(TextTest, FillArgsReplacesEachMarkOnce) {
    const struct {
        std::string text;
        std::vector<std::string> args;
        std::string filled;
    } cases[] = {
        {"%1 of %2 files", {"2", "6"}, "2 of 6 files"},
        {"%2 before %1", {"a", "b"}, "b before a"},
        {"%1 and %2", {"%2", "x"}, "%2 and x"},
        {"%1 and %2", {"y"}, "y and %2"}, // no value: the mark stays
        {"100% sure, %", {"z"}, "100% sure, %"},
        {"%1%1", {"ab"}, "abab"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FillArgs(c.text, c.args), c.filled) << c.text;
}
