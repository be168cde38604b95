// bench_avi [--mjpeg] [--frames N] OUT.avi DIR
// Writes DIR's *.jpg files, sorted by name (cycled to N frames when given), the way the
// creator does: Stretch off, a pause of 500 ms. Prints seconds and peak RSS.
#include "avi/AviWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    bool mjpeg = false;
    size_t frames = 0;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        if (std::strcmp(argv[i], "--mjpeg") == 0)
            mjpeg = true;
        else if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc)
            frames = std::strtoul(argv[++i], nullptr, 10);
    }
    if (argc - i != 2) {
        std::fprintf(stderr, "usage: bench_avi [--mjpeg] [--frames N] OUT.avi DIR\n");
        return 2;
    }
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(argv[i + 1]))
        if (e.path().extension() == ".jpg")
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    if (files.empty())
        return 2;
    for (size_t k = files.size(); k < frames; ++k)
        files.push_back(files[k % files.size()]);
    const auto start = std::chrono::steady_clock::now();
    try {
        ocelis::TAviWriter w(6400, 4800);
        w.FileName = argv[i];
        w.Stretch = false;
        w.FrameTime = 500;
        w.KeepJpeg = mjpeg;
        w.WriteJpegFiles(files);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    std::printf("%zu frames %.3f s, peak RSS %ld MB\n", files.size(), s, u.ru_maxrss / 1024);
    return 0;
}
