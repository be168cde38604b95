#include "platform/FileAssociation.h"
#include "platform/Autostart.h"
#include "platform/FileTestSupport.h"
#include "support/TestFiles.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace ocelis;

namespace {

fs::path TestDir(const std::string& name) {
    return ocelis::test::FreshTestDir("assoc", name);
}

} // namespace

TEST(FileAssociation, ExecQuotesThePathWithDesktopEntryEscapes) {
    EXPECT_EQ(QuoteExecArgument("/opt/ocelis/bin/ocelis"), "\"/opt/ocelis/bin/ocelis\"");
    EXPECT_EQ(QuoteExecArgument("/my apps/ocelis"), "\"/my apps/ocelis\"");
    // A quote becomes \" for Exec, and the backslash is doubled as a string value.
    EXPECT_EQ(QuoteExecArgument("/a\"b"), "\"/a\\\\\"b\"");
    EXPECT_EQ(QuoteExecArgument("/a$b"), "\"/a\\\\$b\"");
    EXPECT_EQ(QuoteExecArgument("/a\\b"), "\"/a\\\\\\\\b\"");
    EXPECT_EQ(QuoteExecArgument("/100%/x"), "\"/100%%/x\"");
    // A line break cannot end the entry early.
    EXPECT_EQ(QuoteExecArgument("/a\nExec=evil"), "\"/aExec=evil\"");
}

TEST(FileAssociation, DesktopEntryOpensCamFilesWithTheExecutable) {
    const std::string d = CamDesktopEntry("/opt/o cel/ocelis");
    EXPECT_EQ(d.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_NE(d.find("\nExec=\"/opt/o cel/ocelis\" %f\n"), std::string::npos);
    EXPECT_NE(d.find("\nMimeType=application/x-ocelis-cam;\n"), std::string::npos);
    EXPECT_NE(d.find("\nType=Application\n"), std::string::npos);
}

TEST(FileAssociation, DesktopEntriesWeWritePassTheDesktopValidator) {
    if (std::system("command -v desktop-file-validate >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "skipped: desktop-file-validate is not installed (./setup.sh installs it)";
    const fs::path dir = TestDir("validate");
    const std::pair<const char*, std::string> entries[] = {
        {"ocelis.desktop", CamDesktopEntry("/opt/o cel/100% \"new\"/ocelis")},
        {"Ocelis.desktop", AutostartEntryText("/opt/o cel/ocelis")},
    };
    for (const auto& [name, text] : entries) {
        const fs::path file = dir / name, out = dir / "validator.out";
        ocelis::test::WriteFileBytes(file, text);
        const std::string command =
            "desktop-file-validate '" + file.string() + "' >'" + out.string() + "' 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << name;
        EXPECT_EQ(ocelis::test::ReadFileBytes(out), "") << name;
    }
}

TEST(FileAssociation, MimePackageGlobsCamFiles) {
    const std::string x = CamMimePackageXml();
    EXPECT_NE(x.find("<mime-type type=\"application/x-ocelis-cam\">"), std::string::npos);
    EXPECT_NE(x.find("<glob pattern=\"*.cam\"/>"), std::string::npos);
}

TEST(FileAssociation, MimeAppsMergeKeepsOtherEntries) {
    EXPECT_EQ(MergeMimeAppsDefault("", "a/b", "x.desktop"),
              "[Default Applications]\na/b=x.desktop;\n");
    // Replaces an older default of the same type, keeps the others.
    EXPECT_EQ(MergeMimeAppsDefault("[Default Applications]\ntext/plain=ed.desktop;\n"
                                   "a/b=old.desktop;\n",
                                   "a/b", "x.desktop"),
              "[Default Applications]\ntext/plain=ed.desktop;\na/b=x.desktop;\n");
    // Added at the end of its section, before the next section.
    EXPECT_EQ(MergeMimeAppsDefault("[Default Applications]\ntext/plain=ed.desktop;\n\n"
                                   "[Added Associations]\na/b=old.desktop;\n",
                                   "a/b", "x.desktop"),
              "[Default Applications]\ntext/plain=ed.desktop;\na/b=x.desktop;\n\n"
              "[Added Associations]\na/b=old.desktop;\n");
    // A file without the section gets it appended.
    EXPECT_EQ(MergeMimeAppsDefault("[Added Associations]\nc/d=y.desktop;\n", "a/b", "x.desktop"),
              "[Added Associations]\nc/d=y.desktop;\n\n[Default Applications]\na/b=x.desktop;\n");
    // Merging twice changes nothing more.
    const std::string once = MergeMimeAppsDefault("[Default Applications]\n", "a/b", "x.desktop");
    EXPECT_EQ(MergeMimeAppsDefault(once, "a/b", "x.desktop"), once);
}

TEST(FileAssociation, RegisterWritesAllThreeFilesAndOverwritesOnEveryStart) {
    const fs::path dir = TestDir("register");
    const fs::path data = dir / "data";
    const fs::path config = dir / "config";
    ocelis::test::WriteFileBytes(config / "mimeapps.list",
                                 "[Default Applications]\ntext/plain=ed.desktop;\n");

    RegisterCamFileType("/old/ocelis", data.string(), config.string(), false);
    RegisterCamFileType("/new place/ocelis", data.string(), config.string(), true);

    EXPECT_EQ(ocelis::test::ReadFileBytes(data / "mime/packages/ocelis-cam.xml"),
              CamMimePackageXml());
    const std::string entry = ocelis::test::ReadFileBytes(data / "applications/ocelis.desktop");
    EXPECT_EQ(entry, CamDesktopEntry("/new place/ocelis"));
    const std::string list = ocelis::test::ReadFileBytes(config / "mimeapps.list");
    EXPECT_NE(list.find("text/plain=ed.desktop;"), std::string::npos);
    EXPECT_NE(list.find("application/x-ocelis-cam=ocelis.desktop;"), std::string::npos);
    EXPECT_EQ(list.find("application/x-ocelis-cam="), list.rfind("application/x-ocelis-cam="));
    // No temporary file stays behind.
    for (const auto& e : fs::recursive_directory_iterator(dir))
        EXPECT_EQ(e.path().filename().string().find(".XXXXXX"), std::string::npos) << e.path();
    for (const auto& e : fs::directory_iterator(data / "applications"))
        EXPECT_TRUE(e.path().filename() == "ocelis.desktop" ||
                    e.path().filename() == "mimeinfo.cache")
            << e.path();
}

TEST(FileAssociation, SymlinkedMimeAppsListKeepsItsLink) {
    const fs::path dir = TestDir("symlink");
    fs::create_directories(dir / "config");
    ocelis::test::WriteFileBytes(dir / "dotfiles" / "mimeapps.list", "[Default Applications]\n");
    fs::create_symlink(dir / "dotfiles" / "mimeapps.list", dir / "config" / "mimeapps.list");
    RegisterCamFileType("/x", (dir / "data").string(), (dir / "config").string(), false);
    EXPECT_TRUE(fs::is_symlink(dir / "config" / "mimeapps.list"));
    EXPECT_NE(ocelis::test::ReadFileBytes(dir / "dotfiles" / "mimeapps.list")
                  .find("application/x-ocelis-cam="),
              std::string::npos);
}

TEST(FileAssociation, UnwritableFolderThrows) {
    const fs::path dir = TestDir("readonly");
    ocelis::test::WriteFileBytes(dir / "data" / "mime", "a file where a folder belongs");
    EXPECT_THROW(
        RegisterCamFileType("/x", (dir / "data").string(), (dir / "config").string(), false),
        std::runtime_error);
}

TEST(FileAssociation, MimeAppsListThatIsNoFileIsNeitherReadNorReplaced) {
    const fs::path dir = TestDir("fifo");
    fs::create_directories(dir / "config");
    const std::string list = (dir / "config" / "mimeapps.list").string();
    ASSERT_TRUE(ocelis::test::MakeFifo(list));
    bool threw = false;
    EXPECT_TRUE(ocelis::test::EndsWithin(
        std::chrono::seconds(2),
        [&] {
            try {
                RegisterCamFileType("/x", (dir / "data").string(), (dir / "config").string(),
                                    false);
            } catch (const std::runtime_error&) {
                threw = true;
            }
        },
        ocelis::test::FifoUnblocker(list)));
    EXPECT_TRUE(threw);
    EXPECT_TRUE(fs::is_fifo(list));
}

TEST(FileAssociation, XdgHomesFollowTheEnvironment) {
    setenv("XDG_DATA_HOME", "/d/share", 1);
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    setenv("HOME", "/h", 1);
    EXPECT_EQ(XdgDataHome(), "/d/share");
    EXPECT_EQ(XdgConfigHome(), "/h/.config");
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(XdgDataHome(), "/h/.local/share");
}
