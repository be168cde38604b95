// The catalogue editor at scale: 100,000 webcams spread over 100 categories, and all of them
// at the top level. LoadTree, show and the first paint; then ApplyTree and the save of
// Options.xml. Runs offscreen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "catalogue/CamCategory.h"
#include "catalogue/EditCams.h"
#include "platform/AppPaths.h"
#include "settings/CamViewer.h"

namespace {

void Fill(TCamCategory& root, int cams, int categories) {
    std::vector<TCamCategory*> into;
    for (int c = 0; c < categories; ++c) {
        TCamCategory* cat = root.Categories.Add();
        cat->Name = "Region " + std::to_string(c);
        into.push_back(cat);
    }
    if (into.empty())
        into.push_back(&root);
    for (int i = 0; i < cams; ++i) {
        TCamWebcam* cam = into[static_cast<size_t>(i) % into.size()]->Cams.Add();
        cam->Name = "Webcam number " + std::to_string(i);
        cam->Url = "http://webcams.example.com/cams/" + std::to_string(i) + "/current.jpg";
        cam->Refresh = 30 + i % 60;
        if (i % 2 == 0)
            cam->Homepage = "http://www.example.com/town/" + std::to_string(i) + ".html";
        cam->LastId = i % 3 == 0 ? 0 : i;
    }
}

// From creation to a painted window, and the window's destruction outside the timing.
void BM_LoadTreeAndShow(benchmark::State& state) {
    TCamCategory root;
    Fill(root, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        auto editor = std::make_unique<TfoEditCams>();
        editor->LoadTree(root);
        editor->show();
        editor->repaint();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(editor->CamList->topLevelItemCount());
        state.PauseTiming();
        editor.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LoadTreeAndShow)
    ->Args({100000, 100})
    ->Args({100000, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// What OK costs after a change: the catalogue rebuilt from the tree and written.
void BM_ApplyTreeAndSave(benchmark::State& state) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("ocelis-bench-editor-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    ocelis::SetAppDirOverride(dir);
    TCamViewer settings;
    Fill(*settings.RootCategory, static_cast<int>(state.range(0)),
         static_cast<int>(state.range(1)));
    TfoEditCams editor;
    editor.LoadTree(*settings.RootCategory);
    for (auto _ : state) {
        editor.Modified = true;
        editor.ApplyTree(*settings.RootCategory);
        settings.Save();
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(dir / "Options.xml"));
    ocelis::SetAppDirOverride({});
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ApplyTreeAndSave)
    ->Args({100000, 100})
    ->Args({100000, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
