#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <system_error>

#include "catalogue/XmlDocument.h"
#include "platform/AtomicFile.h"
#include "platform/FileTestSupport.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

size_t CountEntries(const fs::path& dir) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir))
        ++n;
    return n;
}

class AtomicFileTest : public testing::Test {
protected:
    void SetUp() override {
        dir = fs::path(testing::TempDir()) / "atomic" /
              testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    fs::path dir;
};

// Makes every write beyond `limit` bytes fail with EFBIG, as a full disk would, for the
// lifetime of the object.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit r = old_;
        r.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &r);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

} // namespace

TEST_F(AtomicFileTest, CreatesAndReplaces) {
    const fs::path p = dir / "a.txt";
    ocelis::WriteFileAtomic(p, "first");
    EXPECT_EQ(ocelis::test::ReadFileBytes(p), "first");
    ocelis::WriteFileAtomic(p, std::string("sec\0ond", 7));
    EXPECT_EQ(ocelis::test::ReadFileBytes(p), std::string("sec\0ond", 7));
    ocelis::WriteFileAtomic(p, "");
    EXPECT_EQ(ocelis::test::ReadFileBytes(p), "");
    EXPECT_EQ(CountEntries(dir), 1u);
}

TEST_F(AtomicFileTest, KeepsPermissionsOfExistingFile) {
    const fs::path p = dir / "mode.txt";
    ocelis::WriteFileAtomic(p, "x");
    fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ocelis::WriteFileAtomic(p, "y");
    EXPECT_EQ(fs::status(p).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const mode_t mask = umask(022);
    umask(mask);
    const fs::path fresh = dir / "fresh.txt";
    ocelis::WriteFileAtomic(fresh, "z");
    EXPECT_EQ(static_cast<mode_t>(fs::status(fresh).permissions() & fs::perms::all), 0666 & ~mask);
}

TEST_F(AtomicFileTest, WritesThroughSymlinks) {
    fs::create_directories(dir / "real");
    const fs::path target = dir / "real" / "Options.xml";
    ocelis::WriteFileAtomic(target, "old");
    const fs::path link = dir / "link.xml";
    fs::create_symlink("real/Options.xml", link);
    const fs::path link2 = dir / "link2.xml";
    fs::create_symlink(link, link2);
    ocelis::WriteFileAtomic(link2, "new");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::is_symlink(link2));
    EXPECT_EQ(ocelis::test::ReadFileBytes(target), "new");
    EXPECT_EQ(ocelis::ResolveWriteTarget(link2), dir / "real" / "Options.xml");

    const fs::path dangling = dir / "dangling.xml";
    fs::create_symlink("real/created.xml", dangling);
    ocelis::WriteFileAtomic(dangling, "made");
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_EQ(ocelis::test::ReadFileBytes(dir / "real" / "created.xml"), "made");
}

TEST_F(AtomicFileTest, ReplacesOnlyRegularFilesAtTheEndOfLinks) {
    const std::string fifo = (dir / "fifo").string();
    const std::string sock = (dir / "sock").string();
    ASSERT_TRUE(ocelis::test::MakeFifo(fifo));
    ASSERT_TRUE(ocelis::test::MakeSocketNode(sock));
    fs::create_directory(dir / "folder");
    fs::create_symlink(fifo, dir / "to-fifo");
    fs::create_symlink(sock, dir / "to-sock");
    fs::create_symlink("to-fifo", dir / "to-link-to-fifo");
    fs::create_symlink("folder", dir / "to-folder");
    const size_t entries = CountEntries(dir);

    const struct {
        const char* name;
        fs::file_type kept;
        int error;
    } cases[] = {
        {"fifo", fs::file_type::fifo, EINVAL},
        {"sock", fs::file_type::socket, EINVAL},
        {"to-fifo", fs::file_type::fifo, EINVAL},
        {"to-sock", fs::file_type::socket, EINVAL},
        {"to-link-to-fifo", fs::file_type::fifo, EINVAL},
        {"to-folder", fs::file_type::directory, EISDIR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path p = dir / c.name;
        int got = 0;
        try {
            ocelis::WriteFileAtomic(p, "x", ocelis::TFileAccess::OwnerOnly);
        } catch (const std::system_error& e) {
            got = e.code().value();
        }
        EXPECT_EQ(got, c.error);
        EXPECT_FALSE(ocelis::TryWriteFileAtomic(p, "x"));
        EXPECT_THROW(ocelis::CheckWriteTarget(p), std::system_error);
        TOcSimpleXml doc;
        doc.Root()->SetName("Options");
        EXPECT_THROW(doc.SaveToFile(p.string()), std::system_error);
        EXPECT_EQ(fs::status(p).type(), c.kept);
    }
    EXPECT_EQ(CountEntries(dir), entries); // no temporary left behind

    fs::create_symlink("made.xml", dir / "to-missing");
    EXPECT_NO_THROW(ocelis::CheckWriteTarget(dir / "to-missing"));
    ocelis::WriteFileAtomic(dir / "to-missing", "new");
    EXPECT_EQ(ocelis::test::ReadFileBytes(dir / "made.xml"), "new");
}

TEST_F(AtomicFileTest, SymlinkLoopFails) {
    fs::create_symlink("b", dir / "a");
    fs::create_symlink("a", dir / "b");
    EXPECT_THROW(ocelis::WriteFileAtomic(dir / "a", "x"), std::system_error);
    EXPECT_FALSE(ocelis::TryWriteFileAtomic(dir / "a", "x"));
}

TEST_F(AtomicFileTest, FailingWriteKeepsOldFileAndLeavesNoTemporary) {
    const fs::path p = dir / "Options.xml";
    const std::string old(10000, 'o');
    ocelis::WriteFileAtomic(p, old);
    {
        FileSizeLimit limit(4096);
        EXPECT_THROW(ocelis::WriteFileAtomic(p, std::string(20000, 'n')), std::system_error);
        EXPECT_FALSE(ocelis::TryWriteFileAtomic(p, std::string(20000, 'n')));
    }
    EXPECT_EQ(ocelis::test::ReadFileBytes(p), old);
    EXPECT_EQ(CountEntries(dir), 1u);
}

TEST_F(AtomicFileTest, DocumentSaveFailureKeepsPreviousCatalogue) {
    const fs::path p = dir / "Options.xml";
    TOcSimpleXml doc;
    doc.Root()->SetName("Options");
    doc.Root()->Items().Add("Keep", "me");
    doc.SaveToFile(p.string());
    const std::string before = ocelis::test::ReadFileBytes(p);
    TOcSimpleXml big;
    big.Root()->SetName("Options");
    for (int i = 0; i < 2000; ++i)
        big.Root()->Items().Add("Cam", "http://example.com/" + std::to_string(i));
    {
        FileSizeLimit limit(before.size() + 10);
        EXPECT_THROW(big.SaveToFile(p.string()), std::system_error);
    }
    EXPECT_EQ(ocelis::test::ReadFileBytes(p), before);
    EXPECT_EQ(CountEntries(dir), 1u);
}

TEST_F(AtomicFileTest, UnwritablePlacesFail) {
    EXPECT_THROW(ocelis::WriteFileAtomic(dir / "missing" / "f", "x"), std::system_error);
    fs::create_directory(dir / "isdir");
    EXPECT_THROW(ocelis::WriteFileAtomic(dir / "isdir", "x"), std::system_error);
    EXPECT_TRUE(fs::is_directory(dir / "isdir"));
    EXPECT_EQ(CountEntries(dir), 1u);
}

TEST_F(AtomicFileTest, MoveAsideNeverReplacesAnEarlierFile) {
    std::tm t{};
    t.tm_year = 2025 - 1900;
    t.tm_mon = 0;
    t.tm_mday = 31;
    t.tm_hour = 14;
    t.tm_min = 5;
    t.tm_sec = 9;
    t.tm_isdst = -1;
    const std::time_t when = std::mktime(&t);
    const fs::path file = dir / "Options.xml";
    const char* expected[] = {"Options.xml.unreadable-20250131-140509",
                              "Options.xml.unreadable-20250131-140509-2",
                              "Options.xml.unreadable-20250131-140509-3"};
    for (int i = 0; i < 3; ++i) {
        ocelis::test::WriteFileBytes(file, "copy " + std::to_string(i));
        EXPECT_EQ(ocelis::MoveAside(file, "unreadable", when), dir / expected[i]);
        EXPECT_FALSE(fs::exists(file));
    }
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ocelis::test::ReadFileBytes(dir / expected[i]), "copy " + std::to_string(i));
    EXPECT_THROW(ocelis::MoveAside(file, "unreadable", when), std::system_error); // gone
}
