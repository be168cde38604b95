// One viewer of a stream, offscreen: a 640x480 clip at 25 pictures a second served by ffmpeg
// (copied, not encoded, so the server costs little), Refresh brute, for a given time (60 s by
// default). Prints the pictures painted a second, the viewer's CPU beside that of
// `ffmpeg -i URL -f null -` decoding a stream of the same clip at the same time, and the
// resident memory after 10 s and at the end.
//
//   bench_stream [seconds]
//
// Brute rather than 0: ffmpeg serves one client and ends, so a HEAD would take the server
// away from the GET after it; both intervals read a stream the same way.
#include "net/FetchThreadRegistry.h"
#include "net/HttpThread.h"
#include "net/QtSynchronizer.h"
#include "settings/CamViewer.h"
#include "support/LoopbackPort.h"
#include "viewer/ViewerWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char* const kFfmpeg = "/usr/bin/ffmpeg";

pid_t Spawn(const std::vector<std::string>& argv) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// ffmpeg serves one client and ends: started again after each.
class TServer {
public:
    TServer(std::string clip, int port)
        : FClip(std::move(clip)), FPort(port), FLoop([this] { Loop(); }) {}
    ~TServer() {
        FRun = false;
        if (const pid_t p = FPid.load(); p > 0)
            kill(p, SIGKILL);
        FLoop.join();
    }

private:
    void Loop() {
        const std::string url = "http://127.0.0.1:" + std::to_string(FPort) + "/";
        while (FRun) {
            const pid_t pid =
                Spawn({kFfmpeg, "-loglevel", "error", "-stream_loop", "-1", "-re", "-i", FClip,
                       "-c", "copy", "-f", "mpjpeg", "-content_type",
                       "multipart/x-mixed-replace;boundary=ffmpeg", "-listen", "1", url});
            FPid = pid;
            int status = 0;
            waitpid(pid, &status, 0);
            FPid = -1;
        }
    }
    std::string FClip;
    int FPort;
    std::atomic<bool> FRun{true};
    std::atomic<pid_t> FPid{-1};
    std::thread FLoop;
};

double CpuSecondsOf(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const std::size_t close = all.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i)
        if (i == 14 || i == 15)
            ticks += std::stol(field);
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double OwnCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double ResidentMb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

class TPaintCounter : public QObject {
public:
    int Paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            ++Paints;
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    if (access(kFfmpeg, X_OK) != 0) {
        std::printf("no %s: nothing measured\n", kFfmpeg);
        return 0;
    }
    char dirTemplate[] = "/tmp/ocelis-stream.XXXXXX";
    const std::string dir = mkdtemp(dirTemplate);
    const std::string clip = dir + "/clip.mjpeg";
    {
        const pid_t make = Spawn({kFfmpeg, "-loglevel", "error", "-f", "lavfi", "-i",
                                  "testsrc2=size=640x480:rate=25", "-t", "10", "-c:v", "mjpeg",
                                  "-q:v", "5", "-f", "mjpeg", clip});
        int status = 0;
        waitpid(make, &status, 0);
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    auto sync = ocelis::TQtSynchronizer::Install();
    TCamViewer settings;
    settings.SaveImages = false;
    settings.Beep = false;
    settings.Status = true;
    CamViewer = &settings;

    const int viewerPort = ocelis::test::FreeLoopbackPort();
    TServer viewerServer(clip, viewerPort);
    const int decoderPort = ocelis::test::FreeLoopbackPort();
    TServer decoderServer(clip, decoderPort);
    const std::string decoderUrl = "http://127.0.0.1:" + std::to_string(decoderPort) + "/";

    TCamWebcam cam;
    cam.Name = "Stream";
    cam.Url = "http://127.0.0.1:" + std::to_string(viewerPort) + "/";
    cam.Refresh = -1;
    QPointer<TfoViewer> viewer = new TfoViewer();
    viewer->SetWebcam(cam);
    viewer->show();
    TPaintCounter counter;
    if (QWidget* image = viewer->findChild<QWidget*>(QStringLiteral("CamImage")))
        image->installEventFilter(&counter);

    // Measured from the first picture on, with the decoder started at the same moment.
    QElapsedTimer clock;
    clock.start();
    // Waits on events rather than polling for them: a busy loop here would be measured.
    QTimer wake;
    wake.start(100);
    while (viewer->ImageCount() == 0 && clock.elapsed() < 30000)
        app.processEvents(QEventLoop::WaitForMoreEvents);
    wake.stop();
    pid_t decoder = -1;
    for (int i = 0; i < 50 && decoder < 0; ++i) {
        decoder = Spawn({kFfmpeg, "-loglevel", "error", "-i", decoderUrl, "-f", "null", "-"});
        usleep(200000);
        int status = 0;
        if (waitpid(decoder, &status, WNOHANG) == decoder)
            decoder = -1; // not listening yet
    }
    const int images0 = viewer->ImageCount();
    const int paints0 = counter.Paints;
    const double cpu0 = OwnCpuSeconds();
    const double decoderCpu0 = decoder > 0 ? CpuSecondsOf(decoder) : 0;
    double rss10 = 0;
    clock.restart();
    QTimer::singleShot(10000, [&] { rss10 = ResidentMb(); });
    // A loop of its own: quitting the application would close the viewer.
    QEventLoop run;
    QTimer::singleShot(seconds * 1000, &run, &QEventLoop::quit);
    run.exec();
    if (!viewer) {
        std::printf("the viewer closed\n");
        return 1;
    }
    const double elapsed = static_cast<double>(clock.elapsed()) / 1000.0;
    const double cpu = OwnCpuSeconds() - cpu0;
    const double decoderCpu = decoder > 0 ? CpuSecondsOf(decoder) - decoderCpu0 : 0;
    const double rssEnd = ResidentMb();
    std::printf("%.0f s: %.1f new pictures a second, %.1f paints a second\n", elapsed,
                (viewer->ImageCount() - images0) / elapsed, (counter.Paints - paints0) / elapsed);
    std::printf("CPU: viewer %.1f %% of a core, ffmpeg decoding %.1f %% (ratio %.2f)\n",
                100 * cpu / elapsed, 100 * decoderCpu / elapsed,
                decoderCpu > 0 ? cpu / decoderCpu : 0.0);
    std::printf("RSS: %.1f MB after 10 s, %.1f MB at the end (%+.1f MB)\n", rss10, rssEnd,
                rssEnd - rss10);
    delete viewer.data();
    if (decoder > 0) {
        kill(decoder, SIGKILL);
        int status = 0;
        waitpid(decoder, &status, 0);
    }
    ocelis::ShutdownFetchThreads();
    std::remove(clip.c_str());
    rmdir(dir.c_str());
    return 0;
}
