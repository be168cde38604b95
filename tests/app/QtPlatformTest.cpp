#include "app/QtPlatform.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace ocelis;

TEST(PreferredQtPlatform, X11FirstInWaylandSessionsWithAnXServerUnlessTheUserChose) {
    const struct {
        std::map<std::string, std::string> env;
        const char* expected;
    } cases[] = {
        // A Wayland session with XWayland, as the session or as its socket says.
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}}, "xcb;wayland"},
        {{{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "wayland"}}, "xcb;wayland"},
        // The user's choice wins, whatever it is.
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "w"}, {"QT_QPA_PLATFORM", "wayland"}}, ""},
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "w"}, {"QT_QPA_PLATFORM", "offscreen"}}, ""},
        // An empty choice is no choice.
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "w"}, {"QT_QPA_PLATFORM", ""}}, "xcb;wayland"},
        // Without an X server there is nothing to prefer.
        {{{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_SESSION_TYPE", "wayland"}}, ""},
        {{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", "wayland-0"}}, ""},
        // Plain X11 sessions are Qt's own choice already.
        {{{"DISPLAY", ":0"}}, ""},
        {{{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "x11"}}, ""},
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", ""}, {"XDG_SESSION_TYPE", "tty"}}, ""},
        {{}, ""},
    };
    for (const auto& c : cases) {
        const auto lookup = [&c](const char* name) -> const char* {
            const auto it = c.env.find(name);
            return it == c.env.end() ? nullptr : it->second.c_str();
        };
        std::string shown;
        for (const auto& [k, v] : c.env)
            shown += k + "=" + v + " ";
        EXPECT_EQ(PreferredQtPlatform(lookup), c.expected) << shown;
    }
}
