#include "app/ShellRules.h"

#include <gtest/gtest.h>

using namespace ocelis;

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
