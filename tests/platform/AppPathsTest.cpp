#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/AppPaths.h"
#include "platform/FileTestSupport.h"

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
    EXPECT_EQ(ocelis::OptionsFilePaths().Write, base / "app" / "Options.xml");
    ocelis::SetAppDirOverride({});
    EXPECT_EQ(ocelis::ExecutableDir(), ocelis::ExecutablePath().parent_path());
}

TEST_F(AppPathsTest, OptionsInConfigHomeWhenFolderUnusable) {
    ocelis::SetAppDirOverride(base / "gone");
    EXPECT_EQ(ocelis::OptionsFilePaths().Write, base / "config" / "Ocelis" / "Options.xml");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ocelis::OptionsFilePaths().Write,
              ocelis::HomeDir() / ".config" / "Ocelis" / "Options.xml");
}

TEST_F(AppPathsTest, LanguageFolders) {
    fs::create_directories(base / "app");
    ocelis::SetAppDirOverride(base / "app");
    EXPECT_TRUE(ocelis::LanguageDirs().empty());
    fs::create_directories(base / "app" / "Languages");
    ASSERT_EQ(ocelis::LanguageDirs().size(), 1u);
    EXPECT_EQ(ocelis::LanguageDirs()[0], fs::weakly_canonical(base / "app" / "Languages"));
}

// An unpacked or moved package (<root>/usr/bin/ocelis) finds <root>/usr/share/ocelis, not
// only the compiled-in folder.
TEST_F(AppPathsTest, LanguageFoldersOfAnInstalledLayoutWhereverItLies) {
    const fs::path usr = base / "root" / "usr", bin = usr / "bin";
    const fs::path shipped = usr / "share" / "ocelis" / "Languages";
    const fs::path beside = bin / "Languages", other = base / "other" / "ocelis" / "Languages";
    const struct {
        std::vector<fs::path> present;
        fs::path dataDir;
        std::vector<fs::path> expected;
    } cases[] = {
        {{shipped}, "/nonexistent", {shipped}},
        {{shipped}, usr / "share", {shipped}}, // the compiled-in folder is the same one
        {{shipped, beside}, {}, {beside, shipped}},
        {{shipped, other}, base / "other", {shipped, other}},
        {{other}, base / "other", {other}},
        {{}, base / "other", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.present.size() << " " << c.dataDir);
        fs::remove_all(base / "root");
        fs::remove_all(base / "other");
        fs::create_directories(bin);
        for (const fs::path& d : c.present)
            fs::create_directories(d);
        std::vector<fs::path> expected;
        for (const fs::path& d : c.expected)
            expected.push_back(fs::weakly_canonical(d));
        EXPECT_EQ(ocelis::LanguageDirsFor(bin, c.dataDir), expected);
    }
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

TEST(OptionsPaths, ReadOnlyFolderReadsTheConfigCopyWhenThereElseTheShippedOne) {
    const fs::path exe = "/opt/ocelis", config = "/home/u/.config/Ocelis/Options.xml";
    const fs::path beside = exe / "Options.xml";
    const struct {
        bool writable, configExists;
        fs::path read, write;
    } cases[] = {
        {true, false, beside, beside},
        {true, true, beside, beside}, // a portable copy never looks elsewhere
        {false, false, beside, config},
        {false, true, config, config},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.writable << c.configExists);
        const ocelis::TOptionsPaths p =
            ocelis::ChooseOptionsPaths(exe, c.writable, config, c.configExists);
        EXPECT_EQ(p.Read, c.read);
        EXPECT_EQ(p.Write, c.write);
    }
}

TEST_F(AppPathsTest, WritabilityProbeSeesAReadOnlyFolder) {
    fs::create_directories(base / "ro");
    fs::create_directories(base / "rw");
    fs::permissions(base / "ro", fs::perms::owner_read | fs::perms::owner_exec |
                                     fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(base / "rw", fs::perms::all);
    {
        ocelis::test::AsUnprivileged user;
        ASSERT_TRUE(user.Active()) << "cannot drop root's privileges here";
        EXPECT_TRUE(ocelis::IsWritableDir(base / "rw"));
        EXPECT_FALSE(ocelis::IsWritableDir(base / "ro"));
        EXPECT_FALSE(ocelis::IsWritableDir(base / "missing"));
        ocelis::SetAppDirOverride(base / "ro");
        EXPECT_EQ(ocelis::OptionsFilePaths().Read, base / "ro" / "Options.xml");
        EXPECT_EQ(ocelis::OptionsFilePaths().Write, base / "config" / "Ocelis" / "Options.xml");
    }
    fs::permissions(base / "ro", fs::perms::owner_all);
}
