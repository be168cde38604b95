// The viewer against a stream of pictures served by ffmpeg's multipart muxer on loopback.
#include "viewer/ViewerWindow.h"

#include "net/HttpThread.h"
#include "settings/CamViewer.h"
#include "support/GuiFixture.h"
#include "support/LoopbackPort.h"
#include "support/TestFiles.h"
#include "support/WaitUntil.h"

#include <QPointer>
#include <QTest>
#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ocelis;
using namespace ocelis::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const char* const kFfmpeg = "/usr/bin/ffmpeg";

// ffmpeg serves one client and ends; a camera serves many: start it again after each.
class TFfmpegCamera {
public:
    explicit TFfmpegCamera(int port) : FPort(port), FLoop([this] { Loop(); }) {}
    ~TFfmpegCamera() {
        Stop();
        FLoop.join();
    }
    // No new server after the running one; true when that one has ended within the limit.
    bool EndsWithin(std::chrono::milliseconds limit) {
        FRestart = false;
        return WaitUntil([&] { return !FRunning.load(); }, limit);
    }
    int Started() const { return FStarted.load(); }

private:
    void Stop() {
        FRestart = false;
        std::lock_guard<std::mutex> lock(FMutex);
        if (FPid > 0)
            kill(FPid, SIGKILL);
    }
    void Loop() {
        const std::string url = "http://127.0.0.1:" + std::to_string(FPort) + "/";
        while (FRestart) {
            const pid_t pid = fork();
            if (pid == 0) {
                const int null = open("/dev/null", O_RDWR);
                dup2(null, STDIN_FILENO);
                dup2(null, STDOUT_FILENO);
                dup2(null, STDERR_FILENO);
                execl(kFfmpeg, kFfmpeg, "-loglevel", "error", "-re", "-f", "lavfi", "-i",
                      "testsrc2=size=640x480:rate=10", "-f", "mpjpeg", "-content_type",
                      "multipart/x-mixed-replace;boundary=ffmpeg", "-listen", "1", url.c_str(),
                      static_cast<char*>(nullptr));
                _exit(127);
            }
            {
                std::lock_guard<std::mutex> lock(FMutex);
                FPid = pid;
            }
            ++FStarted;
            FRunning = true;
            int status = 0;
            waitpid(pid, &status, 0);
            {
                std::lock_guard<std::mutex> lock(FMutex);
                FPid = -1;
            }
            FRunning = false;
        }
    }

    int FPort;
    std::atomic<bool> FRestart{true};
    std::atomic<bool> FRunning{false};
    std::atomic<int> FStarted{0};
    std::mutex FMutex;
    pid_t FPid = -1;
    std::thread FLoop;
};

class ViewerStreamTest : public TGuiFixture {
protected:
    void SetUp() override {
        if (access(kFfmpeg, X_OK) != 0)
            GTEST_SKIP() << "no " << kFfmpeg << "; ./setup.sh installs ffmpeg";
        TGuiFixture::SetUp();
        Settings = std::make_unique<TCamViewer>();
        Settings->Status = true;
        Settings->Beep = false;
        Settings->SaveImages = true;
        Settings->SubDirectory = false;
        Dir = FreshTestDir("viewer_stream");
        Settings->SavePath = Dir.string();
        CamViewer = Settings.get();
    }
    void TearDown() override {
        if (!Settings)
            return;
        delete Viewer.data();
        TGuiFixture::TearDown();
        CamViewer = nullptr;
    }

    std::unique_ptr<TCamViewer> Settings;
    fs::path Dir;
    QPointer<TfoViewer> Viewer;
};

} // namespace

TEST_F(ViewerStreamTest, ShowsChangingPicturesArchivesChangesAndClosesTheStream) {
    const int port = FreeLoopbackPort();
    TFfmpegCamera camera(port);
    TCamWebcam cam;
    cam.Name = "Stream";
    cam.Url = "http://127.0.0.1:" + std::to_string(port) + "/";
    // Brute refresh: ffmpeg ends after answering a HEAD, so a HEAD would take the server
    // away from the GET that follows it.
    cam.Refresh = -1;
    Viewer = new TfoViewer();
    Viewer->ThreadSetup = [](THttpThread& t) {
        t.Timing.Tick = 20ms;
        t.Timing.UnchangedPause = 50ms;
    };
    Viewer->SetWebcam(cam);
    Viewer->show();
    // testsrc2 changes every frame: each picture shown is a new one.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Viewer->ImageCount() >= 8; }, 60000))
        << "pictures: " << Viewer->ImageCount() << ", servers started: " << camera.Started();
    std::set<std::string> files;
    for (const auto& e : fs::directory_iterator(Dir))
        files.insert(ReadFileBytes(e.path()));
    std::size_t count = static_cast<std::size_t>(std::distance(fs::directory_iterator(Dir), {}));
    EXPECT_GE(count, 7u);
    EXPECT_EQ(files.size(), count); // no picture archived twice
    delete Viewer.data();
    // The server ends when its one client goes; a stream left open would keep it running.
    EXPECT_TRUE(camera.EndsWithin(10s));
}
