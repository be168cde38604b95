// The real binary as separate processes: single instance and hand-over, a killed first
// instance, termination by signal, and exit while viewers wait on a stalled server.
#include "E2eSupport.h"

#include <arpa/inet.h>
#include <atomic>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

using namespace ocelis::e2e;

namespace {

// Accepts connections and never answers.
class StalledServer {
public:
    StalledServer() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(fd_, 16);
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            while (!stop_) {
                pollfd p{fd_, POLLIN, 0};
                if (poll(&p, 1, 20) > 0) {
                    const int c = accept(fd_, nullptr, nullptr);
                    if (c >= 0) {
                        held_.push_back(c);
                        ++accepted_;
                    }
                }
            }
        });
    }
    ~StalledServer() {
        stop_ = true;
        thread_.join();
        for (int c : held_)
            close(c);
        close(fd_);
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/cam.jpg"; }
    int Accepted() const { return accepted_; }

private:
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::vector<int> held_;
    std::thread thread_;
};

std::string TestName() {
    return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

} // namespace

TEST(Process, SecondStartWithoutArgumentEndsAtOnceAndChangesNothing) {
    Sandbox box(TestName());
    Process first;
    ASSERT_TRUE(box.StartReady(first, {}, "first")) << ReadFileBytes(box.Log("first"));
    Process second;
    ASSERT_TRUE(second.Start({box.exe.string()}, box.Env(), box.Log("second")));
    EXPECT_EQ(second.WaitExit(5s), 0);
    EXPECT_TRUE(first.Running());
    first.Signal(SIGTERM);
    ASSERT_EQ(first.WaitExit(10s), 0);
    const std::string options = ReadFileBytes(box.Options());
    EXPECT_NE(options.find("<Options>"), std::string::npos);
    EXPECT_EQ(options.find("Imported"), std::string::npos);
}

TEST(Process, LaterStartsHandTheirArgumentOverAndWaitForTheImport) {
    Sandbox box(TestName());
    WriteFileBytes(box.root / "pier.cam", CamFileText("Pier", "http://127.0.0.1:9/pier.jpg"));
    WriteFileBytes(box.root / "PIER2.CAM", CamFileText("Upper", "http://127.0.0.1:9/upper.jpg"));
    WriteFileBytes(box.root / "other.cam.txt", CamFileText("Text", "http://127.0.0.1:9/t.jpg"));
    Process first;
    ASSERT_TRUE(box.StartReady(first, {}, "first")) << ReadFileBytes(box.Log("first"));
    for (const char* file : {"pier.cam", "PIER2.CAM", "other.cam.txt", "missing.cam"}) {
        Process later;
        ASSERT_TRUE(later.Start({box.exe.string(), (box.root / file).string(), "extra"}, box.Env(),
                                box.Log("later")));
        EXPECT_EQ(later.WaitExit(10s), 0) << file;
    }
    EXPECT_TRUE(first.Running());
    first.Signal(SIGTERM);
    ASSERT_EQ(first.WaitExit(10s), 0);
    const std::string options = ReadFileBytes(box.Options());
    EXPECT_NE(options.find("Name=\"Pier\""), std::string::npos) << options;
    EXPECT_NE(options.find("Name=\"Upper\""), std::string::npos) << options;
    EXPECT_EQ(options.find("Name=\"Text\""), std::string::npos) << options;
}

TEST(Process, KilledFirstInstanceLeavesNoStaleLock) {
    Sandbox box(TestName());
    {
        Process first;
        ASSERT_TRUE(box.StartReady(first, {}, "first")) << ReadFileBytes(box.Log("first"));
        first.Signal(SIGKILL);
        ASSERT_TRUE(first.WaitExit(5s).has_value());
    }
    EXPECT_FALSE(fs::exists(box.Options())); // killed: nothing saved
    WriteFileBytes(box.root / "a.cam", CamFileText("After", "http://127.0.0.1:9/a.jpg"));
    Process next;
    ASSERT_TRUE(box.StartReady(next, {}, "next")) << ReadFileBytes(box.Log("next"));
    // The new instance took the lock and serves hand-overs over a fresh socket.
    Process later;
    ASSERT_TRUE(later.Start({box.exe.string(), (box.root / "a.cam").string()}, box.Env(),
                            box.Log("later")));
    EXPECT_EQ(later.WaitExit(10s), 0);
    next.Signal(SIGTERM);
    ASSERT_EQ(next.WaitExit(10s), 0);
    EXPECT_NE(ReadFileBytes(box.Options()).find("Name=\"After\""), std::string::npos);
}

TEST(Process, TerminationSignalsSaveTheSettings) {
    for (int sig : {SIGTERM, SIGINT}) {
        Sandbox box(TestName() + std::to_string(sig));
        WriteFileBytes(box.Options(), "<Options><Category/><FirstLaunch>-1</FirstLaunch>"
                                      "<Language>/nowhere.xml</Language></Options>");
        Process p;
        ASSERT_TRUE(box.StartReady(p, {}, "run")) << ReadFileBytes(box.Log("run"));
        p.Signal(sig);
        ASSERT_EQ(p.WaitExit(10s), 0) << sig;
        const std::string options = ReadFileBytes(box.Options());
        EXPECT_NE(options.find("<FirstLaunch>0</FirstLaunch>"), std::string::npos) << options;
        // Read with the missing-element defaults, written back as they are.
        EXPECT_NE(options.find("<AlwaysOnTop>-1</AlwaysOnTop>"), std::string::npos) << options;
        EXPECT_NE(options.find("<Language>/nowhere.xml</Language>"), std::string::npos);
    }
}

TEST(Process, ExitWithViewersOnAStalledServerIsQuick) {
    Sandbox box(TestName());
    StalledServer stalled;
    std::string cams;
    for (int i = 0; i < 3; ++i)
        cams += "<Cam Name=\"S" + std::to_string(i) + "\" Url=\"" + stalled.Url() + "?" +
                std::to_string(i) + "\" Refresh=\"30\"/>";
    WriteFileBytes(box.Options(),
                   "<Options><Category Name=\"\"><Cams>" + cams + "</Cams></Category></Options>");
    WriteFileBytes(box.root / "s.cam", CamFileText("Stalled", stalled.Url()));
    Process p;
    ASSERT_TRUE(box.StartReady(p, {(box.root / "s.cam").string()}, "run"))
        << ReadFileBytes(box.Log("run"));
    // A second viewer through the hand-over.
    WriteFileBytes(box.root / "t.cam", CamFileText("Stalled too", stalled.Url() + "?t"));
    Process later;
    ASSERT_TRUE(later.Start({box.exe.string(), (box.root / "t.cam").string()}, box.Env(),
                            box.Log("later")));
    EXPECT_EQ(later.WaitExit(10s), 0);
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return stalled.Accepted() >= 2; }, 10s));
    const auto start = std::chrono::steady_clock::now();
    p.Signal(SIGTERM);
    ASSERT_EQ(p.WaitExit(10s), 0) << ReadFileBytes(box.Log("run"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
    EXPECT_NE(ReadFileBytes(box.Options()).find("Name=\"Stalled too\""), std::string::npos);
}

TEST(Process, WithoutADisplayItSaysWhatToDo) {
    Sandbox box(TestName());
    Process p;
    ASSERT_TRUE(p.Start({box.exe.string()}, box.Env(false), box.Log("run")));
    EXPECT_EQ(p.WaitExit(10s), 1);
    EXPECT_NE(ReadFileBytes(box.Log("run")).find("xvfb-run"), std::string::npos);
}

TEST(Process, AHugeCamFileHandedOverIsRefusedAndTheSessionKept) {
    Sandbox box(TestName());
    const std::string longName = "Long" + std::string(900000, 'l') + "End";
    WriteFileBytes(box.root / "pier.cam", CamFileText("Pier", "http://127.0.0.1:9/pier.jpg"));
    WriteFileBytes(box.root / "long.cam", CamFileText(longName, "http://127.0.0.1:9/long.jpg"));
    WriteFileBytes(box.root / "huge.cam",
                   CamFileText(std::string(16u << 20, 'h'), "http://127.0.0.1:9/huge.jpg"));
    Process first;
    ASSERT_TRUE(box.StartReady(first, {}, "first")) << ReadFileBytes(box.Log("first"));
    for (const char* file : {"pier.cam", "long.cam", "huge.cam"}) {
        Process later;
        ASSERT_TRUE(later.Start({box.exe.string(), (box.root / file).string()}, box.Env(),
                                box.Log("later")));
        EXPECT_EQ(later.WaitExit(20s), 0) << file;
    }
    ASSERT_TRUE(first.Running());
    first.Signal(SIGTERM);
    ASSERT_EQ(first.WaitExit(20s), 0);
    const std::string options = ReadFileBytes(box.Options());
    EXPECT_NE(options.find("Name=\"Pier\""), std::string::npos);
    EXPECT_NE(options.find("Name=\"" + longName + "\""), std::string::npos); // never cut
    EXPECT_EQ(options.find("huge.jpg"), std::string::npos);
}
