#include "platform/HandOver.h"
#include "platform/FileTestSupport.h"
#include "platform/InstanceLock.h"
#include "support/TestFiles.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace ocelis;
using namespace std::chrono_literals;

namespace {

fs::path TestDir(const std::string& name) {
    const fs::path dir = ocelis::test::FreshTestDir("handover", name);
    fs::permissions(dir, fs::perms::owner_all);
    return dir;
}

void Touch(const fs::path& p) {
    std::ofstream(p) << "<Cam/>";
}

} // namespace

TEST(HandOverText, TakesTextUpToFirstZeroAndNeverPastTheLength) {
    using namespace std::string_literals;
    EXPECT_EQ(HandOverText("abc\0"s, 4), "abc");
    EXPECT_EQ(HandOverText("abc\0def\0"s, 8), "abc");
    // No zero within cbData: the text stops at cbData.
    EXPECT_EQ(HandOverText("abcdef"s, 3), "abc");
    // cbData beyond the bytes present never reads past them.
    EXPECT_EQ(HandOverText("ab"s, 100), "ab");
    EXPECT_EQ(HandOverText("\0abc"s, 4), "");
}

TEST(HandOverText, LengthZeroIsIgnored) {
    EXPECT_FALSE(HandOverText("abc", 0).has_value());
    EXPECT_FALSE(HandOverText("", 0).has_value());
}

TEST(HandOverPathAccepted, ThreeTestsOnUpperCasedText) {
    const fs::path dir = TestDir("tests");
    Touch(dir / "pier.cam");
    Touch(dir / "PIER2.CAM");
    Touch(dir / "mixed.Cam");
    Touch(dir / "pier.cam.txt");
    Touch(dir / "pier.camera");
    fs::create_directories(dir / "folder.cam");
    fs::create_directories(dir / "x.cam.d");
    Touch(dir / "x.cam.d" / "noext");

    EXPECT_TRUE(HandOverPathAccepted((dir / "pier.cam").string()));
    EXPECT_TRUE(HandOverPathAccepted((dir / "PIER2.CAM").string()));
    EXPECT_TRUE(HandOverPathAccepted((dir / "mixed.Cam").string()));
    // Contains ".CAM" but the extension is another one.
    EXPECT_FALSE(HandOverPathAccepted((dir / "pier.cam.txt").string()));
    EXPECT_FALSE(HandOverPathAccepted((dir / "pier.camera").string()));
    // Missing file.
    EXPECT_FALSE(HandOverPathAccepted((dir / "missing.cam").string()));
    // A folder is not a file.
    EXPECT_FALSE(HandOverPathAccepted((dir / "folder.cam").string()));
    // Nor is a FIFO or a device: importing one would block the GUI thread.
    ASSERT_TRUE(ocelis::test::MakeFifo((dir / "pipe.cam").string()));
    EXPECT_FALSE(HandOverPathAccepted((dir / "pipe.cam").string()));
    fs::create_symlink("/dev/zero", dir / "zero.cam");
    EXPECT_FALSE(HandOverPathAccepted((dir / "zero.cam").string()));
    // ".CAM" in a folder name does not make a file without extension acceptable.
    EXPECT_FALSE(HandOverPathAccepted((dir / "x.cam.d" / "noext").string()));
    EXPECT_FALSE(HandOverPathAccepted(""));
}

TEST(UpperExtension, FromLastDotOfTheNamePart) {
    EXPECT_EQ(UpperExtension("/a/b/pier.cam"), ".CAM");
    EXPECT_EQ(UpperExtension("/a/b.d/pier"), "");
    EXPECT_EQ(UpperExtension("pier.cam.txt"), ".TXT");
    EXPECT_EQ(UpperExtension("/a/.cam"), ".CAM");
    EXPECT_EQ(UpperExtension("/a/pier."), ".");
}

class HandOverChannel : public ::testing::Test {
protected:
    void SetUp() override {
        // Socket paths must be short: a fresh private folder below /tmp.
        char tmpl[] = "/tmp/ocelis-hoXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = (dir_ / "CAMVIEWER-test").string();
    }
    void TearDown() override { fs::remove_all(dir_); }
    // Serves on this thread until the sender has finished or the deadline passes.
    void Serve(THandOverServer& server, std::future<bool>& sent,
               const THandOverServer::THandler& handler) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (sent.wait_for(0s) != std::future_status::ready &&
               std::chrono::steady_clock::now() < deadline) {
            pollfd p{server.Fd(), POLLIN, 0};
            if (poll(&p, 1, 50) > 0)
                server.ServePending(handler);
        }
    }
    fs::path dir_;
    std::string path_;
};

TEST_F(HandOverChannel, DeliversTheArgumentAndWaitsForTheHandler) {
    THandOverServer server;
    server.Listen(path_);
    struct stat st {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u) << "socket reachable by other users";

    std::atomic<bool> handled{false};
    std::string got;
    uint32_t gotCb = 0;
    auto sent = std::async(std::launch::async,
                           [&] { return SendHandOver(path_, "/tmp/a b/pier.cam", 5s); });
    Serve(server, sent, [&](std::string_view data, uint32_t cb) {
        got = std::string(data);
        gotCb = cb;
        handled = true;
    });
    ASSERT_TRUE(sent.get());
    EXPECT_TRUE(handled);
    EXPECT_EQ(gotCb, 18u);
    EXPECT_EQ(got, std::string("/tmp/a b/pier.cam") + '\0');
    EXPECT_EQ(HandOverText(got, gotCb), "/tmp/a b/pier.cam");
}

TEST_F(HandOverChannel, HandlerErrorsAreSwallowedAndTheSenderStillEnds) {
    THandOverServer server;
    server.Listen(path_);
    auto sent = std::async(std::launch::async, [&] { return SendHandOver(path_, "x", 5s); });
    Serve(server, sent, [](std::string_view, uint32_t) { throw std::runtime_error("boom"); });
    EXPECT_TRUE(sent.get());
}

TEST_F(HandOverChannel, SenderGivesUpWithinItsBoundWhenNobodyListens) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(SendHandOver(path_, "x", 200ms));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}

TEST_F(HandOverChannel, SenderGivesUpWithinItsBoundWhenTheQueueIsFull) {
    // A running instance that serves nobody (its GUI thread is busy): once its queue is
    // full, a blocking connect() would wait for ever.
    THandOverServer server;
    server.Listen(path_);
    std::vector<int> queued;
    for (int i = 0; i < 64; ++i) {
        const int s = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path_.c_str());
        const bool ok = connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
        queued.push_back(s);
        if (!ok)
            break;
    }
    ASSERT_LT(queued.size(), 64u) << "the queue never filled";
    bool sent = true;
    EXPECT_TRUE(ocelis::test::EndsWithin(
        3s, [&] { sent = SendHandOver(path_, "x", 200ms); }, [&] { server.Close(); }));
    EXPECT_FALSE(sent);
    for (int s : queued)
        close(s);
}

TEST_F(HandOverChannel, SenderWaitsForAServerThatStartsLate) {
    auto sent = std::async(std::launch::async, [&] { return SendHandOver(path_, "late", 5s); });
    THandOverServer server;
    server.Listen(path_);
    std::string got;
    Serve(server, sent, [&](std::string_view data, uint32_t) { got = std::string(data); });
    EXPECT_TRUE(sent.get());
    EXPECT_EQ(got, std::string("late") + '\0');
}

TEST_F(HandOverChannel, StaleSocketFileIsReplaced) {
    Touch(path_);
    THandOverServer server;
    EXPECT_NO_THROW(server.Listen(path_));
    auto sent = std::async(std::launch::async, [&] { return SendHandOver(path_, "y", 5s); });
    bool handled = false;
    Serve(server, sent, [&](std::string_view, uint32_t) { handled = true; });
    EXPECT_TRUE(sent.get());
    EXPECT_TRUE(handled);
    server.Close();
    EXPECT_FALSE(fs::exists(path_));
}

TEST(InstanceLock, SecondHolderIsToldAndKernelDropsTheLockOfADeadProcess) {
    const fs::path dir = TestDir("lock");
    const std::string path = (dir / "CAMVIEWER-test.lock").string();

    // A child process takes the lock and is killed while holding it.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TInstanceLock lock;
        const char c = lock.Acquire(path) == TInstanceLock::TState::First ? '1' : '0';
        (void)!write(ready[1], &c, 1);
        for (;;)
            pause();
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, '1');
    {
        TInstanceLock second;
        EXPECT_EQ(second.Acquire(path), TInstanceLock::TState::Second);
        EXPECT_FALSE(second.Owned());
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(ready[0]);
    close(ready[1]);

    TInstanceLock after;
    EXPECT_EQ(after.Acquire(path), TInstanceLock::TState::First);
    EXPECT_TRUE(after.Owned());
}

TEST(InstanceLock, UnusablePathFails) {
    TInstanceLock lock;
    EXPECT_EQ(lock.Acquire("/nonexistent-folder-ocelis/x.lock"), TInstanceLock::TState::Failed);
}

TEST(InstanceFolder, UsesPrivateRuntimeFolderOrPrivateFallback) {
    char tmpl[] = "/tmp/ocelis-rtXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const fs::path dir = tmpl;
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old ? old : "";
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    EXPECT_EQ(InstanceFolder(), dir.string());

    // A folder others may enter is not used; the private fallback is.
    fs::permissions(dir, fs::perms::owner_all | fs::perms::others_exec);
    const std::string fallback = InstanceFolder();
    EXPECT_NE(fallback, dir.string());
    struct stat st {};
    ASSERT_EQ(lstat(fallback.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);
    EXPECT_EQ(st.st_uid, getuid());
    if (old)
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else
        unsetenv("XDG_RUNTIME_DIR");
    // A runtime folder too deep for a socket path is passed over too.
    const fs::path deep = dir / std::string(120, 'd');
    fs::create_directories(deep);
    fs::permissions(deep, fs::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", deep.c_str(), 1);
    EXPECT_NE(InstanceFolder(), deep.string());
    EXPECT_LT(InstanceFolder().size(), 80u);
    if (old)
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else
        unsetenv("XDG_RUNTIME_DIR");
    EXPECT_NE(InstancePath("/r", ".sock").find("/r/CAMVIEWER-"), std::string::npos);
    fs::remove_all(dir);
}
