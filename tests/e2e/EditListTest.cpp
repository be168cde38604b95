// The catalogue editor in the real program on an X server with a tray host: from an empty
// catalogue, "Edit List..." from the tray menu, a category and a webcam added and typed in,
// OK; Options.xml holds them and the tray menu opens the new webcam. And the tray menu opens
// while the editor runs.
#include "XSession.h"

#include <gtest/gtest.h>

using namespace ocelis::e2e;

namespace {

// The program under X with an empty catalogue and the demo webcam, the editor opened from the
// tray menu.
class EditorSession {
public:
    EditorSession() : box("editlist"), x(box) {}

    // Empty when all went well, else what failed.
    std::string Open() {
        std::string why;
        if (!x.Start(why))
            return why;
        const std::string port = DemoPort(x, box);
        if (port.empty())
            return "the demo webcam did not start";
        url = "http://127.0.0.1:" + port + "/cam.jpg";
        WriteFileBytes(box.Options(), "<Options><Category Name=\"\"/><FirstLaunch>0</FirstLaunch>"
                                      "<LaunchWindows>0</LaunchWindows></Options>");
        const TStarted run = StartWithTrayIcon(x, box);
        if (!run.ocelis)
            return "no tray icon: " + ReadFileBytes(box.Log("ocelis"));
        ocelis = run.ocelis;
        cx = run.cx;
        cy = run.cy;
        // Close this menu, then (no catalogue entries) AVI Creator, Edit List...
        x.Xdotool({"mousemove", cx, cy, "click", "3"});
        if (!ocelis::test::WaitUntil([&] { return PopupWindow(x).has_value(); }, 10s))
            return "the tray menu did not open";
        x.Xdotool({"key", "Down", "Down", "Down", "Return"});
        if (!ocelis::test::WaitUntil(
                [&] {
                    const auto found = x.OurWindows("Edit Cams");
                    if (!found.empty())
                        editor = found.front();
                    return editor.has_value();
                },
                10s))
            return "no editor: " + ReadFileBytes(box.Log("ocelis"));
        return {};
    }
    void RightClickTray() { x.Xdotool({"mousemove", cx, cy, "click", "3"}); }
    ~EditorSession() {
        if (ocelis) {
            ocelis->Signal(SIGTERM);
            ocelis->WaitExit(10s);
        }
    }

    Sandbox box;
    XSession x;
    Process* ocelis = nullptr;
    std::string url, cx, cy;
    std::optional<WindowInfo> editor;
};

} // namespace

TEST(EditList, FillAnEmptyCatalogueFromTheTrayMenu) {
    OCELIS_REQUIRE_X_TOOLS();
    EditorSession s;
    ASSERT_EQ(s.Open(), "");
    XSession& x = s.x;
    Sandbox& box = s.box;
    const std::string& url = s.url;
    const std::optional<WindowInfo>& editor = s.editor;
    EXPECT_EQ(editor->w, 500);
    EXPECT_EQ(editor->h, 384);

    // The keyboard only: tree, Add Category, Add Webcam (into the new category), Delete,
    // then the webcam's name and address.
    x.Xdotool({"windowfocus", "--sync", editor->id});
    x.Xdotool({"key", "--delay", "50", "Tab", "space", "Tab", "space", "Tab", "Tab", "ctrl+a"});
    x.Xdotool({"type", "--delay", "20", "Harbour"});
    x.Xdotool({"key", "Tab", "ctrl+a"});
    x.Xdotool({"type", "--delay", "20", url});
    x.Screenshot("root", box.root / "editor.png");
    x.Xdotool({"key", "alt+o"});
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return x.OurWindows("Edit Cams").empty(); }, 10s));
    // The stored form, with the file's CR LF line ends. The window goes before the save ends.
    const std::string stored = " <Category Name=\"\">\r\n  <Categories>\r\n"
                               "   <Category Name=\"New Category\">\r\n    <Categories/>\r\n"
                               "    <Cams>\r\n     <Cam Name=\"Harbour\" Url=\"" +
                               url + "\" Refresh=\"30\"/>\r\n    </Cams>\r\n   </Category>\r\n";
    std::string options;
    EXPECT_TRUE(ocelis::test::WaitUntil(
        [&] { return (options = ReadFileBytes(box.Options())).find(stored) != std::string::npos; },
        10s))
        << options;

    // The menu lists the category with the webcam, which opens a viewer.
    s.RightClickTray();
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return PopupWindow(x).has_value(); }, 10s))
        << "the tray menu did not open a second time";
    x.Screenshot("root", box.root / "menu.png");
    x.Xdotool({"key", "--delay", "50", "Down", "Down", "Right", "Return"});
    EXPECT_TRUE(ocelis::test::WaitUntil([&] { return !x.OurWindows("Harbour").empty(); }, 10s));
    x.Screenshot("root", box.root / "viewer.png");
}

// The editor does not block the tray: the menu opens while it runs, and "Edit List..." brings
// the open editor forward instead of opening a second one.
TEST(EditList, TheTrayMenuOpensWhileTheEditorIsOpen) {
    OCELIS_REQUIRE_X_TOOLS();
    EditorSession s;
    ASSERT_EQ(s.Open(), "");
    // Work in the editor first: a right press on the icon within the double-click interval
    // of the one that opened the menu reaches the icon as a double click, which opens no menu.
    s.x.Xdotool({"mousemove", std::to_string(s.editor->x + 60), std::to_string(s.editor->y + 60),
                 "click", "1"});
    s.RightClickTray();
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return PopupWindow(s.x).has_value(); }, 10s))
        << "the tray menu did not open while the editor was open";
    s.x.Xdotool({"key", "Down", "Down", "Down", "Return"});
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return !PopupWindow(s.x).has_value(); }, 10s));
    EXPECT_EQ(s.x.OurWindows("Edit Cams").size(), 1u);
}
