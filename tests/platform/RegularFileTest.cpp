#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include "platform/FileTestSupport.h"
#include "platform/RegularFile.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(RegularFile, ReadsRegularFilesOnlyAndNeverBlocks) {
    const fs::path dir = ocelis::test::FreshTestDir("regularfile");
    ocelis::test::WriteFileBytes(dir / "plain", "bytes");
    fs::create_symlink(dir / "plain", dir / "link");
    const std::string fifo = (dir / "fifo").string();
    ASSERT_TRUE(ocelis::test::MakeFifo(fifo));
    fs::create_symlink(fifo, dir / "fifo-link");

    EXPECT_EQ(ocelis::ReadRegularFile(dir / "plain", 5), "bytes");
    EXPECT_EQ(ocelis::ReadRegularFile(dir / "link", 5), "bytes");
    const int fd = ocelis::OpenRegularFile(dir / "plain");
    EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0); // back to plain blocking reads
    close(fd);

    const struct {
        fs::path path;
        uint64_t limit;
        int error;
    } failures[] = {
        {dir / "plain", 4, EFBIG}, {dir / "missing", 99, ENOENT},   {dir, 99, EISDIR},
        {fifo, 99, EINVAL},        {dir / "fifo-link", 99, EINVAL}, {"/dev/zero", 1u << 20, EINVAL},
        {"/dev/null", 99, EINVAL},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(f.path.string());
        int got = 0;
        EXPECT_TRUE(ocelis::test::EndsWithin(
            2s,
            [&] {
                try {
                    ocelis::ReadRegularFile(f.path, f.limit);
                } catch (const std::system_error& e) {
                    got = e.code().value();
                }
            },
            ocelis::test::FifoUnblocker(fifo)));
        EXPECT_EQ(got, f.error);
    }
}
