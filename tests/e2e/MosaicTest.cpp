// The mosaic from the tray menu of the real program: cells fill with pictures, the entry
// brings the open mosaic forward, a stopped server turns its cell dark red.
#include "XSession.h"

#include <gtest/gtest.h>

using namespace ocelis::e2e;

TEST(Tray, MosaicFillsWithPicturesComesForwardAgainAndMarksAStoppedServerOffline) {
    OCELIS_REQUIRE_X_TOOLS();
    Sandbox box("tray-mosaic");
    XSession x(box);
    std::string why;
    ASSERT_TRUE(x.Start(why)) << why;
    const std::string live = DemoPort(x, box, "demo-a", 1);
    ASSERT_FALSE(live.empty());
    // The second server's webcam sits in a sub-category: it is the last cell (index 6).
    Process stopped;
    const fs::path stoppedPort = box.root / "demo-b.port";
    ASSERT_TRUE(stopped.Start({DEMO_BIN, "--interval", "1", "--port-file", stoppedPort.string()},
                              box.Env(false), box.Log("demo-b")));
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return fs::exists(stoppedPort); }, 10s));
    std::string gone = ReadFileBytes(stoppedPort);
    gone.erase(gone.find_last_not_of("\r\n") + 1);
    std::string cams;
    for (int i = 0; i < 6; ++i)
        cams += "<Cam Name=\"Cam " + std::to_string(i) + "\" Url=\"http://127.0.0.1:" + live +
                (i % 2 ? "/" : "/cam.jpg") + "\" Refresh=\"1\"/>";
    WriteFileBytes(box.Options(),
                   "<Options><Category Name=\"\"><Categories><Category Name=\"City\"><Categories>"
                   "<Category Name=\"Far\"><Cams><Cam Name=\"Gone\" Url=\"http://127.0.0.1:" +
                       gone + "/cam.jpg\" Refresh=\"1\"/></Cams></Category></Categories><Cams>" +
                       cams +
                       "</Cams></Category></Categories></Category><FirstLaunch>0</FirstLaunch>"
                       "<LaunchWindows>0</LaunchWindows></Options>");

    const TStarted run = StartWithTrayIcon(x, box);
    ASSERT_TRUE(run.ocelis) << ReadFileBytes(box.Log("ocelis"));
    Process& ocelis = *run.ocelis;
    const std::string &cx = run.cx, &cy = run.cy;
    const auto chooseMosaic = [&](const char* step) {
        x.Xdotool({"mousemove", cx, cy, "click", "3"});
        ASSERT_TRUE(ocelis::test::WaitUntil([&] { return PopupWindow(x).has_value(); }, 10s))
            << "no menu at the right-click " << step;
        x.Xdotool({"key", "m"});
    };

    chooseMosaic("for the mosaic");
    std::vector<WindowInfo> mosaic;
    ASSERT_TRUE(
        ocelis::test::WaitUntil([&] { return !(mosaic = x.OurWindows("Mosaic")).empty(); }, 10s));
    EXPECT_EQ(mosaic.front().w, 438);
    EXPECT_EQ(mosaic.front().h, 330);
    // Cells of (438 - 20) div 6 = 69 by 52 pixels and a grid line: cell i at 70 * (i mod 6),
    // 53 * (i div 6); its background shows in the 4-pixel inset, inside the highlight frame.
    const auto background = [&](int i) {
        const fs::path shot = box.root / "mosaic.ppm";
        x.Screenshot(mosaic.front().id, shot);
        return PpmPixel(shot, 70 * (i % 6) + 3, 53 * (i / 6) + 3);
    };
    PictureStats stats;
    ASSERT_TRUE(ocelis::test::WaitUntil(
        [&] {
            x.Screenshot(mosaic.front().id, box.root / "mosaic.ppm");
            stats = ReadPpmStats(box.root / "mosaic.ppm");
            return stats.colours > 50;
        },
        15s))
        << "the mosaic shows " << stats.colours << " colours";
    x.Screenshot(mosaic.front().id, box.root / "mosaic.png");
    EXPECT_TRUE(ocelis::test::WaitUntil([&] { return background(6) == 0x008000; }, 10s))
        << std::hex << background(6);

    chooseMosaic("while the mosaic is open");
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return !PopupWindow(x).has_value(); }, 10s));
    const auto again = x.OurWindows("Mosaic");
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again.front().id, mosaic.front().id);

    // Offline only after three failed fetches over at least 30 s.
    stopped.Kill();
    EXPECT_TRUE(ocelis::test::WaitUntil([&] { return background(6) == 0x800000; }, 60s))
        << std::hex << background(6);
    x.Screenshot(mosaic.front().id, box.root / "mosaic-offline.png");
    ocelis.Signal(SIGTERM);
    EXPECT_EQ(ocelis.WaitExit(10s), 0) << ReadFileBytes(box.Log("ocelis"));
}
