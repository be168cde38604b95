// The real binary in a Wayland session that runs XWayland (weston, headless): it opens its
// windows on the X server unless the user chose a platform.
#include "XSession.h"

#include <gtest/gtest.h>
#include <regex>

using namespace ocelis::e2e;

namespace {

// A headless compositor with XWayland on a private runtime folder.
class WestonSession {
public:
    explicit WestonSession(Sandbox& box) : box_(box) {}

    bool Start(std::string& why) {
        const auto weston = FindProgram("weston");
        if (!weston || !FindProgram("Xwayland")) {
            why = "weston or Xwayland is not installed (./setup.sh installs them)";
            return false;
        }
        std::map<std::string, std::string> env = box_.Env(false);
        weston_.Start({weston->string(), "--backend=headless-backend.so", "--xwayland",
                       "--socket=" + std::string(kSocket), "--width=1024", "--height=768",
                       "--idle-time=0"},
                      env, box_.Log("weston"));
        static const std::regex listening(R"(xserver listening on display (:\d+))");
        std::smatch m;
        const bool up = ocelis::test::WaitUntil(
            [&] {
                const std::string log = ReadFileBytes(box_.Log("weston"));
                if (std::regex_search(log, m, listening))
                    display_ = m[1].str();
                return !display_.empty() || !weston_.Running();
            },
            15s);
        if (!up || display_.empty()) {
            why = "weston did not start with XWayland: " + ReadFileBytes(box_.Log("weston"));
            return false;
        }
        return true;
    }

    // The program's environment in this session: the desktop's variables, no platform.
    std::map<std::string, std::string> Env() const {
        auto env = box_.Env(false);
        env["DISPLAY"] = display_;
        env["WAYLAND_DISPLAY"] = kSocket;
        env["XDG_SESSION_TYPE"] = "wayland";
        // Every Wayland request the program makes goes to its log.
        env["WAYLAND_DEBUG"] = "1";
        return env;
    }

    // Our visible X windows with this title (XWayland's windows, found with xdotool).
    bool XWindowShown(const std::string& title) {
        const fs::path out = box_.root / "xdotool.out";
        std::error_code ec;
        fs::remove(out, ec);
        Process p;
        p.Start({FindProgram("xdotool")->string(), "search", "--onlyvisible", "--class", "ocelis",
                 "getwindowname", "%@"},
                Env(), out);
        p.WaitExit(10s);
        return ReadFileBytes(out).find(title + "\n") != std::string::npos;
    }

    static constexpr const char* kSocket = "wl-ocelis";

private:
    Sandbox& box_;
    Process weston_;
    std::string display_;
};

} // namespace

TEST(Wayland, X11WhenXWaylandRunsUnlessTheUserChoseAPlatform) {
    if (!FindProgram("xdotool"))
        GTEST_SKIP() << "skipped: xdotool is not installed (./setup.sh installs it)";
    Sandbox box("wayland");
    WestonSession session(box);
    std::string why;
    if (!session.Start(why))
        GTEST_SKIP() << "skipped: " << why;

    const struct {
        const char* chosen; // QT_QPA_PLATFORM, or null when unset
        bool onX;
    } cases[] = {{nullptr, true}, {"wayland", false}};
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen ? c.chosen : "(no platform chosen)");
        const std::string title = "Wayland check " + std::to_string(++n);
        const fs::path cam = box.root / (std::to_string(n) + ".cam");
        WriteFileBytes(cam, CamFileText(title, "http://127.0.0.1:9/" + std::to_string(n) + ".jpg"));
        auto env = session.Env();
        if (c.chosen)
            env["QT_QPA_PLATFORM"] = c.chosen;
        const std::string log = "ocelis" + std::to_string(n);
        Process ocelis;
        ASSERT_TRUE(ocelis.Start({box.exe.string(), cam.string()}, env, box.Log(log)));
        // The viewer's title reaches the compositor on one path or the other.
        const std::string waylandTitle = "set_title(\"" + title + "\")";
        bool onX = false, onWayland = false;
        ocelis::test::WaitUntil(
            [&] {
                onWayland = ReadFileBytes(box.Log(log)).find(waylandTitle) != std::string::npos;
                onX = !onWayland && session.XWindowShown(title);
                return onX || onWayland || !ocelis.Running();
            },
            20s);
        const std::string text = ReadFileBytes(box.Log(log));
        if (!onX && !onWayland && text.find("platform plugin \"wayland\"") != std::string::npos)
            GTEST_SKIP() << "skipped: Qt's Wayland platform is not installed (qt6-wayland)";
        EXPECT_EQ(onX, c.onX) << text;
        EXPECT_EQ(onWayland, !c.onX) << text;
        if (c.onX)
            // No Wayland connection at all: the X11 platform was Qt's first and only try.
            EXPECT_EQ(text.find("wl_display@1.get_registry"), std::string::npos) << text;
        else
            EXPECT_FALSE(session.XWindowShown(title));
        ocelis.Signal(SIGTERM);
        EXPECT_EQ(ocelis.WaitExit(10s), std::optional<int>(0)) << text;
    }
}
