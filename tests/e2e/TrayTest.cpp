// The whole program on a real X server with a tray host: right-click the tray icon, choose
// the demo webcam, see its picture in a viewer, exit from the menu, find Options.xml; and
// change an option in the options dialog opened from the menu.
// Skips, saying so, where Xvfb, trayer, xdotool or ImageMagick's import are missing.
#include "E2eSupport.h"

#include <gtest/gtest.h>
#include <regex>
#include <set>

using namespace ocelis::e2e;

namespace {

struct WindowInfo {
    std::string id;
    int x = 0, y = 0, w = 0, h = 0;
};

class XSession {
public:
    explicit XSession(Sandbox& box) : box_(box) {}

    bool Start(std::string& why) {
        Process& x = Spawn(
            {xvfb_->string(), "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
            "xvfb", false);
        (void)x;
        // Xvfb writes its display number once it accepts clients.
        std::string display;
        if (!ocelis::test::WaitUntil(
                [&] {
                    const std::string out = ReadFileBytes(box_.Log("xvfb"));
                    std::smatch m;
                    static const std::regex number(R"((?:^|\n)(\d+)\n)");
                    if (std::regex_search(out, m, number))
                        display = ":" + m[1].str();
                    return !display.empty();
                },
                15s)) {
            why = "Xvfb did not start: " + ReadFileBytes(box_.Log("xvfb"));
            return false;
        }
        display_ = display;
        Spawn({trayer_->string(), "--edge", "bottom", "--align", "right", "--widthtype", "pixel",
               "--width", "120", "--height", "32", "--transparent", "false", "--tint", "0x808080",
               "--SetDockType", "true"},
              "trayer", true);
        if (!ocelis::test::WaitUntil([&] { return !Search({"--class", "trayer"}).empty(); }, 15s)) {
            why = "trayer did not show its window";
            return false;
        }
        return true;
    }

    static bool ToolsPresent(std::string& missing) {
        xvfb_ = FindProgram("Xvfb");
        trayer_ = FindProgram("trayer");
        xdotool_ = FindProgram("xdotool");
        import_ = FindProgram("import");
        for (auto& [tool, name] :
             {std::pair{&xvfb_, "Xvfb"}, std::pair{&trayer_, "trayer"},
              std::pair{&xdotool_, "xdotool"}, std::pair{&import_, "import (ImageMagick)"}})
            if (!*tool)
                missing += std::string(missing.empty() ? "" : ", ") + name;
        return missing.empty();
    }

    std::map<std::string, std::string> Env() const {
        auto env = box_.Env(false);
        env["DISPLAY"] = display_;
        return env;
    }

    Process& Spawn(const std::vector<std::string>& argv, const std::string& log, bool withDisplay) {
        procs_.push_back(std::make_unique<Process>());
        procs_.back()->Start(argv, withDisplay ? Env() : box_.Env(false), box_.Log(log));
        return *procs_.back();
    }

    // Runs a tool to its end and returns what it printed.
    std::string Run(const std::vector<std::string>& argv) {
        const fs::path out = box_.root / "tool.out";
        std::error_code ec;
        fs::remove(out, ec);
        Process p;
        if (!p.Start(argv, Env(), out))
            return {};
        p.WaitExit(10s);
        return ReadFileBytes(out);
    }
    std::string Xdotool(std::vector<std::string> args) {
        args.insert(args.begin(), xdotool_->string());
        return Run(args);
    }
    std::vector<WindowInfo> Search(std::vector<std::string> query) {
        std::vector<std::string> args{"search", "--onlyvisible"};
        args.insert(args.end(), query.begin(), query.end());
        args.insert(args.end(), {"getwindowgeometry", "%@"});
        const std::string out = Xdotool(args);
        std::vector<WindowInfo> found;
        static const std::regex block(
            R"(Window (\d+)\s+Position: (-?\d+),(-?\d+)[^\n]*\n\s+Geometry: (\d+)x(\d+))");
        for (std::sregex_iterator it(out.begin(), out.end(), block), end; it != end; ++it)
            found.push_back({(*it)[1], std::stoi((*it)[2]), std::stoi((*it)[3]),
                             std::stoi((*it)[4]), std::stoi((*it)[5])});
        return found;
    }
    std::string WindowName(const std::string& id) {
        std::string name = Xdotool({"getwindowname", id});
        name.erase(name.find_last_not_of("\r\n") + 1);
        return name;
    }
    // Our visible windows (xdotool's --name misses windows that carry only _NET_WM_NAME).
    std::vector<WindowInfo> OurWindows(const std::string& name) {
        std::vector<WindowInfo> out;
        for (const WindowInfo& w : Search({"--class", "ocelis"}))
            if (WindowName(w.id) == name)
                out.push_back(w);
        return out;
    }
    void Screenshot(const std::string& target, const fs::path& file) {
        Run({import_->string(), "-window", target, "-depth", "8", file.string()});
    }

private:
    Sandbox& box_;
    std::string display_;
    std::vector<std::unique_ptr<Process>> procs_;
    static inline std::optional<fs::path> xvfb_, trayer_, xdotool_, import_;
};

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

// The tray icon: our small visible window named Ocelis.
std::optional<WindowInfo> TrayIconWindow(XSession& x) {
    for (const WindowInfo& w : x.OurWindows("Ocelis"))
        if (w.w <= 64 && w.h <= 64)
            return w;
    return std::nullopt;
}

std::optional<WindowInfo> PopupWindow(XSession& x) {
    for (const WindowInfo& w : x.OurWindows("Ocelis"))
        if (w.w > 100 && w.h > 100)
            return w;
    return std::nullopt;
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

TEST(Tray, OptionsFromTheMenuTurnTheStatusBarOffForTheNextViewerAndTheFile) {
    std::string missing;
    if (!XSession::ToolsPresent(missing))
        GTEST_SKIP() << "skipped: " << missing << " not installed (./setup.sh installs them)";
    Sandbox box("tray-options");
    XSession x(box);
    std::string why;
    ASSERT_TRUE(x.Start(why)) << why;
    Process& demo = x.Spawn(
        {DEMO_BIN, "--interval", "2", "--port-file", (box.root / "port").string()}, "demo", false);
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return fs::exists(box.root / "port"); }, 10s));
    ASSERT_TRUE(demo.Running());
    std::string port = ReadFileBytes(box.root / "port");
    port.erase(port.find_last_not_of("\r\n") + 1);
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

    Process& ocelis = x.Spawn({box.exe.string()}, "ocelis", true);
    std::optional<WindowInfo> icon;
    ASSERT_TRUE(
        ocelis::test::WaitUntil([&] { return (icon = TrayIconWindow(x)).has_value(); }, 15s))
        << ReadFileBytes(box.Log("ocelis"));
    const std::string cx = std::to_string(icon->x + icon->w / 2);
    const std::string cy = std::to_string(icon->y + icon->h / 2);
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
