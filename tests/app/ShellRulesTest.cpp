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

TEST(FitMenuText, KeepsTheMostCharactersThatFitTheRoom) {
    // Ten pixels a character, twenty for a "W"; the ellipsis is one character.
    const TTextWidth width = [](std::string_view text) {
        int w = 0;
        for (const char c : text)
            if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
                w += c == 'W' ? 20 : 10;
        return w;
    };
    const std::string wide(80, 'W');
    const std::string narrow(200, 'i');
    const struct {
        const char* What;
        std::string Name;
        int Budget;
        size_t Chars;
    } cases[] = {
        {"short name fits as it is", "Harbour", 1000, 7},
        {"long narrow name: the character bound alone", narrow, 1000, kMaxShownChars},
        {"wide name cut to the room", wide, 600, 30}, // 29 W and the ellipsis: 590 pixels
        {"exactly the room", std::string(20, 'W'), 400, 20},
        {"no room at all keeps a few", wide, 0, kMinMenuChars},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        const std::string fitted = FitMenuText(c.Name, width, c.Budget);
        EXPECT_EQ(fitted, ElideMiddle(c.Name, c.Chars));
        if (c.Chars > kMinMenuChars) {
            EXPECT_LE(width(fitted), c.Budget);
        }
    }
    EXPECT_EQ(MenuCaption("A&B" + wide, false, width, 100), "A&&B\u2026WWWW");
}
