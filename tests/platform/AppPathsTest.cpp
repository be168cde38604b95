#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/AppPaths.h"

namespace fs = std::filesystem;

namespace {

class AppPathsTest : public testing::Test {
protected:
    void SetUp() override {
        base = fs::path(testing::TempDir()) / "apppaths" /
               testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(base);
        fs::create_directories(base / "config");
        setenv("XDG_CONFIG_HOME", (base / "config").c_str(), 1);
    }
    void TearDown() override { ocelis::SetAppDirOverride({}); }
    fs::path base;
};

} // namespace

TEST_F(AppPathsTest, ExecutableIsThisProgram) {
    const fs::path exe = ocelis::ExecutablePath();
    EXPECT_TRUE(exe.is_absolute());
    EXPECT_EQ(exe.filename(), "test_platform_core");
    EXPECT_EQ(ocelis::ExecutableDir(), exe.parent_path());
}

TEST_F(AppPathsTest, OptionsBesideWritableFolder) {
    fs::create_directories(base / "app");
    ocelis::SetAppDirOverride(base / "app");
    EXPECT_EQ(ocelis::ExecutableDir(), base / "app");
    EXPECT_EQ(ocelis::OptionsFilePath(), base / "app" / "Options.xml");
    ocelis::SetAppDirOverride({});
    EXPECT_EQ(ocelis::ExecutableDir(), ocelis::ExecutablePath().parent_path());
}

TEST_F(AppPathsTest, OptionsInConfigHomeWhenFolderUnusable) {
    ocelis::SetAppDirOverride(base / "gone");
    EXPECT_EQ(ocelis::OptionsFilePath(), base / "config" / "Ocelis" / "Options.xml");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ocelis::OptionsFilePath(), ocelis::HomeDir() / ".config" / "Ocelis" / "Options.xml");
}

TEST_F(AppPathsTest, LanguageFolders) {
    fs::create_directories(base / "app");
    ocelis::SetAppDirOverride(base / "app");
    EXPECT_TRUE(ocelis::LanguageDirs().empty());
    fs::create_directories(base / "app" / "Languages");
    ASSERT_EQ(ocelis::LanguageDirs().size(), 1u);
    EXPECT_EQ(ocelis::LanguageDirs()[0], fs::weakly_canonical(base / "app" / "Languages"));
}

TEST_F(AppPathsTest, HomeFromEnvironment) {
    const char* old = std::getenv("HOME");
    const std::string saved = old ? old : "";
    setenv("HOME", (base / "home").c_str(), 1);
    EXPECT_EQ(ocelis::HomeDir(), base / "home");
    EXPECT_EQ(ocelis::ConfigHome(), base / "config");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ocelis::ConfigHome(), base / "home" / ".config");
    setenv("HOME", saved.c_str(), 1);
}
