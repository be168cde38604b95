// A viewer's new picture, from the JPEG bytes to the pixels drawn: decoded at full size (as
// before) or at the DCT scale the window needs, then scaled smoothly to the rectangle shown.
// Arguments: picture width and height, window picture area width and height. The counter
// "ssim" compares what the two ways draw (1 = the same); "held_kB" is the bitmap kept.
#include "imaging/Jpeg.h"
#include "imaging/QtBitmap.h"
#include "support/CameraPicture.h"
#include "viewer/OcImage.h"
#include "viewer/ZoomGeometry.h"

#include <QImage>
#include <benchmark/benchmark.h>
#include <map>
#include <utility>

namespace {

using ocelis::TBitmap;

const std::string& Jpeg(int w, int h) {
    static std::map<std::pair<int, int>, std::string> cache;
    std::string& jpeg = cache[{w, h}];
    if (jpeg.empty())
        jpeg = ocelis::test::NoisyCameraJpeg(w, h);
    return jpeg;
}

// As the picture control paints it at device pixel ratio 1.
QImage Drawn(const TBitmap& held, const ocelis::TZoomRect& r) {
    const QImage view = ocelis::ViewAsQImage(held);
    if (view.width() == r.Width && view.height() == r.Height)
        return view.copy();
    return view.scaled(r.Width, r.Height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

TBitmap Show(const std::string& jpeg, int w, int h, int cw, int ch, bool reduced) {
    const ocelis::TZoomRect r = ocelis::ZoomRectangle(cw, ch, w, h);
    const int scale = reduced ? ocelis::ViewerDecodeScale(cw, ch, w, h, 1.0) : 1;
    return ocelis::FromQImage(Drawn(ocelis::DecodeJpegAtScale(jpeg, scale), r));
}

void Run(benchmark::State& state, bool reduced) {
    const int w = int(state.range(0)), h = int(state.range(1));
    const int cw = int(state.range(2)), ch = int(state.range(3));
    const std::string& jpeg = Jpeg(w, h);
    for (auto _ : state) {
        TBitmap shown = Show(jpeg, w, h, cw, ch, reduced);
        benchmark::DoNotOptimize(shown.Pixels.data());
    }
    const int scale = reduced ? ocelis::ViewerDecodeScale(cw, ch, w, h, 1.0) : 1;
    state.counters["scale"] = scale;
    state.counters["held_kB"] =
        double(ocelis::JpegScaledLength(w, scale)) * ocelis::JpegScaledLength(h, scale) * 3 / 1024;
    state.counters["ssim"] =
        ocelis::test::Ssim(Show(jpeg, w, h, cw, ch, false), Show(jpeg, w, h, cw, ch, true));
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"w", "h", "cw", "ch"})->Unit(benchmark::kMillisecond);
    for (auto [w, h] : {std::pair{1280, 720}, std::pair{1920, 1080}}) {
        b->Args({w, h, 320, 221}); // a 320x240 viewer with its status bar
        b->Args({w, h, 640, 461}); // 640x480
        b->Args({w, h, w, h});     // 100 %
    }
}

void BM_ShowFullDecode(benchmark::State& state) {
    Run(state, false);
}
BENCHMARK(BM_ShowFullDecode)->Apply(Sizes);

void BM_ShowReducedDecode(benchmark::State& state) {
    Run(state, true);
}
BENCHMARK(BM_ShowReducedDecode)->Apply(Sizes);

} // namespace

BENCHMARK_MAIN();
