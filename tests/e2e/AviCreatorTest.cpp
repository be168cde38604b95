// The AVI creator from the tray menu of the real program: two windows, a file produced
// from names typed into Qt's own file dialogs, the completion message, ffprobe reads it.
#include "XSession.h"
#include "avi/AviTestSupport.h"
#include "imaging/Jpeg.h"

#include <gtest/gtest.h>

using namespace ocelis::e2e;

TEST(Tray, AviCreatorTwiceGivesTwoWindowsAndOneProducesTheTypedFiles) {
    OCELIS_REQUIRE_X_TOOLS();
    Sandbox box("tray-avi");
    XSession x(box);
    std::string why;
    ASSERT_TRUE(x.Start(why)) << why;
    const fs::path pics = box.root / "pics";
    for (const char* name : {"1.jpg", "2.jpg", "3.jpg"})
        WriteFileBytes(pics / name, ocelis::EncodeJpeg(ocelis::test::Pattern(64, 48)));
    // The save dialog must not ask before replacing it.
    WriteFileBytes(pics / "out.avi", "");
    WriteFileBytes(box.Options(), "<Options><Category Name=\"\"/><SavePath>" + pics.string() +
                                      "</SavePath><FirstLaunch>0</FirstLaunch>"
                                      "<LaunchWindows>0</LaunchWindows></Options>");
    const TStarted run = StartWithTrayIcon(x, box);
    ASSERT_TRUE(run.ocelis) << ReadFileBytes(box.Log("ocelis"));
    Process& ocelis = *run.ocelis;
    const std::string &cx = run.cx, &cy = run.cy;
    std::vector<WindowInfo> creators;
    for (size_t n = 1; n <= 2; ++n) {
        x.Xdotool({"mousemove", cx, cy, "click", "3"});
        ASSERT_TRUE(ocelis::test::WaitUntil([&] { return PopupWindow(x).has_value(); }, 10s))
            << "no menu at right-click " << n;
        x.Xdotool({"key", "a"}); // "&AVI Creator..."
        ASSERT_TRUE(ocelis::test::WaitUntil(
            [&] { return (creators = x.OurWindows("AVI Creator")).size() == n; }, 10s));
    }
    for (const WindowInfo& w : creators)
        EXPECT_TRUE(w.w == 406 && w.h == 304) << w.w << "x" << w.h;

    // Qt's own dialogs, started in SavePath: Insert opens the open dialog.
    const auto answer = [&](const std::string& title, const std::string& typed) {
        std::vector<WindowInfo> dialog;
        ASSERT_TRUE(
            ocelis::test::WaitUntil([&] { return !(dialog = x.OurWindows(title)).empty(); }, 10s))
            << "no dialog " << title;
        x.Xdotool({"windowfocus", "--sync", dialog.front().id});
        x.Xdotool({"type", typed});
        x.Xdotool({"key", "Return"});
        ASSERT_TRUE(ocelis::test::WaitUntil([&] { return x.OurWindows(title).empty(); }, 10s));
    };
    const std::string creator = creators.front().id;
    x.Xdotool({"windowfocus", "--sync", creator});
    x.Xdotool({"key", "Insert"});
    answer("Open", "\"3.jpg\" \"1.jpg\" \"2.jpg\"");
    x.Screenshot("root", box.root / "creator.png");
    x.Xdotool({"windowfocus", "--sync", creator});
    x.Xdotool({"key", "alt+p"}); // "&Produce..."
    answer("Save As", "out.avi");

    // The completion message: neither the icon nor the progress window.
    std::optional<WindowInfo> message;
    ASSERT_TRUE(ocelis::test::WaitUntil(
        [&] {
            for (const WindowInfo& w : x.OurWindows("Ocelis"))
                if (w.w > 64 && !(w.w == 314 && w.h == 92))
                    message = w;
            return message.has_value();
        },
        15s))
        << ReadFileBytes(box.Log("ocelis"));
    x.Screenshot("root", box.root / "message.png");
    const bool probed = FindProgram("ffprobe").has_value();
    if (probed) {
        const std::string probe = ocelis::test::RunTool(
            "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
            "stream=width,height,r_frame_rate,nb_read_frames -of csv=p=0 '" +
            (pics / "out.avi").string() + "'");
        EXPECT_EQ(probe, "64,48,2/1,3\n");
    }
    x.Xdotool({"windowfocus", "--sync", message->id});
    x.Xdotool({"key", "Return"});
    EXPECT_TRUE(ocelis::test::WaitUntil([&] { return x.OurWindows("Ocelis").size() == 1; },
                                        10s)); // the icon alone
    EXPECT_EQ(x.OurWindows("AVI Creator").size(), 2u);
    ocelis.Signal(SIGTERM);
    EXPECT_EQ(ocelis.WaitExit(10s), 0) << ReadFileBytes(box.Log("ocelis"));
    if (!probed)
        GTEST_SKIP() << "ffprobe not installed (./setup.sh installs it): out.avi not read back";
}
