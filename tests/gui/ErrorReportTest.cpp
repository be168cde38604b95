#include "gui/ErrorReport.h"

#include <gtest/gtest.h>

using namespace ocelis;

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
