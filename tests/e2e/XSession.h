// A private X server with a tray host for tests of the real binary, driven with xdotool.
#pragma once

#include "E2eSupport.h"

#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace ocelis::e2e {

struct WindowInfo {
    std::string id;
    int x = 0, y = 0, w = 0, h = 0;
};

class XSession {
public:
    explicit XSession(Sandbox& box) : box_(box) {}

    bool Start(std::string& why, bool withTrayer = true) {
        // Without -noreset the server resets whenever its last client leaves, and refuses
        // connections meanwhile: a tool that connects while an xdotool query ends fails.
        Spawn({xvfb_->string(), "-displayfd", "1", "-noreset", "-screen", "0", "1024x768x24",
               "-nolisten", "tcp"},
              "xvfb", false);
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
        return !withTrayer || StartTrayer(why);
    }

    bool StartTrayer(std::string& why) {
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
        dbusRunSession_ = FindProgram("dbus-run-session");
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

    // Ends every process started here, with whatever each of them started.
    void Stop() {
        for (auto it = procs_.rbegin(); it != procs_.rend(); ++it)
            (*it)->Kill();
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
    static inline std::optional<fs::path> xvfb_, trayer_, xdotool_, import_, dbusRunSession_;

public:
    // The D-Bus tray host of this folder needs dbus-run-session and python3 with dbus and gi.
    static bool DBusToolsPresent(std::string& missing) {
        if (!dbusRunSession_)
            missing = "dbus-run-session";
        else if (!FindProgram("dbus-send"))
            missing = "dbus-send";
        else if (system("/usr/bin/python3 -c 'import dbus, dbus.mainloop.glib, gi' 2>/dev/null"))
            missing = "python3-dbus or python3-gi";
        return missing.empty();
    }
    // A session bus whose tray host starts once `go` exists (at once when it is empty).
    Process& SpawnDBusHost(const fs::path& addressFile, const fs::path& layoutFile,
                           const std::string& click, const fs::path& go = {}) {
        std::string host = "exec /usr/bin/python3 " TRAY_HOST " --address-file '" +
                           addressFile.string() + "' --layout-file '" + layoutFile.string() +
                           "' --log-file '" + box_.Log("host").string() + "'";
        if (!click.empty())
            host += " --click '" + click + "'";
        std::string script = host;
        if (!go.empty())
            script = "echo $DBUS_SESSION_BUS_ADDRESS > '" + addressFile.string() +
                     ".early.tmp' && mv '" + addressFile.string() + ".early.tmp' '" +
                     addressFile.string() + ".early'; i=0; while [ ! -e '" + go.string() +
                     "' ] && [ $i -lt 600 ]; do sleep 0.05; i=$((i+1)); done; [ -e '" +
                     go.string() + "' ] && " + host;
        return Spawn({dbusRunSession_->string(), "--", "/bin/sh", "-c", script}, "dbus", false);
    }
};

// The tray icon: our small visible window named Ocelis.
inline std::optional<WindowInfo> TrayIconWindow(XSession& x) {
    for (const WindowInfo& w : x.OurWindows("Ocelis"))
        if (w.w <= 64 && w.h <= 64)
            return w;
    return std::nullopt;
}

inline std::optional<WindowInfo> PopupWindow(XSession& x) {
    for (const WindowInfo& w : x.OurWindows("Ocelis"))
        if (w.w > 100 && w.h > 100)
            return w;
    return std::nullopt;
}

// A binary PPM (P6) as width, height and the number of distinct colours.
struct PictureStats {
    int width = 0, height = 0;
    size_t colours = 0;
};

inline PictureStats ReadPpmStats(const fs::path& file) {
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

// The colour of one pixel of a binary PPM, as 0xRRGGBB; -1 when outside.
inline long PpmPixel(const fs::path& file, int x, int y) {
    const std::string data = ReadFileBytes(file);
    std::istringstream in(data);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    in >> magic >> w >> h >> maxval;
    const size_t start = static_cast<size_t>(in.tellg()) + 1;
    const size_t at = start + (static_cast<size_t>(y) * w + x) * 3;
    if (magic != "P6" || x < 0 || y < 0 || x >= w || y >= h || data.size() < at + 3)
        return -1;
    const auto* p = reinterpret_cast<const unsigned char*>(data.data() + at);
    return static_cast<long>(p[0]) << 16 | p[1] << 8 | p[2];
}

// The demo webcam on a free loopback port, changing every `interval` seconds: its port, or
// empty when it did not start.
inline std::string DemoPort(XSession& x, Sandbox& box, const std::string& name = "demo",
                            int interval = 2) {
    const fs::path file = box.root / (name + ".port");
    Process& demo =
        x.Spawn({DEMO_BIN, "--interval", std::to_string(interval), "--port-file", file.string()},
                name, false);
    if (!ocelis::test::WaitUntil([&] { return fs::exists(file); }, 10s) || !demo.Running())
        return {};
    std::string port = ReadFileBytes(file);
    port.erase(port.find_last_not_of("\r\n") + 1);
    return port;
}

// The program started on the session, and the centre of its tray icon for xdotool.
struct TStarted {
    Process* ocelis = nullptr; // null when no tray icon appeared
    std::string cx, cy;
};

inline TStarted StartWithTrayIcon(XSession& x, Sandbox& box) {
    TStarted run;
    Process& ocelis = x.Spawn({box.exe.string()}, "ocelis", true);
    std::optional<WindowInfo> icon;
    if (!ocelis::test::WaitUntil([&] { return (icon = TrayIconWindow(x)).has_value(); }, 15s))
        return run;
    run.ocelis = &ocelis;
    run.cx = std::to_string(icon->x + icon->w / 2);
    run.cy = std::to_string(icon->y + icon->h / 2);
    return run;
}

} // namespace ocelis::e2e

// In a test body: skips the test, saying so, when a tool of the X session is missing.
#define OCELIS_REQUIRE_X_TOOLS()                                                                   \
    do {                                                                                           \
        std::string missing_;                                                                      \
        if (!ocelis::e2e::XSession::ToolsPresent(missing_))                                        \
            GTEST_SKIP() << "skipped: " << missing_                                                \
                         << " not installed (./setup.sh installs them)";                           \
    } while (false)
