#include "catalogue/CamFile.h"
#include "platform/FileTestSupport.h"
#include "support/TestFiles.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using ocelis::ImportCamFileInto;

namespace {

class CamFileImport : public ::testing::Test {
protected:
    void SetUp() override { dir_ = ocelis::test::FreshTestDir("camfile"); }
    std::string Write(const std::string& name, const std::string& text) {
        const fs::path p = dir_ / name;
        ocelis::test::WriteFileBytes(p, text);
        return p.string();
    }
    fs::path dir_;
    TCamCategory root;
};

const char* kPier = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n"
                    "<Cam>\n <Name>Pier</Name>\n <Url>http://x/pier.jpg</Url>\n"
                    " <Refresh>60</Refresh>\n <Homepage>http://x/</Homepage>\n"
                    " <Referer>http://x/ref</Referer>\n <Email>a@x</Email>\n</Cam>\n";

} // namespace

TEST_F(CamFileImport, CompleteFileGivesEveryFieldAndLastIdZero) {
    TCamWebcam* cam = ImportCamFileInto(root, "Imported", Write("pier.cam", kPier));
    ASSERT_NE(cam, nullptr);
    ASSERT_EQ(root.Categories.Count(), 1);
    TCamCategory* cat = root.Categories.Items(0);
    EXPECT_EQ(cat->Name, "Imported");
    ASSERT_EQ(cat->Cams.Count(), 1);
    EXPECT_EQ(cat->Cams.Items(0), cam);
    EXPECT_EQ(cam->Name, "Pier");
    EXPECT_EQ(cam->Url, "http://x/pier.jpg");
    EXPECT_EQ(cam->Refresh, 60);
    EXPECT_EQ(cam->Homepage, "http://x/");
    EXPECT_EQ(cam->Referer, "http://x/ref");
    EXPECT_EQ(cam->Email, "a@x");
    EXPECT_EQ(cam->LastId, 0);
}

TEST_F(CamFileImport, RefreshDefaultsAndNonIntegers) {
    const std::string base = "<Cam><Name>N</Name><Url>U</Url>";
    EXPECT_EQ(ImportCamFileInto(root, "Imported", Write("a.cam", base + "</Cam>"))->Refresh, 30);
    EXPECT_EQ(
        ImportCamFileInto(root, "Imported", Write("b.cam", base + "<Refresh>abc</Refresh></Cam>"))
            ->Refresh,
        -1);
    EXPECT_EQ(
        ImportCamFileInto(root, "Imported", Write("c.cam", base + "<Refresh></Refresh></Cam>"))
            ->Refresh,
        -1);
    // Cut to 32 bits: 2^32 + 5 gives 5.
    EXPECT_EQ(ImportCamFileInto(root, "Imported",
                                Write("d.cam", base + "<Refresh>4294967301</Refresh></Cam>"))
                  ->Refresh,
              5);
    // Element names ignore letter case; of several, the last counts.
    TCamWebcam* cam = ImportCamFileInto(
        root, "Imported",
        Write("e.cam", "<x><NAME>first</NAME><name>second</name><uRL>U</uRL></x>"));
    ASSERT_NE(cam, nullptr);
    EXPECT_EQ(cam->Name, "second");
    EXPECT_EQ(root.Categories.Count(), 1);
    EXPECT_EQ(root.Categories.Items(0)->Cams.Count(), 5);
}

TEST_F(CamFileImport, MissingOrEmptyNameOrUrlImportsNothingButTheCategoryExists) {
    EXPECT_EQ(ImportCamFileInto(root, "Imported", Write("a.cam", "<Cam><Url>U</Url></Cam>")),
              nullptr);
    EXPECT_EQ(
        ImportCamFileInto(root, "Imported", Write("b.cam", "<Cam><Name></Name><Url>U</Url></Cam>")),
        nullptr);
    EXPECT_EQ(ImportCamFileInto(root, "Imported", Write("c.cam", "<Cam><Name>N</Name></Cam>")),
              nullptr);
    // Properties do not count, only element values.
    EXPECT_EQ(ImportCamFileInto(root, "Imported", Write("d.cam", "<Cam Name='N' Url='U'/>")),
              nullptr);
    ASSERT_EQ(root.Categories.Count(), 1);
    EXPECT_EQ(root.Categories.Items(0)->Name, "Imported");
    EXPECT_EQ(root.Categories.Items(0)->Cams.Count(), 0);
}

TEST_F(CamFileImport, UnreadableMalformedOrForeignFilesAreSilentlyIgnored) {
    EXPECT_EQ(ImportCamFileInto(root, "Imported", (dir_ / "missing.cam").string()), nullptr);
    EXPECT_EQ(ImportCamFileInto(root, "Imported", Write("bad.cam", "<Cam><Name>N</Na")), nullptr);
    EXPECT_EQ(ImportCamFileInto(root, "Imported", Write("bin.txt", std::string("\0\xff\x01", 3))),
              nullptr);
    EXPECT_EQ(ImportCamFileInto(root, "Imported", dir_.string()), nullptr);
    ASSERT_EQ(root.Categories.Count(), 1);
    EXPECT_EQ(root.Categories.Items(0)->Cams.Count(), 0);
}

TEST_F(CamFileImport, CategoryFoundByExactCaseAndNoDuplicateTest) {
    TCamCategory* other = root.Categories.Add();
    other->Name = "imported";
    TCamCategory* existing = root.Categories.Add();
    existing->Name = "Imported";
    const std::string path = Write("pier.cam", kPier);
    ASSERT_NE(ImportCamFileInto(root, "Imported", path), nullptr);
    ASSERT_NE(ImportCamFileInto(root, "Imported", path), nullptr);
    EXPECT_EQ(root.Categories.Count(), 2);
    EXPECT_EQ(other->Cams.Count(), 0);
    EXPECT_EQ(existing->Cams.Count(), 2);

    // A renamed ImportedCat text makes a new category beside the old one.
    ASSERT_NE(ImportCamFileInto(root, "Importiert", path), nullptr);
    ASSERT_EQ(root.Categories.Count(), 3);
    EXPECT_EQ(root.Categories.Items(2)->Name, "Importiert");
    EXPECT_EQ(root.Categories.Items(2)->Cams.Count(), 1);
    EXPECT_EQ(existing->Cams.Count(), 2);
}

TEST_F(CamFileImport, FifoOrDeviceIsNotImportedAndDoesNotBlock) {
    const std::string fifo = (dir_ / "pipe.cam").string();
    ASSERT_TRUE(ocelis::test::MakeFifo(fifo));
    for (const std::string& path : {fifo, std::string("/dev/null")}) {
        SCOPED_TRACE(path);
        TCamWebcam placeholder;
        TCamWebcam* cam = &placeholder;
        EXPECT_TRUE(ocelis::test::EndsWithin(
            std::chrono::seconds(2), [&] { cam = ImportCamFileInto(root, "Imported", path); },
            ocelis::test::FifoUnblocker(fifo)));
        EXPECT_EQ(cam, nullptr);
    }
    ASSERT_EQ(root.Categories.Count(), 1);
    EXPECT_EQ(root.Categories.Items(0)->Cams.Count(), 0);
}

TEST_F(CamFileImport, FilesOverOneMebibyteAreRefusedUnread) {
    const std::string head = "<Cam><Url>http://x/big.jpg</Url><Name>";
    const std::string tail = "</Name></Cam>";
    const struct {
        size_t nameBytes;
        bool imported;
    } cases[] = {
        {ocelis::kMaxCamFileSize - head.size() - tail.size(), true},
        {ocelis::kMaxCamFileSize - head.size() - tail.size() + 1, false},
        {16u << 20, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nameBytes);
        const std::string path = Write("big.cam", head + std::string(c.nameBytes, 'n') + tail);
        const TCamWebcam* cam = ImportCamFileInto(root, "Imported", path);
        EXPECT_EQ(cam != nullptr, c.imported);
        if (cam) {
            EXPECT_EQ(cam->Name.size(), c.nameBytes); // never cut in storage
        }
    }
    ASSERT_EQ(root.Categories.Count(), 1);
    EXPECT_EQ(root.Categories.Items(0)->Cams.Count(), 1);
}
