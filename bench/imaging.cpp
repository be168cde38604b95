// JPEG decode against libjpeg-turbo's own decode (the floor), thumbnails by DCT scaling
// against full decode plus scaling, and the image archive's number search.
#include "imaging/Jpeg.h"
#include "settings/CamViewer.h"
#include "viewer/ImageArchive.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <jpeglib.h>
#include <map>
#include <random>
#include <tuple>

namespace {

using ocelis::TBitmap;

// Something like a photograph: smooth shading and edges, plus sensor noise of +-noise
// levels per channel. Noise fills the blocks with high frequencies, which makes entropy
// decoding (the part DCT scaling cannot skip) the larger share of the work.
const std::string& TestJpeg(int w, int h, int noiseLevel = 6) {
    static std::map<std::tuple<int, int, int>, std::string> cache;
    auto& jpeg = cache[{w, h, noiseLevel}];
    if (jpeg.empty()) {
        TBitmap b;
        b.Resize(w, h);
        std::mt19937 rng(42);
        std::uniform_int_distribution<int> noise(-noiseLevel, noiseLevel);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t* p = b.Row(y) + x * 3;
                const double sky = 1.0 - double(y) / h;
                const bool building = (x / 37) % 3 == 0 && y > h / 3 + (x % 91);
                const int base = building ? 90 : int(120 + 100 * sky);
                p[0] = uint8_t(std::clamp(base - 30 + noise(rng), 0, 255));
                p[1] =
                    uint8_t(std::clamp(base + int(20 * std::sin(x / 17.0)) + noise(rng), 0, 255));
                p[2] = uint8_t(std::clamp(base + 40 + noise(rng), 0, 255));
            }
        jpeg = ocelis::EncodeJpeg(b);
    }
    return jpeg;
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->Args({640, 480})->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
}

// The thumbnail pair also on pictures without noise (third argument: noise level).
void ThumbSizes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"w", "h", "noise"})->Unit(benchmark::kMillisecond);
    for (int noise : {6, 0})
        b->Args({640, 480, noise})->Args({1280, 720, noise})->Args({1920, 1080, noise});
}

// libjpeg-turbo on its own: decode into a buffer that already exists, as fast as it goes.
void BM_LibjpegFloor(benchmark::State& state) {
    const std::string& jpeg = TestJpeg(int(state.range(0)), int(state.range(1)));
    std::vector<uint8_t> out(size_t(state.range(0)) * size_t(state.range(1)) * 3);
    std::vector<JSAMPROW> rows(size_t(state.range(1)));
    for (size_t y = 0; y < rows.size(); ++y)
        rows[y] = out.data() + y * size_t(state.range(0)) * 3;
    for (auto _ : state) {
        jpeg_decompress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size());
        jpeg_read_header(&cinfo, TRUE);
        cinfo.out_color_space = JCS_RGB;
        jpeg_start_decompress(&cinfo);
        while (cinfo.output_scanline < cinfo.output_height)
            jpeg_read_scanlines(&cinfo, rows.data() + cinfo.output_scanline,
                                cinfo.output_height - cinfo.output_scanline);
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(jpeg.size()));
}
BENCHMARK(BM_LibjpegFloor)->Apply(Sizes);

void BM_Decode(benchmark::State& state) {
    const std::string& jpeg = TestJpeg(int(state.range(0)), int(state.range(1)));
    for (auto _ : state) {
        TBitmap b = ocelis::DecodeJpeg(jpeg);
        benchmark::DoNotOptimize(b.Pixels.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(jpeg.size()));
}
BENCHMARK(BM_Decode)->Apply(Sizes);

// A thumbnail to fit 160 by 120: DCT-scaled decode, then the last step by box filter.
void BM_ThumbnailScaledDecode(benchmark::State& state) {
    const int w = int(state.range(0)), h = int(state.range(1));
    const std::string& jpeg = TestJpeg(w, h, int(state.range(2)));
    int32_t tw = 0, th = 0;
    ocelis::FitSize(w, h, 160, 120, tw, th);
    for (auto _ : state) {
        const TBitmap big = ocelis::DecodeJpegScaled(jpeg, tw, th);
        TBitmap t = ocelis::ScaleBitmap(big, tw, th);
        benchmark::DoNotOptimize(t.Pixels.data());
    }
}
BENCHMARK(BM_ThumbnailScaledDecode)->Apply(ThumbSizes);

void BM_ThumbnailFullDecodeAndScale(benchmark::State& state) {
    const int w = int(state.range(0)), h = int(state.range(1));
    const std::string& jpeg = TestJpeg(w, h, int(state.range(2)));
    int32_t tw = 0, th = 0;
    ocelis::FitSize(w, h, 160, 120, tw, th);
    for (auto _ : state) {
        const TBitmap big = ocelis::DecodeJpeg(jpeg);
        TBitmap t = ocelis::ScaleBitmap(big, tw, th);
        benchmark::DoNotOptimize(t.Pixels.data());
    }
}
BENCHMARK(BM_ThumbnailFullDecodeAndScale)->Apply(ThumbSizes);

void BM_Encode(benchmark::State& state) {
    const TBitmap b = ocelis::DecodeJpeg(TestJpeg(int(state.range(0)), int(state.range(1))));
    for (auto _ : state) {
        std::string j = ocelis::EncodeJpeg(b);
        benchmark::DoNotOptimize(j.data());
    }
}
BENCHMARK(BM_Encode)->Apply(Sizes);

// The archive with 10,000 images of the webcam on disk.
struct Archive {
    std::filesystem::path root;
    TCamViewer viewer;
    Archive() {
        root = std::filesystem::temp_directory_path() / "ocelis-bench-archive";
        std::filesystem::remove_all(root);
        viewer.SavePath = root.string();
        viewer.SubDirectory = true;
        std::filesystem::create_directories(root / "Harbour");
        for (int i = 1; i <= 10000; ++i)
            std::ofstream(ocelis::ArchiveFileName((root / "Harbour" / "Image ").string(), i))
                << "x";
    }
    ~Archive() { std::filesystem::remove_all(root); }
};

Archive& TheArchive() {
    static Archive a;
    return a;
}

const std::string kImage(30000, 'j');

// A new viewer's first image: the search walks over all 10,000 numbers.
void BM_SaveImageFirstCall(benchmark::State& state) {
    Archive& a = TheArchive();
    const auto written = a.root / "Harbour" / "Image 10001.jpg";
    int64_t events = 0;
    for (auto _ : state) {
        TCamWebcam cam;
        cam.Name = "Harbour";
        if (!a.viewer.SaveImage(cam, kImage, [&] { ++events; }))
            state.SkipWithError("SaveImage failed");
        state.PauseTiming();
        std::filesystem::remove(written);
        state.ResumeTiming();
    }
    state.counters["events/call"] = double(events) / double(state.iterations());
}
BENCHMARK(BM_SaveImageFirstCall)->Unit(benchmark::kMillisecond);

// The same viewer's later images: one existing and one missing number each.
void BM_SaveImageLaterCalls(benchmark::State& state) {
    Archive& a = TheArchive();
    TCamWebcam cam;
    cam.Name = "Harbour";
    a.viewer.SaveImage(cam, kImage); // the first call, not timed
    for (auto _ : state)
        if (!a.viewer.SaveImage(cam, kImage))
            state.SkipWithError("SaveImage failed");
    for (int i = 10001; i <= cam.LastId + 1; ++i)
        std::filesystem::remove(
            ocelis::ArchiveFileName((a.root / "Harbour" / "Image ").string(), i));
}
BENCHMARK(BM_SaveImageLaterCalls)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
