#include "app/ShellRules.h"

#include <gtest/gtest.h>

#include "util/Text.h"

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

TEST(MenuCaption, HugeNamesAreElidedBeforeEscaping) {
    const std::string name = std::string(1u << 20, '&') + "end";
    for (const bool exported : {false, true}) {
        const std::string caption = MenuCaption(name, exported);
        EXPECT_EQ(caption, MenuCaption(ElideMiddle(name), exported));
        EXPECT_LT(caption.size(), 2 * kMaxShownChars + 4);
        EXPECT_EQ(caption.substr(caption.size() - 3), "end");
    }
}
