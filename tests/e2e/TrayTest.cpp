// The whole program on a real X server with a tray host: right-click the tray icon, choose
// the demo webcam, see its picture in a viewer, exit from the menu, find Options.xml.
// Skips, saying so, where Xvfb, trayer, xdotool or ImageMagick's import are missing.
#include "XSession.h"

#include <gtest/gtest.h>
#include <regex>
#include <set>

using namespace ocelis::e2e;

namespace {

// A binary PPM (P6) as width, height and the number of distinct colours.
struct PictureStats {
    int width = 0, height = 0;
    size_t colours = 0;
};

PictureStats ReadPpmStats(const fs::path& file) {
    const std::string data = ReadFileBytes(file);
    std::istringstream in(data);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    in >> magic >> w >> h >> maxval;
    if (magic != "P6" || w <= 0 || h <= 0 || maxval != 255)
        return {};
    const size_t start = static_cast<size_t>(in.tellg()) + 1;
    if (data.size() < start + static_cast<size_t>(w) * h * 3)
        return {};
    std::set<uint32_t> colours;
    for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
        const auto* p = reinterpret_cast<const unsigned char*>(data.data() + start + i * 3);
        colours.insert(static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2]);
    }
    return {w, h, colours.size()};
}

} // namespace

TEST(Tray, RightClickChooseWebcamSeeItAndExitFromTheMenu) {
    std::string missing;
    if (!XSession::ToolsPresent(missing))
        GTEST_SKIP() << "skipped: " << missing << " not installed (./setup.sh installs them)";
    Sandbox box("tray");
    XSession x(box);
    std::string why;
    ASSERT_TRUE(x.Start(why)) << why;

    // The demo webcam.
    Process& demo = x.Spawn(
        {DEMO_BIN, "--interval", "2", "--port-file", (box.root / "port").string()}, "demo", false);
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return fs::exists(box.root / "port"); }, 10s));
    ASSERT_TRUE(demo.Running());
    std::string port = ReadFileBytes(box.root / "port");
    port.erase(port.find_last_not_of("\r\n") + 1);
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
