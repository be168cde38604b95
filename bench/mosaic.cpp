// The mosaic's scale goals, offscreen: open with 10,000 webcams (<= 0.5 s), one repaint
// while scrolling or resizing (<= 16 ms), GUI-thread time per fetched cell (<= 2 ms), and a
// full pass over 1,000 loopback webcams of 1280x720 with the resident memory it adds
// (<= 150 MB).
#include "gui/OcStatusBar.h"
#include "imaging/Jpeg.h"
#include "mosaic/MireWindow.h"
#include "net/FetchThreadRegistry.h"
#include "net/QtSynchronizer.h"
#include "settings/CamViewer.h"
#include "support/FakeGuiLoop.h"
#include "support/HttpTestServer.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
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

void BM_MosaicPass1000Loopback(benchmark::State& state) {
    const std::string& jpeg = Picture720();
    ocelis::test::HttpTestServer server([&jpeg](const ocelis::test::HttpRequestSeen& r) {
        ocelis::test::HttpAnswer a;
        if (r.Method == "HEAD")
            a.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(jpeg.size()) +
                   "\r\n\r\n");
        else
            a.Send(ocelis::test::MakeResponse(200, "OK", {}, jpeg));
        return a;
    });
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
