#include "viewer/ImageArchive.h"
#include "settings/CamViewer.h"
#include "support/TestFiles.h"

#include <climits>
#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace ocelis;
namespace fs = std::filesystem;

namespace {

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = ocelis::test::FreshTestDir("archive-test");
        save = root / "Webcams";
        viewer.SavePath = save.string();
        viewer.SubDirectory = true;
        cam.Name = " Harbour ";
    }
    void TearDown() override { fs::remove_all(root); }

    static void Touch(const fs::path& p) { ocelis::test::WriteFileBytes(p, "old"); }

    fs::path root, save;
    TCamViewer viewer;
    TCamWebcam cam;
};

} // namespace

TEST(ArchiveName, TrimsBlanksAndControlCharacters) {
    EXPECT_EQ(ArchiveName(" Harbour "), "Harbour");
    EXPECT_EQ(ArchiveName("\t\r\n Harbour \x1f"), "Harbour");
    EXPECT_EQ(ArchiveName("Old Harbour"), "Old Harbour");     // inner blanks stay
    EXPECT_EQ(ArchiveName("Z\xc3\xbcrich"), "Z\xc3\xbcrich"); // UTF-8 bytes are not blanks
}

TEST(ArchiveName, CannotLeaveTheArchiveFolder) {
    EXPECT_EQ(ArchiveName("../../.config/autostart/x"), ".._.._.config_autostart_x");
    EXPECT_EQ(ArchiveName("/etc/passwd"), "_etc_passwd");
    EXPECT_EQ(ArchiveName("a\\b"), "a_b");
    EXPECT_EQ(ArchiveName(std::string("a\0b", 3)), "a_b");
    EXPECT_EQ(ArchiveName("a\x01"
                          "b"),
              "a_b");
    EXPECT_EQ(ArchiveName("<>:\"|?*"), "_______");
    EXPECT_EQ(ArchiveName(""), "_");
    EXPECT_EQ(ArchiveName("   "), "_");
    EXPECT_EQ(ArchiveName("."), "_");
    EXPECT_EQ(ArchiveName(" .. "), "_");
    EXPECT_EQ(ArchiveName("..."), "..."); // an ordinary name on Linux
}

TEST(ArchivePaths, LayoutAndNumbers) {
    EXPECT_EQ(ArchivePrefix("/w/Webcams", true, " Harbour "), "/w/Webcams/Harbour/Image ");
    EXPECT_EQ(ArchivePrefix("/w/Webcams", false, " Harbour "), "/w/Webcams/Harbour ");
    EXPECT_EQ(ArchivePrefix("/w/Webcams/", true, "Harbour"), "/w/Webcams/Harbour/Image ");
    EXPECT_EQ(ArchivePrefix("/", false, "Harbour"), "/Harbour ");
    EXPECT_THROW(ArchivePrefix("", true, "Harbour"), EArchiveError);
    EXPECT_EQ(ArchiveFileName("p ", 1), "p 00001.jpg");
    EXPECT_EQ(ArchiveFileName("p ", 99999), "p 99999.jpg");
    EXPECT_EQ(ArchiveFileName("p ", 100000), "p 100000.jpg");
    EXPECT_EQ(ArchiveFileName("p ", 1234567), "p 1234567.jpg");
}

TEST_F(ArchiveTest, FirstAndSecondImageInTheWebcamsFolder) {
    const std::string jpeg("\xFF\xD8 bytes\0with NUL\r\n\xFF\xD9", 22);
    ASSERT_TRUE(viewer.SaveImage(cam, jpeg));
    EXPECT_EQ(ocelis::test::ReadFileBytes(save / "Harbour" / "Image 00001.jpg"),
              jpeg);          // unchanged bytes
    EXPECT_EQ(cam.LastId, 0); // not advanced after writing
    ASSERT_TRUE(viewer.SaveImage(cam, "second"));
    EXPECT_EQ(ocelis::test::ReadFileBytes(save / "Harbour" / "Image 00002.jpg"), "second");
    EXPECT_EQ(cam.LastId, 1);
    EXPECT_EQ(ocelis::test::ReadFileBytes(save / "Harbour" / "Image 00001.jpg"),
              jpeg); // nothing overwritten
}

TEST_F(ArchiveTest, WithoutSubDirectoryFilesGoIntoTheRoot) {
    viewer.SubDirectory = false;
    ASSERT_TRUE(viewer.SaveImage(cam, "x"));
    EXPECT_TRUE(fs::is_regular_file(save / "Harbour 00001.jpg"));
    // A trailing separator gives the same file.
    viewer.SavePath = save.string() + "/";
    ASSERT_TRUE(viewer.SaveImage(cam, "y"));
    EXPECT_EQ(ocelis::test::ReadFileBytes(save / "Harbour 00002.jpg"), "y");
    EXPECT_EQ(std::distance(fs::directory_iterator(save), fs::directory_iterator()), 2);
}

TEST_F(ArchiveTest, FillsGapsThenSkipsExistingNumbers) {
    for (const char* n : {"00001", "00002", "00004"})
        Touch(save / "Harbour" / (std::string("Image ") + n + ".jpg"));
    ASSERT_TRUE(viewer.SaveImage(cam, "3"));
    EXPECT_EQ(ocelis::test::ReadFileBytes(save / "Harbour" / "Image 00003.jpg"), "3");
    EXPECT_EQ(cam.LastId, 2);
    ASSERT_TRUE(viewer.SaveImage(cam, "5"));
    EXPECT_EQ(ocelis::test::ReadFileBytes(save / "Harbour" / "Image 00005.jpg"), "5");
    EXPECT_EQ(cam.LastId, 4);
    EXPECT_EQ(ocelis::test::ReadFileBytes(save / "Harbour" / "Image 00004.jpg"), "old");
}

TEST_F(ArchiveTest, SixDigitsFrom100000) {
    cam.LastId = 99999;
    ASSERT_TRUE(viewer.SaveImage(cam, "big"));
    EXPECT_EQ(ocelis::test::ReadFileBytes(save / "Harbour" / "Image 100000.jpg"), "big");
}

TEST_F(ArchiveTest, ALaterViewerContinuesAfterTheSequence) {
    TCamWebcam first = cam;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(viewer.SaveImage(first, "a"));
    TCamWebcam second = cam; // the stored record still says 0
    int events = 0;
    ASSERT_TRUE(viewer.SaveImage(second, "b", [&] { ++events; }));
    EXPECT_EQ(ocelis::test::ReadFileBytes(save / "Harbour" / "Image 00004.jpg"), "b");
    EXPECT_EQ(second.LastId, 3);
    EXPECT_EQ(events, 3); // pending events processed once per existing image
    EXPECT_EQ(cam.LastId, 0);
}

TEST_F(ArchiveTest, ImagesArrivingDuringTheSearchAreNotOverwritten) {
    Touch(save / "Harbour" / "Image 00001.jpg");
    // Another hand-over archives number 2 while this search processes events.
    TCamWebcam other = cam;
    bool nested = false;
    ASSERT_TRUE(viewer.SaveImage(cam, "outer", [&] {
        if (!nested) {
            nested = true;
            ASSERT_TRUE(viewer.SaveImage(other, "inner"));
        }
    }));
    EXPECT_EQ(ocelis::test::ReadFileBytes(save / "Harbour" / "Image 00002.jpg"), "inner");
    EXPECT_EQ(ocelis::test::ReadFileBytes(save / "Harbour" / "Image 00003.jpg"), "outer");
}

TEST_F(ArchiveTest, HostileNamesStayBelowTheArchiveFolder) {
    for (const char* name : {"../../escape", "..", "/tmp/abs", "", "a/../../b"}) {
        cam.Name = name;
        ASSERT_TRUE(viewer.SaveImage(cam, "x")) << name;
    }
    size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) {
            ++files;
            EXPECT_EQ(e.path().string().rfind(save.string() + "/", 0), 0u) << e.path();
        }
    EXPECT_EQ(files, 5u);
    EXPECT_TRUE(fs::is_regular_file(save / ".._.._escape" / "Image 00001.jpg"));
    EXPECT_TRUE(fs::is_regular_file(save / "_" / "Image 00001.jpg"));
    EXPECT_TRUE(fs::is_regular_file(save / "_" / "Image 00002.jpg")); // ".." and "" share "_"
    EXPECT_FALSE(fs::exists(root / "escape"));
}

TEST_F(ArchiveTest, NeverFollowsALinkInTheWayOfTheNextNumber) {
    fs::create_directories(save / "Harbour");
    const fs::path outside = root / "outside.txt";
    fs::create_symlink(outside, save / "Harbour" / "Image 00001.jpg"); // dangling
    ASSERT_TRUE(viewer.SaveImage(cam, "img"));
    EXPECT_FALSE(fs::exists(outside));
    EXPECT_EQ(ocelis::test::ReadFileBytes(save / "Harbour" / "Image 00002.jpg"), "img");
    EXPECT_EQ(cam.LastId, 1);
    EXPECT_FALSE(WriteNewFile(save / "Harbour" / "Image 00002.jpg", "again"));
    EXPECT_EQ(ocelis::test::ReadFileBytes(save / "Harbour" / "Image 00002.jpg"), "img");
}

TEST_F(ArchiveTest, FailuresArchiveNothingAndKeepTheSearchResult) {
    viewer.SavePath.clear();
    EXPECT_FALSE(viewer.SaveImage(cam, "x"));
    EXPECT_EQ(cam.LastId, 0);

    // The archive folder is a file: folders cannot be created.
    ocelis::test::WriteFileBytes(root / "file", "x");
    viewer.SavePath = (root / "file").string();
    EXPECT_FALSE(viewer.SaveImage(cam, "x"));

    // The search got to 2 before the write failed (the webcam's folder is read-only).
    viewer.SavePath = save.string();
    Touch(save / "Harbour" / "Image 00001.jpg");
    Touch(save / "Harbour" / "Image 00002.jpg");
    fs::permissions(save / "Harbour", fs::perms::owner_read | fs::perms::owner_exec);
    const bool root_user = ::geteuid() == 0; // root writes anyway
    EXPECT_EQ(viewer.SaveImage(cam, "x"), root_user);
    EXPECT_EQ(cam.LastId, 2);
    fs::permissions(save / "Harbour", fs::perms::owner_all);

    // A search that throws leaves the value it reached.
    cam.LastId = 0;
    EXPECT_FALSE(viewer.SaveImage(cam, "x", [] { throw std::runtime_error("gone"); }));
    EXPECT_EQ(cam.LastId, 1);

    cam.LastId = INT_MAX; // no overflow: refused
    EXPECT_FALSE(viewer.SaveImage(cam, "x"));
    EXPECT_EQ(cam.LastId, INT_MAX);
}
