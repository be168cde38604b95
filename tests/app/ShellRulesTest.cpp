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

TEST(MenuCaption, NamesArePlainTextForQtAndForDBusHosts) {
    const struct {
        const char* name;
        const char* drawn;
        const char* exported;
    } cases[] = {
        {"Harbour & Pier_1", "Harbour && Pier_1", "Harbour && Pier__1"},
        {"&&", "&&&&", "&&&&"},
        {"__", "__", "____"},
        {"Plain", "Plain", "Plain"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MenuCaption(c.name, false), c.drawn) << c.name;
        EXPECT_EQ(MenuCaption(c.name, true), c.exported) << c.name;
    }
}

TEST(ErrorReportText, FullStopAfterCharactersSortingAfterIt) {
    EXPECT_EQ(ErrorReportText("Access denied"), "Access denied.");
    EXPECT_EQ(ErrorReportText("Error 5"), "Error 5.");
    EXPECT_EQ(ErrorReportText("path /x/"), "path /x/."); // "/" sorts after "."
    EXPECT_EQ(ErrorReportText("Done."), "Done.");
    EXPECT_EQ(ErrorReportText("Really!"), "Really!"); // "!" sorts before "."
    EXPECT_EQ(ErrorReportText("(code 5)"), "(code 5)");
    EXPECT_EQ(ErrorReportText("a-"), "a-");
    EXPECT_EQ(ErrorReportText(""), "");
    // Bytes of a UTF-8 letter sort after "." too.
    EXPECT_EQ(ErrorReportText("Fehler in Datei \xc3\xa4"), "Fehler in Datei \xc3\xa4.");
}
