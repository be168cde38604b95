#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/AppPaths.h"
#include "platform/Autostart.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

class AutostartTest : public testing::Test {
protected:
    void SetUp() override {
        base = fs::path(testing::TempDir()) / "autostart" /
               testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(base);
        fs::create_directories(base / "config");
        setenv("XDG_CONFIG_HOME", (base / "config").c_str(), 1);
    }
    fs::path base;
};

} // namespace

TEST_F(AutostartTest, EntryLocation) {
    EXPECT_EQ(ocelis::AutostartEntryPath(), base / "config" / "autostart" / "Ocelis.desktop");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_EQ(ocelis::AutostartEntryPath(),
              ocelis::HomeDir() / ".config" / "autostart" / "Ocelis.desktop");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ocelis::AutostartEntryPath(),
              ocelis::HomeDir() / ".config" / "autostart" / "Ocelis.desktop");
}

TEST_F(AutostartTest, EntryText) {
    EXPECT_EQ(ocelis::AutostartEntryText("/opt/Ocelis/ocelis"),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Name=Ocelis\n"
              "Comment=Webcam viewer in the notification area\n"
              "Exec=\"/opt/Ocelis/ocelis\"\n"
              "Icon=ocelis\n"
              "Terminal=false\n"
              "X-GNOME-Autostart-enabled=true\n"
              "X-GNOME-Autostart-Delay=5\n"
              "X-LXQt-Need-Tray=true\n");
}

TEST_F(AutostartTest, ExecQuotingOfAwkwardPaths) {
    const std::string text =
        ocelis::AutostartEntryText("/home/a b/100%/\"q\"/$x/`c`/back\\slash/ocelis");
    // Inside the quotes ", `, $ and \ get a backslash; the entry's own escaping then
    // doubles every backslash, and % becomes %%.
    EXPECT_NE(
        text.find(
            "Exec=\"/home/a b/100%%/\\\\\"q\\\\\"/\\\\$x/\\\\`c\\\\`/back\\\\\\\\slash/ocelis\"\n"),
        std::string::npos)
        << text;
    const std::string newline = ocelis::AutostartEntryText("/a\nb");
    EXPECT_NE(newline.find("Exec=\"/a\\nb\"\n"), std::string::npos);
}

TEST_F(AutostartTest, OnWritesOffRemoves) {
    const fs::path entry = ocelis::AutostartEntryPath();
    EXPECT_FALSE(ocelis::AutostartEntryExists());
    EXPECT_TRUE(ocelis::SetAutostart(true, "/usr/bin/ocelis"));
    EXPECT_EQ(ocelis::test::ReadFileBytes(entry), ocelis::AutostartEntryText("/usr/bin/ocelis"));
    EXPECT_TRUE(ocelis::AutostartEntryExists());
    // A moved executable rewrites the entry.
    EXPECT_TRUE(ocelis::SetAutostart(true, "/opt/new place/ocelis"));
    EXPECT_EQ(ocelis::test::ReadFileBytes(entry),
              ocelis::AutostartEntryText("/opt/new place/ocelis"));
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(entry.parent_path()))
        ++files;
    EXPECT_EQ(files, 1u);
    EXPECT_TRUE(ocelis::SetAutostart(false, "/opt/new place/ocelis"));
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_TRUE(ocelis::SetAutostart(false)); // already gone is fine
}

TEST_F(AutostartTest, RunningExecutableAndFailure) {
    EXPECT_TRUE(ocelis::SetAutostart(true));
    EXPECT_NE(ocelis::test::ReadFileBytes(ocelis::AutostartEntryPath())
                  .find("Exec=\"" + ocelis::ExecutablePath().string() + "\""),
              std::string::npos);
    ocelis::test::WriteFileBytes(base / "file", "x");
    setenv("XDG_CONFIG_HOME", (base / "file").c_str(), 1);
    EXPECT_FALSE(ocelis::SetAutostart(true));
}
