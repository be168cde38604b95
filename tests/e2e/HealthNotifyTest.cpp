// The real program with a notification service on its own session bus: a webcam whose
// server stops is told offline once, after three failed fetches; back once when it returns;
// a single missed fetch is told nothing.
#include "E2eSupport.h"

#include <gtest/gtest.h>

using namespace ocelis::e2e;

namespace {

std::vector<std::string> Lines(const fs::path& file) {
    std::vector<std::string> out;
    std::istringstream in(ReadFileBytes(file));
    std::string line;
    while (std::getline(in, line))
        if (!line.empty())
            out.push_back(line);
    return out;
}

std::string PortOf(const fs::path& file) {
    std::string port = ReadFileBytes(file);
    port.erase(port.find_last_not_of("\r\n") + 1);
    return port;
}

// Sockets of loopback connections to or from the port, listening ones left out (the
// closed ones linger in TIME-WAIT).
int ConnectionsTo(const std::string& port) {
    char hex[8];
    std::snprintf(hex, sizeof hex, ":%04X", std::stoi(port));
    int n = 0;
    for (const std::string& line : Lines("/proc/net/tcp")) {
        std::istringstream in(line);
        std::string slot, local, remote, state;
        in >> slot >> local >> remote >> state;
        if (state != "0A" && (local.ends_with(hex) || remote.ends_with(hex)))
            ++n;
    }
    return n;
}

// Starts the notification service on a private session bus, then the program (with args)
// on the same bus; its output goes to the "ocelis" log. False when it did not start.
bool StartOnPrivateBus(Sandbox& box, Process& session, const fs::path& calls,
                       const std::string& arg) {
    const auto runSession = FindProgram("dbus-run-session");
    const fs::path address = box.root / "bus.address";
    std::string script =
        "/usr/bin/python3 " NOTIFY_SERVER " --address-file '" + address.string() +
        "' --log-file '" + calls.string() + "' & i=0; while [ ! -e '" + address.string() +
        "' ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done; exec '" + box.exe.string() + "'";
    if (!arg.empty())
        script += " '" + arg + "'";
    return runSession &&
           session.Start({runSession->string(), "--", "/bin/sh", "-c", script}, box.Env(),
                         box.Log("ocelis")) &&
           ocelis::test::WaitUntil([&] { return fs::exists(address); }, 15s);
}

bool BusToolsMissing() {
    return !FindProgram("dbus-run-session") ||
           system("/usr/bin/python3 -c 'import dbus, dbus.mainloop.glib, gi' 2>/dev/null") != 0;
}

} // namespace

TEST(HealthNotify, UnreadableOptionsFileIsToldOnceAtStart) {
    if (BusToolsMissing())
        GTEST_SKIP() << "skipped: dbus-run-session or python3-dbus/python3-gi not installed";
    Sandbox box("unreadablenotify");
    WriteFileBytes(box.Options(), "<Options>\n<Category Name=\"x\">\n<Cams><Cam");
    const fs::path calls = box.root / "notify.log";
    Process session;
    ASSERT_TRUE(StartOnPrivateBus(box, session, calls, {})) << ReadFileBytes(box.Log("ocelis"));
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return !Lines(calls).empty(); }, 15s))
        << ReadFileBytes(box.Log("ocelis"));
    const std::string told = Lines(calls).front();
    EXPECT_EQ(told.rfind("1 0 0 0 Options.xml could not be read (", 0), 0u) << told;
    EXPECT_NE(told.find("). It was kept as Options.xml.unreadable-"), std::string::npos) << told;
    EXPECT_NE(told.find("; Ocelis started with an empty catalogue."), std::string::npos) << told;
    bool keptAside = false;
    for (const auto& e : fs::directory_iterator(box.Options().parent_path()))
        keptAside |= e.path().filename().string().starts_with("Options.xml.unreadable-");
    EXPECT_TRUE(keptAside);
    session.Signal(SIGTERM);
    EXPECT_TRUE(session.WaitExit(10s).has_value());
    EXPECT_EQ(Lines(calls).size(), 1u);
}

TEST(HealthNotify, FirstLaunchIsToldByTheDesktopsNotifications) {
    if (BusToolsMissing())
        GTEST_SKIP() << "skipped: dbus-run-session or python3-dbus/python3-gi not installed";
    Sandbox box("firstlaunchnotify");
    WriteFileBytes(box.Options(), "<Options><Category/><FirstLaunch>-1</FirstLaunch>"
                                  "<LaunchWindows>0</LaunchWindows></Options>");
    const fs::path calls = box.root / "notify.log";
    Process session;
    ASSERT_TRUE(StartOnPrivateBus(box, session, calls, {})) << ReadFileBytes(box.Log("ocelis"));
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return !Lines(calls).empty(); }, 15s))
        << ReadFileBytes(box.Log("ocelis"));
    EXPECT_EQ(Lines(calls).front(),
              "1 0 0 0 Right click on this icon and select a webcam you want to watch.");
    session.Signal(SIGTERM);
    EXPECT_TRUE(session.WaitExit(10s).has_value());
    EXPECT_EQ(Lines(calls).size(), 1u);
}

TEST(HealthNotify, OfflineOnceAfterThreeFailuresAndBackOnceItReturns) {
    if (BusToolsMissing())
        GTEST_SKIP() << "skipped: dbus-run-session or python3-dbus/python3-gi not installed";
    Sandbox box("healthnotify");
    const fs::path portFile = box.root / "demo.port";
    Process demo;
    ASSERT_TRUE(demo.Start({DEMO_BIN, "--interval", "1", "--port-file", portFile.string()},
                           box.Env(), box.Log("demo")));
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return fs::exists(portFile); }, 10s));
    const std::string port = PortOf(portFile);
    const fs::path cam = box.root / "Harbour.cam";
    WriteFileBytes(cam, "<?xml version=\"1.0\"?>\n<Cam>\n <Name>Harbour</Name>\n <Url>http://"
                        "127.0.0.1:" +
                            port + "/cam.jpg</Url>\n <Refresh>1</Refresh>\n</Cam>\n");
    WriteFileBytes(box.Options(), "<Options><Category Name=\"\"/><FirstLaunch>0</FirstLaunch>"
                                  "<LaunchWindows>0</LaunchWindows></Options>");

    const fs::path calls = box.root / "notify.log";
    Process session;
    ASSERT_TRUE(StartOnPrivateBus(box, session, calls, cam.string()))
        << ReadFileBytes(box.Log("ocelis"));
    // The viewer has shown pictures once the server's port has seen a few cycles of a HEAD
    // and a GET, each on a connection of its own (two sockets each on loopback).
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return ConnectionsTo(port) >= 12; }, 15s))
        << ReadFileBytes(box.Log("ocelis"));

    // One missed fetch: the server is gone for about a second.
    demo.Kill();
    Process again;
    ASSERT_TRUE(
        again.Start({DEMO_BIN, "--interval", "1", "--port", port}, box.Env(), box.Log("demo2")));

    // A long outage: told once, after at least three failed fetches over 30 s.
    const auto stopped = std::chrono::steady_clock::now();
    again.Kill();
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return !Lines(calls).empty(); }, 50s))
        << ReadFileBytes(box.Log("ocelis"));
    EXPECT_GE(std::chrono::steady_clock::now() - stopped, 30s);
    std::vector<std::string> told = Lines(calls);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("Harbour is offline: connection refused. Last picture "),
              std::string::npos)
        << told[0];
    EXPECT_EQ(told[0].substr(0, 9), "1 0 1 1 H") << "new id, with the picture, clickable";

    // Back: one notification that replaces the first.
    Process back;
    ASSERT_TRUE(
        back.Start({DEMO_BIN, "--interval", "1", "--port", port}, box.Env(), box.Log("demo3")));
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return Lines(calls).size() >= 2; }, 20s))
        << ReadFileBytes(box.Log("ocelis"));
    told = Lines(calls);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[1].rfind("1 1 ", 0), 0u) << told[1];
    EXPECT_NE(told[1].find("Harbour is back."), std::string::npos) << told[1];
    session.Signal(SIGTERM);
    EXPECT_TRUE(session.WaitExit(10s).has_value());
}
