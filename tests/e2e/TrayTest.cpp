// The whole program on a real X server with a tray host: right-click the tray icon, choose
// the demo webcam, see its picture in a viewer, exit from the menu, find Options.xml; and
// change an option in the options dialog opened from the menu.
// Skips, saying so, where Xvfb, trayer, xdotool or ImageMagick's import are missing.
#include "XSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>

using namespace ocelis::e2e;

TEST(Tray, RightClickChooseWebcamSeeItAndExitFromTheMenu) {
    OCELIS_REQUIRE_X_TOOLS();
    Sandbox box("tray");
    XSession x(box);
    std::string why;
    ASSERT_TRUE(x.Start(why)) << why;

    // The demo webcam.
    const std::string port = DemoPort(x, box);
    ASSERT_FALSE(port.empty());
    WriteFileBytes(
        box.Options(),
        "<Options><Category Name=\"\"><Cams><Cam Name=\"Demo cam\" Url=\"http://127.0.0.1:" + port +
            "/cam.jpg\" Refresh=\"2\"/></Cams></Category>"
            "<AlwaysOnTop>0</AlwaysOnTop><SaveImages>0</SaveImages><Beep>0</Beep>"
            "<PropResize>0</PropResize><Status>0</Status><SubDirectory>0</SubDirectory>"
            "<FirstLaunch>0</FirstLaunch><LaunchWindows>0</LaunchWindows></Options>");

    Process& ocelis = x.Spawn({box.exe.string()}, "ocelis", true);
    std::optional<WindowInfo> icon;
    ASSERT_TRUE(
        ocelis::test::WaitUntil([&] { return (icon = TrayIconWindow(x)).has_value(); }, 15s))
        << ReadFileBytes(box.Log("ocelis"));

    // Right click: the popup menu appears.
    const std::string cx = std::to_string(icon->x + icon->w / 2);
    const std::string cy = std::to_string(icon->y + icon->h / 2);
    x.Xdotool({"mousemove", cx, cy, "click", "3"});
    std::optional<WindowInfo> popup;
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return (popup = PopupWindow(x)).has_value(); }, 10s));
    x.Screenshot("root", box.root / "menu.png");

    // The first entry closes the menu, the webcam follows the separator.
    x.Xdotool({"key", "Down", "Down", "Return"});
    std::optional<WindowInfo> viewer;
    ASSERT_TRUE(ocelis::test::WaitUntil(
        [&] {
            const auto found = x.OurWindows("Demo cam");
            if (found.empty())
                return false;
            viewer = found.front();
            return viewer->w == 320 && viewer->h == 240; // sized to the first picture
        },
        15s))
        << "viewer "
        << (viewer ? std::to_string(viewer->w) + "x" + std::to_string(viewer->h)
                   : std::string("missing"));
    PictureStats stats;
    ASSERT_TRUE(ocelis::test::WaitUntil(
        [&] {
            x.Screenshot(viewer->id, box.root / "viewer.ppm");
            stats = ReadPpmStats(box.root / "viewer.ppm");
            return stats.colours > 50;
        },
        10s))
        << "viewer picture has " << stats.colours << " colours";
    EXPECT_EQ(stats.width, 320);
    EXPECT_EQ(stats.height, 240);
    x.Screenshot("root", box.root / "screen.png");

    // Exit from the menu: the last entry.
    x.Xdotool({"mousemove", cx, cy, "click", "3"});
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return (popup = PopupWindow(x)).has_value(); }, 10s));
    x.Screenshot("root", box.root / "menu2.png");
    x.Xdotool({"key", "Up", "Return"});
    ASSERT_EQ(ocelis.WaitExit(10s), 0) << ReadFileBytes(box.Log("ocelis"));
    const std::string options = ReadFileBytes(box.Options());
    EXPECT_NE(options.find("Name=\"Demo cam\""), std::string::npos) << options;
    EXPECT_NE(options.find("<FirstLaunch>0</FirstLaunch>"), std::string::npos);
}

// No notification service: the first-launch balloon waits until the icon sits in its tray,
// then points at it (not at the screen's corner, where an icon not yet embedded reports it).
TEST(Tray, FirstLaunchBalloonPointsAtTheIconInItsTray) {
    OCELIS_REQUIRE_X_TOOLS();
    Sandbox box("tray-balloon");
    XSession x(box);
    std::string why;
    ASSERT_TRUE(x.Start(why)) << why;
    WriteFileBytes(box.Options(), "<Options><Category/><FirstLaunch>-1</FirstLaunch>"
                                  "<LaunchWindows>0</LaunchWindows></Options>");
    x.Spawn({box.exe.string()}, "ocelis", true);
    std::optional<WindowInfo> icon, balloon;
    ASSERT_TRUE(ocelis::test::WaitUntil(
        [&] {
            for (const WindowInfo& w : x.Search({"--class", "ocelis"}))
                if (w.w > 100)
                    balloon = w;
                else if (w.w <= 64 && w.h <= 64)
                    icon = w;
            return icon && balloon;
        },
        15s))
        << ReadFileBytes(box.Log("ocelis"));
    x.Screenshot("root", box.root / "balloon.png");
    const int cx = icon->x + icon->w / 2, cy = icon->y + icon->h / 2;
    // The balloon's arrow touches the icon: its box reaches to within a few pixels.
    const int dx = std::max({balloon->x - cx, cx - (balloon->x + balloon->w), 0});
    const int dy = std::max({balloon->y - cy, cy - (balloon->y + balloon->h), 0});
    EXPECT_LE(std::max(dx, dy), 32)
        << "icon at " << cx << "," << cy << ", balloon at " << balloon->x << "," << balloon->y
        << " " << balloon->w << "x" << balloon->h;
}

namespace {

// A catalogue of one category with 35 webcams, the last named with "&" and "_".
const char* kPierName = "Harbour & Pier_1";
void WriteHarbourCatalogue(Sandbox& box) {
    std::string cams;
    for (int i = 1; i <= 34; ++i)
        cams += "<Cam Name=\"Cam " + std::to_string(i) + "\" Url=\"http://127.0.0.1:9/" +
                std::to_string(i) + ".jpg\" Refresh=\"60\"/>";
    cams += std::string("<Cam Name=\"") + kPierName + "\" Url=\"http://127.0.0.1:9/p.jpg\"/>";
    WriteFileBytes(box.Options(),
                   "<Options><Category Name=\"\"><Categories><Category Name=\"Harbour\"><Cams>" +
                       cams +
                       "</Cams></Category></Categories></Category><FirstLaunch>0</FirstLaunch>"
                       "<LaunchWindows>0</LaunchWindows></Options>");
}

struct MenuLine {
    int id = 0, depth = 0;
    bool submenu = false;
    std::string sent, shown;
};

std::vector<MenuLine> ReadLayout(const fs::path& file) {
    std::vector<MenuLine> out;
    std::istringstream in(ReadFileBytes(file));
    std::string line;
    static const std::regex form(R"((\d+) (\d+) ([01]) [01] ([^\t]*)\t(.*))");
    std::smatch m;
    while (std::getline(in, line))
        if (std::regex_match(line, m, form))
            out.push_back({std::stoi(m[1]), std::stoi(m[2]), m[3] == "1", m[4], m[5]});
    return out;
}

// The shown labels of the entries of the submenu shown as `title`.
std::vector<std::string> SubmenuLabels(const std::vector<MenuLine>& menu,
                                       const std::string& title) {
    std::vector<std::string> out;
    for (size_t i = 0; i < menu.size(); ++i)
        if (menu[i].depth == 1 && menu[i].submenu && menu[i].shown == title)
            for (size_t j = i + 1; j < menu.size() && menu[j].depth > 1; ++j)
                out.push_back(menu[j].shown);
    return out;
}

std::vector<std::string> HarbourLabels() {
    std::vector<std::string> out;
    for (int i = 1; i <= 34; ++i)
        out.push_back("Cam " + std::to_string(i));
    out.push_back(kPierName);
    return out;
}

} // namespace

TEST(Tray, KeyboardChoosesTheLastOf35WebcamsInTheDrawnMenu) {
    OCELIS_REQUIRE_X_TOOLS();
    Sandbox box("tray-keys");
    XSession x(box);
    std::string why;
    ASSERT_TRUE(x.Start(why)) << why;
    WriteHarbourCatalogue(box);
    Process& ocelis = x.Spawn({box.exe.string()}, "ocelis", true);
    std::optional<WindowInfo> icon;
    ASSERT_TRUE(
        ocelis::test::WaitUntil([&] { return (icon = TrayIconWindow(x)).has_value(); }, 15s))
        << ReadFileBytes(box.Log("ocelis"));
    x.Xdotool({"mousemove", std::to_string(icon->x + icon->w / 2),
               std::to_string(icon->y + icon->h / 2), "click", "3"});
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return PopupWindow(x).has_value(); }, 10s));
    // Close this menu, the category, into its submenu (first webcam), 34 down to the last.
    x.Xdotool({"key", "Down", "Down", "Right"});
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return x.OurWindows("Ocelis").size() >= 3; }, 10s));
    std::vector<std::string> keys{"key"};
    keys.insert(keys.end(), 34, "Down");
    x.Xdotool(keys);
    x.Screenshot("root", box.root / "submenu.png");
    x.Xdotool({"key", "Return"});
    EXPECT_TRUE(ocelis::test::WaitUntil([&] { return !x.OurWindows(kPierName).empty(); }, 10s))
        << ReadFileBytes(box.Log("ocelis"));
    ocelis.Signal(SIGTERM);
    EXPECT_EQ(ocelis.WaitExit(10s), 0);
}

// Through a D-Bus tray: the host reads the exported menu and clicks an entry.
TEST(Tray, DBusHostFindsEvery35WebcamsByLabelAndItsClickOpensTheViewer) {
    std::string missing;
    if (!XSession::ToolsPresent(missing) || !XSession::DBusToolsPresent(missing))
        GTEST_SKIP() << "skipped: " << missing << " not installed (./setup.sh installs them)";
    Sandbox box("tray-dbus");
    XSession x(box);
    std::string why;
    ASSERT_TRUE(x.Start(why, false)) << why;
    WriteHarbourCatalogue(box);
    const fs::path address = box.root / "bus", layout = box.root / "layout";
    x.SpawnDBusHost(address, layout, kPierName);
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return fs::exists(address); }, 10s))
        << ReadFileBytes(box.Log("dbus"));
    std::string bus = ReadFileBytes(address);
    bus.erase(bus.find_last_not_of("\r\n") + 1);
    auto env = x.Env();
    env["DBUS_SESSION_BUS_ADDRESS"] = bus;
    Process ocelis;
    ASSERT_TRUE(ocelis.Start({box.exe.string()}, env, box.Log("ocelis")));
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return fs::exists(layout); }, 15s))
        << ReadFileBytes(box.Log("dbus")) << ReadFileBytes(box.Log("ocelis"));
    const std::vector<MenuLine> menu = ReadLayout(layout);
    EXPECT_EQ(SubmenuLabels(menu, "Harbour"), HarbourLabels());
    // Names stay plain text: "_" is doubled for the host; Qt turns the first "&" into the
    // host's mnemonic mark, so the host still shows the name as it is.
    bool pierSent = false;
    for (const MenuLine& m : menu)
        pierSent |= m.shown == kPierName && m.sent == "Harbour _& Pier__1";
    EXPECT_TRUE(pierSent);
    EXPECT_TRUE(ocelis::test::WaitUntil([&] { return !x.OurWindows(kPierName).empty(); }, 10s))
        << ReadFileBytes(box.Log("dbus"));
    ocelis.Signal(SIGTERM);
    EXPECT_EQ(ocelis.WaitExit(10s), 0);
    // Nothing outlives the session: its bus, and the host on it, end with it.
    x.Stop();
    Process ping;
    ASSERT_TRUE(ping.Start({FindProgram("dbus-send")->string(), "--bus=" + bus, "--print-reply",
                            "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                            "org.freedesktop.DBus.Peer.Ping"},
                           box.Env(), box.Log("ping")));
    EXPECT_NE(ping.WaitExit(10s).value_or(0), 0) << "the private bus still answers";
}

// Autostart at login: the program runs before the desktop's tray host does.
TEST(Tray, IconReachesATrayHostThatStartsLaterOnEitherPath) {
    std::string missing;
    if (!XSession::ToolsPresent(missing) || !XSession::DBusToolsPresent(missing))
        GTEST_SKIP() << "skipped: " << missing << " not installed (./setup.sh installs them)";
    for (const bool dbus : {true, false}) {
        SCOPED_TRACE(dbus ? "D-Bus host" : "XEmbed host");
        Sandbox box(dbus ? "tray-late-dbus" : "tray-late-xembed");
        XSession x(box);
        std::string why;
        ASSERT_TRUE(x.Start(why, false)) << why;
        WriteHarbourCatalogue(box);
        const fs::path address = box.root / "bus", layout = box.root / "layout";
        const fs::path go = box.root / "go";
        x.SpawnDBusHost(address, layout, {}, go);
        const fs::path early = address.string() + ".early";
        ASSERT_TRUE(ocelis::test::WaitUntil([&] { return fs::exists(early); }, 10s));
        std::string bus = ReadFileBytes(early);
        bus.erase(bus.find_last_not_of("\r\n") + 1);
        ASSERT_FALSE(bus.empty());
        auto env = x.Env();
        env["DBUS_SESSION_BUS_ADDRESS"] = bus;
        Process ocelis;
        ASSERT_TRUE(ocelis.Start({box.exe.string()}, env, box.Log("ocelis")));
        ASSERT_TRUE(ocelis::test::WaitUntil(
            [&] {
                return ReadFileBytes(box.Log("ocelis")).find("no system tray") != std::string::npos;
            },
            15s));
        if (dbus) {
            WriteFileBytes(go, "");
            ASSERT_TRUE(ocelis::test::WaitUntil([&] { return fs::exists(layout); }, 15s))
                << ReadFileBytes(box.Log("dbus")) << ReadFileBytes(box.Log("host"))
                << ReadFileBytes(box.Log("ocelis"));
            EXPECT_EQ(SubmenuLabels(ReadLayout(layout), "Harbour"), HarbourLabels());
        } else {
            ASSERT_TRUE(x.StartTrayer(why)) << why;
            EXPECT_TRUE(
                ocelis::test::WaitUntil([&] { return TrayIconWindow(x).has_value(); }, 15s));
        }
        ocelis.Signal(SIGTERM);
        EXPECT_EQ(ocelis.WaitExit(10s), 0);
    }
}

TEST(Tray, OptionsFromTheMenuTurnTheStatusBarOffForTheNextViewerAndTheFile) {
    OCELIS_REQUIRE_X_TOOLS();
    Sandbox box("tray-options");
    XSession x(box);
    std::string why;
    ASSERT_TRUE(x.Start(why)) << why;
    const std::string port = DemoPort(x, box);
    ASSERT_FALSE(port.empty());
    // The status bar starts on: a viewer with it would be 19 pixels higher than its picture.
    WriteFileBytes(box.Options(),
                   "<Options><Category Name=\"\"><Cams><Cam Name=\"Demo cam\" "
                   "Url=\"http://127.0.0.1:" +
                       port +
                       "/cam.jpg\" Refresh=\"2\"/></Cams></Category>"
                       "<AlwaysOnTop>0</AlwaysOnTop><SaveImages>0</SaveImages><Beep>0</Beep>"
                       "<PropResize>0</PropResize><Status>-1</Status><SubDirectory>0</"
                       "SubDirectory><FirstLaunch>0</FirstLaunch><LaunchWindows>0</"
                       "LaunchWindows></Options>");

    const TStarted run = StartWithTrayIcon(x, box);
    ASSERT_TRUE(run.ocelis) << ReadFileBytes(box.Log("ocelis"));
    Process& ocelis = *run.ocelis;
    const std::string &cx = run.cx, &cy = run.cy;
    const auto openMenu = [&](const char* step) {
        x.Xdotool({"mousemove", cx, cy, "click", "3"});
        EXPECT_TRUE(ocelis::test::WaitUntil([&] { return PopupWindow(x).has_value(); }, 10s))
            << "no menu at the right-click " << step;
    };

    // "&Options..." by its accelerator.
    openMenu("for the options");
    x.Xdotool({"key", "o"});
    std::vector<WindowInfo> dialog;
    ASSERT_TRUE(
        ocelis::test::WaitUntil([&] { return !(dialog = x.OurWindows("Options")).empty(); }, 10s));
    EXPECT_EQ(dialog.front().w, 328);
    EXPECT_EQ(dialog.front().h, 263);
    x.Screenshot("root", box.root / "options.png");
    // The dialog blocks no tray click: the menu opens again, and "&Options..." brings the
    // open dialog forward instead of opening another.
    openMenu("while the options are open");
    x.Xdotool({"key", "o"});
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return !PopupWindow(x).has_value(); }, 10s));
    EXPECT_EQ(x.OurWindows("Options").size(), 1u);
    // StatusBox's indicator at (30, 65) + half a box, then OK in the bottom panel.
    const std::string id = dialog.front().id;
    x.Xdotool({"mousemove", "--window", id, "38", "73", "click", "1"});
    x.Xdotool({"mousemove", "--window", id, "201", "242", "click", "1"});
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return x.OurWindows("Options").empty(); }, 10s));

    openMenu("for the webcam");
    x.Xdotool({"key", "Down", "Down", "Return"});
    std::optional<WindowInfo> viewer;
    ASSERT_TRUE(ocelis::test::WaitUntil(
        [&] {
            const auto found = x.OurWindows("Demo cam");
            if (!found.empty())
                viewer = found.front();
            return viewer && viewer->w == 320 && viewer->h == 240;
        },
        15s))
        << "viewer "
        << (viewer ? std::to_string(viewer->w) + "x" + std::to_string(viewer->h)
                   : std::string("missing"));

    openMenu("for the exit");
    x.Xdotool({"key", "Up", "Return"});
    ASSERT_EQ(ocelis.WaitExit(10s), 0) << ReadFileBytes(box.Log("ocelis"));
    const std::string options = ReadFileBytes(box.Options());
    EXPECT_NE(options.find("<Status>0</Status>"), std::string::npos) << options;
}

// A right-click soon after the previous one (Qt takes it for a double click) opens the menu
// too: each round closes the menu by key and right-clicks again at once.
TEST(Tray, EveryRightClickInQuickSuccessionOpensTheMenu) {
    OCELIS_REQUIRE_X_TOOLS();
    Sandbox box("tray-quick");
    XSession x(box);
    std::string why;
    ASSERT_TRUE(x.Start(why)) << why;
    WriteHarbourCatalogue(box);
    const TStarted run = StartWithTrayIcon(x, box);
    ASSERT_TRUE(run.ocelis) << ReadFileBytes(box.Log("ocelis"));
    Process& ocelis = *run.ocelis;
    const std::string &cx = run.cx, &cy = run.cy;
    for (int round = 1; round <= 4; ++round) {
        x.Xdotool({"mousemove", cx, cy, "click", "3"});
        ASSERT_TRUE(ocelis::test::WaitUntil([&] { return PopupWindow(x).has_value(); }, 5s))
            << "no menu at right-click " << round;
        x.Xdotool({"key", "Escape"});
        ASSERT_TRUE(ocelis::test::WaitUntil([&] { return !PopupWindow(x).has_value(); }, 5s));
    }
    ocelis.Signal(SIGTERM);
    EXPECT_EQ(ocelis.WaitExit(10s), 0);
}
