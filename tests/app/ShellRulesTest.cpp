#include "app/ShellRules.h"

#include <gtest/gtest.h>
#include <numeric>

using namespace ocelis;

TEST(WebcamColumns, BreaksAtThe30thAnd59thEntry) {
    EXPECT_EQ(WebcamColumnSizes(60), (std::vector<int>{29, 29, 2}));
    EXPECT_EQ(WebcamColumnSizes(0), std::vector<int>{});
    EXPECT_EQ(WebcamColumnSizes(1), std::vector<int>{1});
    EXPECT_EQ(WebcamColumnSizes(29), std::vector<int>{29});
    EXPECT_EQ(WebcamColumnSizes(30), (std::vector<int>{29, 1}));
    EXPECT_EQ(WebcamColumnSizes(58), (std::vector<int>{29, 29}));
    EXPECT_EQ(WebcamColumnSizes(59), (std::vector<int>{29, 29, 1}));
    EXPECT_EQ(WebcamColumnSizes(88), (std::vector<int>{29, 29, 29, 1}));
}

TEST(WebcamColumns, ColumnOfEachEntryAgreesWithTheSizes) {
    for (int n : {1, 29, 30, 60, 100, 1000}) {
        const std::vector<int> sizes = WebcamColumnSizes(n);
        EXPECT_EQ(std::accumulate(sizes.begin(), sizes.end(), 0), n);
        std::vector<int> counted(sizes.size(), 0);
        for (int i = 0; i < n; ++i) {
            const int c = WebcamColumnOf(i);
            ASSERT_LT(c, static_cast<int>(sizes.size())) << n << " " << i;
            ++counted[static_cast<size_t>(c)];
            if (i > 0) {
                EXPECT_GE(c, WebcamColumnOf(i - 1));
            }
        }
        EXPECT_EQ(counted, sizes) << n;
    }
    EXPECT_EQ(WebcamColumnOf(28), 0);
    EXPECT_EQ(WebcamColumnOf(29), 1);
    EXPECT_EQ(WebcamColumnOf(58), 2);
}
