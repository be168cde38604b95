// The chooser in the real program on an X server with a tray host: a left click on the
// tray icon opens it, and choosing a category fills the list with the demo webcam's
// pictures.
// Skips, saying so, where Xvfb, trayer, xdotool or ImageMagick's import are missing.
#include "XSession.h"

#include <gtest/gtest.h>
#include <set>

using namespace ocelis::e2e;

namespace {

// Distinct colours of a binary PPM (P6) inside the rectangle x0, y0, w, h.
size_t PpmColours(const fs::path& file, int x0, int y0, int w, int h) {
    const std::string data = ReadFileBytes(file);
    std::istringstream in(data);
    std::string magic;
    int width = 0, height = 0, maxval = 0;
    in >> magic >> width >> height >> maxval;
    if (magic != "P6" || width <= 0 || height <= 0 || maxval != 255)
        return 0;
    const size_t start = static_cast<size_t>(in.tellg()) + 1;
    if (data.size() < start + static_cast<size_t>(width) * height * 3)
        return 0;
    std::set<uint32_t> colours;
    for (int y = std::max(0, y0); y < std::min(height, y0 + h); ++y)
        for (int x = std::max(0, x0); x < std::min(width, x0 + w); ++x) {
            const size_t at = start + (static_cast<size_t>(y) * width + x) * 3;
            const auto* p = reinterpret_cast<const unsigned char*>(data.data() + at);
            colours.insert(static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2]);
        }
    return colours.size();
}

} // namespace

TEST(Chooser, LeftClickOpensItAndACategoryShowsItsThumbnails) {
    OCELIS_REQUIRE_X_TOOLS();
    Sandbox box("chooser");
    XSession x(box);
    std::string why;
    ASSERT_TRUE(x.Start(why)) << why;
    const std::string port = DemoPort(x, box);
    ASSERT_FALSE(port.empty());
    const std::string base = "http://127.0.0.1:" + port;
    WriteFileBytes(box.Options(),
                   "<Options><Category Name=\"\"><Categories><Category Name=\"Harbour\"><Cams>"
                   "<Cam Name=\"Pier\" Url=\"" +
                       base + "/cam.jpg\"/><Cam Name=\"Gone\" Url=\"" + base +
                       "/gone.jpg\"/><Cam Name=\"Quay\" Url=\"" + base +
                       "/\"/></Cams></Category></Categories></Category>"
                       "<FirstLaunch>0</FirstLaunch><LaunchWindows>0</LaunchWindows></Options>");

    const TStarted run = StartWithTrayIcon(x, box);
    ASSERT_TRUE(run.ocelis) << ReadFileBytes(box.Log("ocelis"));
    Process& ocelis = *run.ocelis;
    const std::string &cx = run.cx, &cy = run.cy;
    x.Xdotool({"mousemove", cx, cy, "click", "1"});
    std::optional<WindowInfo> chooser;
    ASSERT_TRUE(ocelis::test::WaitUntil(
        [&] {
            const auto found = x.OurWindows("Choose a Webcam");
            if (!found.empty())
                chooser = found.front();
            return chooser.has_value();
        },
        10s))
        << ReadFileBytes(box.Log("ocelis"));
    EXPECT_EQ(chooser->w, 520);
    EXPECT_EQ(chooser->h, 375);

    // The category is the tree's first row.
    x.Xdotool({"mousemove", std::to_string(chooser->x + 30), std::to_string(chooser->y + 9),
               "click", "1"});
    // The list: right of the tree and the splitter, above the status bar.
    const fs::path shot = box.root / "chooser.ppm";
    size_t colours = 0;
    EXPECT_TRUE(ocelis::test::WaitUntil(
        [&] {
            x.Screenshot(chooser->id, shot);
            colours = PpmColours(shot, 125, 0, 520 - 125, 375 - 19);
            return colours > 100;
        },
        15s))
        << "the list shows " << colours << " colours";
    x.Screenshot(chooser->id, box.root / "chooser.png");

    ocelis.Signal(SIGTERM);
    EXPECT_EQ(ocelis.WaitExit(10s), 0) << ReadFileBytes(box.Log("ocelis"));
}
