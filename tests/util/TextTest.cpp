#include "util/Text.h"

#include <gtest/gtest.h>

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
