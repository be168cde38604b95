// The mosaic's scale goals, offscreen: open with 10,000 webcams (<= 0.5 s), one repaint
// while scrolling or resizing (<= 16 ms), GUI-thread time per fetched cell (<= 2 ms), and a
// full pass over 1,000 loopback webcams of 1280x720 with the resident memory it adds
// (<= 150 MB). Its pace: a full pass over 1,000 webcams on 50 ports with 10 dead ones and
// one dripping a byte a second (<= 3 s), against one thread going round the cells without
// pause; and one webcam on a local nginx, Refresh 5, for 60 s: the mosaic's CPU (<= 1 % of a
// core) and its fetches (<= 13), against the thread without pause.
#include "gui/OcStatusBar.h"
#include "imaging/Jpeg.h"
#include "mosaic/MireWindow.h"
#include "net/FetchThreadRegistry.h"
#include "net/QtSynchronizer.h"
#include "settings/CamViewer.h"
#include "support/FakeGuiLoop.h"
#include "support/HttpTestServer.h"
#include "support/LoopbackPort.h"

#include "net/ServerProcess.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <random>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double ResidentMb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

// A 1280x720 picture with detail, so that its JPEG is of a webcam's size.
const std::string& Picture720() {
    static const std::string jpeg = [] {
        ocelis::TBitmap b;
        b.Resize(1280, 720);
        std::mt19937 rng(7);
        for (int y = 0; y < b.Height; ++y)
            for (int x = 0; x < b.Width; ++x) {
                uint8_t* p = b.Row(y) + static_cast<size_t>(x) * 3;
                const auto noise = static_cast<int>(rng() % 48);
                p[0] = static_cast<uint8_t>((x / 5 + noise) & 255);
                p[1] = static_cast<uint8_t>((y / 3 + noise) & 255);
                p[2] = static_cast<uint8_t>(((x + y) / 7) & 255);
            }
        return ocelis::EncodeJpeg(b, 80);
    }();
    return jpeg;
}

void Catalogue(TCamViewer& settings, int count, const std::string& base) {
    settings.RootCategory = std::make_unique<TCamCategory>();
    TCamCategory* cat = settings.RootCategory->Categories.Add();
    for (int i = 0; i < count; ++i) {
        if (i % 100 == 0)
            cat = settings.RootCategory->Categories.Add();
        TCamWebcam* w = cat->Cams.Add();
        w->Name = "Webcam " + std::to_string(i);
        w->Url = base + "/cam" + std::to_string(i) + ".jpg";
        w->Refresh = 30;
    }
}

// A mosaic whose own thread hands nothing over.
void QuietThreads() {
    TfoMire::NewThread = [] {
        auto loop = std::make_shared<ocelis::FakeGuiLoop>();
        loop->Shutdown();
        return new TMireThread(loop);
    };
}

// Hands every cell a decoded picture as a fetch would (decoded once: the worker's part).
void FillCells(TfoMire& w, TMireThread& t) {
    const std::string& jpeg = Picture720();
    t.Index = -1;
    w.ThreadNext(t);
    const ocelis::TBitmap picture = ocelis::DecodeJpegScaled(jpeg, t.PictureWidth, t.PictureHeight);
    t.Index = -1;
    for (std::size_t i = 0; i < w.CellCount(); ++i) {
        w.ThreadNext(t);
        t.Answered = t.Downloaded = true;
        t.ContentLength = static_cast<int32_t>(jpeg.size());
        t.Data = jpeg;
        t.Picture = picture;
        w.ThreadImage(t);
    }
}

void BM_MosaicOpen10k(benchmark::State& state) {
    TCamViewer settings;
    Catalogue(settings, 10000, "http://127.0.0.1:9");
    CamViewer = &settings;
    QuietThreads();
    for (auto _ : state) {
        auto* w = new TfoMire();
        w->show();
        QApplication::processEvents();
        state.PauseTiming();
        delete w;
        QApplication::processEvents();
        state.ResumeTiming();
    }
    CamViewer = nullptr;
}

void BM_MosaicRepaint10k(benchmark::State& state) {
    TCamViewer settings;
    Catalogue(settings, 10000, "http://127.0.0.1:9");
    CamViewer = &settings;
    QuietThreads();
    auto* w = new TfoMire();
    w->resize(static_cast<int>(state.range(0)), static_cast<int>(state.range(0) * 3 / 4));
    w->show();
    QApplication::processEvents();
    TMireThread t;
    FillCells(*w, t);
    QApplication::processEvents();
    const bool resizing = state.range(1) == 1;
    int step = 0;
    for (auto _ : state) {
        ++step;
        if (resizing)
            w->resize(static_cast<int>(state.range(0)) - (step % 2) * 40,
                      static_cast<int>(state.range(0) * 3 / 4));
        else
            w->CamGrid->SetTopRow((step * 37) % 1600);
        w->CamGrid->viewport()->repaint();
    }
    state.SetLabel(resizing ? "resizing" : "scrolling");
    delete w;
    CamViewer = nullptr;
}

void BM_MosaicGuiPerFetchedCell(benchmark::State& state) {
    TCamViewer settings;
    Catalogue(settings, 10000, "http://127.0.0.1:9");
    CamViewer = &settings;
    QuietThreads();
    auto* w = new TfoMire();
    w->show();
    QApplication::processEvents();
    TMireThread t;
    t.Index = -1;
    const std::string& jpeg = Picture720();
    w->ThreadNext(t);
    const ocelis::TBitmap picture = ocelis::DecodeJpegScaled(jpeg, t.PictureWidth, t.PictureHeight);
    t.Data = jpeg;
    for (auto _ : state) {
        // What the worker leaves on the thread for the hand-over.
        state.PauseTiming();
        t.Answered = t.Downloaded = true;
        t.ContentLength = static_cast<int32_t>(jpeg.size());
        t.Picture = picture;
        state.ResumeTiming();
        w->ThreadImage(t);
        w->ThreadNext(t);
        QApplication::processEvents(); // the repaint of the two cells and the status bar
    }
    delete w;
    CamViewer = nullptr;
}

// A webcam that answers HEAD with the picture's length and GET with the picture.
ocelis::test::HttpTestServer::Handler PictureHandler(const std::string& jpeg) {
    return [&jpeg](const ocelis::test::HttpRequestSeen& r) {
        ocelis::test::HttpAnswer a;
        if (r.Method == "HEAD")
            a.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(jpeg.size()) +
                   "\r\n\r\n");
        else
            a.Send(ocelis::test::MakeResponse(200, "OK", {}, jpeg));
        return a;
    };
}

void BM_MosaicPass1000Loopback(benchmark::State& state) {
    const std::string& jpeg = Picture720();
    ocelis::test::HttpTestServer server(PictureHandler(jpeg));
    server.SetRecording(false);
    TCamViewer settings;
    Catalogue(settings, 1000, server.Url(""));
    CamViewer = &settings;
    TfoMire::NewThread = nullptr;
    for (auto _ : state) {
        QApplication::processEvents();
        const double before = ResidentMb();
        const auto began = Clock::now();
        auto* w = new TfoMire();
        w->show();
        std::size_t filled = 0;
        while (filled < w->CellCount()) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
            filled = 0;
            for (std::size_t i = 0; i < w->CellCount(); ++i)
                filled += !w->Cell(i).Image.Empty();
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
        const double after = ResidentMb();
        state.counters["pass_s"] = seconds;
        state.counters["ms_per_webcam"] = seconds * 1000.0 / 1000.0;
        state.counters["rss_before_MB"] = before;
        state.counters["rss_added_MB"] = after - before;
        state.counters["jpeg_KB"] = static_cast<double>(jpeg.size()) / 1024.0;
        delete w;
        ocelis::TFetchThreadRegistry::Instance().WaitUntilEmpty(std::chrono::seconds(10));
    }
    CamViewer = nullptr;
}

// ---- the pace of fetching ----

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// 989 webcams over 50 live ports, 10 on dead ports of their own, the last one dripping.
struct TSpreadServers {
    std::vector<std::unique_ptr<ocelis::test::HttpTestServer>> Live;
    std::unique_ptr<ocelis::test::HttpTestServer> Drip;
    std::vector<std::string> Urls;

    TSpreadServers() {
        const std::string& jpeg = Picture720();
        for (int i = 0; i < 50; ++i) {
            Live.push_back(std::make_unique<ocelis::test::HttpTestServer>(PictureHandler(jpeg)));
            Live.back()->SetRecording(false);
        }
        Drip = std::make_unique<ocelis::test::HttpTestServer>(
            [](const ocelis::test::HttpRequestSeen&) {
                ocelis::test::HttpAnswer a;
                a.Drip("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\npict", std::chrono::seconds(1));
                return a;
            });
        for (int i = 0; i < 989; ++i)
            Urls.push_back(
                Live[static_cast<std::size_t>(i % 50)]->Url("/cam" + std::to_string(i) + ".jpg"));
        for (int i = 0; i < 10; ++i)
            Urls.push_back("http://127.0.0.1:" + std::to_string(ocelis::test::FreeLoopbackPort()) +
                           "/dead.jpg");
        Urls.push_back(Drip->Url("/drip.jpg"));
    }
};

void SpreadCatalogue(TCamViewer& settings, const std::vector<std::string>& urls) {
    settings.RootCategory = std::make_unique<TCamCategory>();
    TCamCategory* cat = settings.RootCategory->Categories.Add();
    for (std::size_t i = 0; i < urls.size(); ++i) {
        TCamWebcam* w = cat->Cams.Add();
        w->Name = "Webcam " + std::to_string(i);
        w->Url = urls[i];
        w->Refresh = 1;
    }
}

// Every webcam but the dripping one has had a fetch handed over: a picture, or a failure.
void BM_MosaicPass1000Over50Ports(benchmark::State& state) {
    TSpreadServers servers;
    TCamViewer settings;
    SpreadCatalogue(settings, servers.Urls);
    CamViewer = &settings;
    TfoMire::NewThread = nullptr;
    for (auto _ : state) {
        const auto began = Clock::now();
        auto* w = new TfoMire();
        w->show();
        std::size_t done = 0, pictures = 0;
        const std::size_t others = w->CellCount() - 1;
        while (done < others) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
            done = pictures = 0;
            for (std::size_t i = 0; i < others; ++i) {
                done += w->Cell(i).Fetched;
                pictures += !w->Cell(i).Image.Empty();
            }
        }
        const double pass = std::chrono::duration<double>(Clock::now() - began).count();
        // The dripping webcam's own fetch ends at the bound.
        while (!w->Cell(others).Fetched)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        state.counters["pass_s"] = pass;
        state.counters["pictures"] = static_cast<double>(pictures);
        state.counters["drip_done_s"] = std::chrono::duration<double>(Clock::now() - began).count();
        delete w;
        ocelis::TFetchThreadRegistry::Instance().WaitUntilEmpty(std::chrono::seconds(20));
    }
    CamViewer = nullptr;
}

// One thread going round the cells without pause, as the mosaic fetched before.
struct TRoundRobin {
    std::vector<std::string> Urls;
    std::vector<int32_t> Lengths;
    std::vector<ocelis::TModifiedDate> Dates;
    std::size_t Handed = 0;

    TMireThread* Start() {
        Lengths.assign(Urls.size(), 0);
        Dates.assign(Urls.size(), {});
        auto* t = new TMireThread();
        t->Timing.FetchTimeLimit = t->Timing.RequestTimeLimit; // no whole-fetch bound then
        t->PictureWidth = 61;
        t->PictureHeight = 44;
        t->OnImage = [this](TMireThread& s) {
            ++Handed;
            Lengths[static_cast<std::size_t>(s.Index)] = s.ContentLength;
            Dates[static_cast<std::size_t>(s.Index)] = s.LastModified;
        };
        t->OnNext = [this](TMireThread& s) { Next(s); };
        t->Index = -1;
        Next(*t);
        t->Resume();
        return t;
    }
    void Next(TMireThread& s) {
        s.Index = s.Index + 1 >= static_cast<int32_t>(Urls.size()) ? 0 : s.Index + 1;
        const auto i = static_cast<std::size_t>(s.Index);
        s.Url = Urls[i];
        s.ContentLength = Lengths[i];
        s.LastModified = Dates[i];
    }
};

// Before: the same webcams less the dripping one (which alone would hold each pass for its
// whole requests, a minute or more), in the same window, fetched by one thread going round
// the cells without pause as the mosaic did.
void BM_MosaicPass1000Over50PortsOneThread(benchmark::State& state) {
    TSpreadServers servers;
    servers.Urls.pop_back();
    TCamViewer settings;
    SpreadCatalogue(settings, servers.Urls);
    CamViewer = &settings;
    QuietThreads();
    for (auto _ : state) {
        const auto began = Clock::now();
        auto* w = new TfoMire();
        w->show();
        auto* t = new TMireThread();
        t->Timing.FetchTimeLimit = t->Timing.RequestTimeLimit; // no whole-fetch bound then
        t->Index = -1;
        t->OnImage = [w](TMireThread& s) { w->ThreadImage(s); };
        t->OnNext = [w](TMireThread& s) { w->ThreadNext(s); };
        w->ThreadNext(*t);
        TMireThreadRef ref(t);
        t->Resume();
        std::size_t done = 0;
        while (done < w->CellCount()) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
            done = 0;
            for (std::size_t i = 0; i < w->CellCount(); ++i)
                done += w->Cell(i).Fetched;
        }
        state.counters["pass_s"] = std::chrono::duration<double>(Clock::now() - began).count();
        ref.Stop();
        delete w;
        ocelis::TFetchThreadRegistry::Instance().WaitUntilEmpty(std::chrono::seconds(20));
    }
    TfoMire::NewThread = nullptr;
    CamViewer = nullptr;
}

// nginx on loopback with its own configuration in a fresh folder, serving www/cam.jpg.
class TNginx {
public:
    TNginx() {
        for (const char* p : {"/usr/sbin/nginx", "/usr/bin/nginx", "/usr/local/sbin/nginx"})
            if (std::filesystem::exists(p))
                FBinary = p;
        if (FBinary.empty())
            return;
        char tmpl[] = "/tmp/ocelis-nginx-XXXXXX";
        if (!mkdtemp(tmpl))
            return;
        FDir = tmpl;
        std::filesystem::create_directories(FDir / "www");
        std::ofstream(FDir / "www" / "cam.jpg", std::ios::binary) << Picture720();
        Port = static_cast<uint16_t>(ocelis::test::FreeLoopbackPort());
        const std::string d = FDir.string();
        std::ofstream(FDir / "nginx.conf")
            << "daemon off;\nmaster_process off;\nworker_processes 1;\npid " << d
            << "/nginx.pid;\nerror_log " << d << "/error.log;\nevents { worker_connections 256; }\n"
            << "http {\n  access_log " << d << "/access.log;\n  client_body_temp_path " << d
            << "/t1;\n  proxy_temp_path " << d << "/t2;\n  fastcgi_temp_path " << d
            << "/t3;\n  uwsgi_temp_path " << d << "/t4;\n  scgi_temp_path " << d
            << "/t5;\n  server {\n    listen 127.0.0.1:" << Port << ";\n    root " << d
            << "/www;\n  }\n}\n";
        FProcess = std::make_unique<ocelis::test::TServerProcess>(std::vector<std::string>{
            FBinary, "-p", d, "-c", d + "/nginx.conf", "-e", d + "/error.log"});
        Ready = ocelis::test::WaitUntil(
            [&] {
                const int fd = socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in a{};
                a.sin_family = AF_INET;
                a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                a.sin_port = htons(Port);
                const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
                close(fd);
                return ok;
            },
            std::chrono::seconds(10));
    }
    ~TNginx() {
        FProcess.reset();
        if (!FDir.empty())
            std::filesystem::remove_all(FDir);
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(Port) + "/cam.jpg"; }
    // Requests of each method in the access log so far.
    std::pair<int, int> HeadsAndGets() const {
        std::ifstream log(FDir / "access.log");
        std::string line;
        int heads = 0, gets = 0;
        while (std::getline(log, line)) {
            heads += line.find("\"HEAD ") != std::string::npos;
            gets += line.find("\"GET ") != std::string::npos;
        }
        return {heads, gets};
    }

    bool Ready = false;
    uint16_t Port = 0;

private:
    std::string FBinary;
    std::filesystem::path FDir;
    std::unique_ptr<ocelis::test::TServerProcess> FProcess;
};

void RunLoop(std::chrono::milliseconds d) {
    QEventLoop loop;
    QTimer::singleShot(d, &loop, &QEventLoop::quit);
    loop.exec();
}

// One webcam, picture unchanged, Refresh 5, for state.range(0) seconds: the process's CPU
// (the mosaic's: nginx is a process of its own) and the fetches nginx saw.
void BM_MosaicOneNginxWebcam(benchmark::State& state) {
    TNginx nginx;
    if (!nginx.Ready) {
        state.SkipWithError("nginx did not start (is it installed?)");
        return;
    }
    TCamViewer settings;
    settings.RootCategory = std::make_unique<TCamCategory>();
    TCamWebcam* cam = settings.RootCategory->Cams.Add();
    cam->Url = nginx.Url();
    cam->Refresh = 5;
    CamViewer = &settings;
    TfoMire::NewThread = nullptr;
    const std::chrono::seconds span(state.range(0));
    for (auto _ : state) {
        const double cpu = CpuSeconds();
        auto* w = new TfoMire();
        w->show();
        RunLoop(span);
        const double used = CpuSeconds() - cpu;
        delete w;
        ocelis::TFetchThreadRegistry::Instance().WaitUntilEmpty(std::chrono::seconds(20));
        const auto [heads, gets] = nginx.HeadsAndGets();
        state.counters["cpu_pct_of_core"] = 100.0 * used / static_cast<double>(span.count());
        state.counters["fetches"] = heads; // each fetch begins with its HEAD
        state.counters["gets"] = gets;
    }
    CamViewer = nullptr;
}

// Before: the same webcam fetched by one thread without pause, for state.range(0) seconds.
void BM_MosaicOneNginxWebcamOneThread(benchmark::State& state) {
    TNginx nginx;
    if (!nginx.Ready) {
        state.SkipWithError("nginx did not start (is it installed?)");
        return;
    }
    const std::chrono::seconds span(state.range(0));
    for (auto _ : state) {
        TRoundRobin rr;
        rr.Urls = {nginx.Url()};
        const double cpu = CpuSeconds();
        TMireThreadRef ref(rr.Start());
        RunLoop(span);
        ref.Stop();
        const double used = CpuSeconds() - cpu;
        ocelis::TFetchThreadRegistry::Instance().WaitUntilEmpty(std::chrono::seconds(20));
        const auto [heads, gets] = nginx.HeadsAndGets();
        state.counters["cpu_pct_of_core"] = 100.0 * used / static_cast<double>(span.count());
        state.counters["requests_per_s"] =
            static_cast<double>(heads + gets) / static_cast<double>(span.count());
        state.counters["fetches"] = heads;
    }
}

} // namespace

BENCHMARK(BM_MosaicOpen10k)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_MosaicRepaint10k)
    ->Args({438, 0})
    ->Args({438, 1})
    ->Args({1280, 0})
    ->Args({1280, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_MosaicGuiPerFetchedCell)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_MosaicPass1000Loopback)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_MosaicPass1000Over50Ports)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_MosaicPass1000Over50PortsOneThread)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_MosaicOneNginxWebcam)->Arg(60)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_MosaicOneNginxWebcamOneThread)
    ->Arg(5)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    auto sync = ocelis::TQtSynchronizer::Install();
    Picture720();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ocelis::ShutdownFetchThreads();
    return 0;
}
