// Options.xml with 1,000 / 10,000 / 100,000 webcams over 56 categories two levels deep:
// our Load and Save against pugixml's parse and save of the same bytes, and the memory a
// loaded catalogue takes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "catalogue/CamCategory.h"
#include "catalogue/XmlDocument.h"
#include "platform/AppPaths.h"
#include "settings/CamViewer.h"

namespace {

constexpr int TopCategories = 7;
constexpr int SubCategories = 7; // 7 + 7 * 7 = 56 categories

void FillCatalogue(TCamCategory& root, int cams) {
    std::vector<TCamCategory*> leaves;
    for (int t = 0; t < TopCategories; ++t) {
        TCamCategory* top = root.Categories.Add();
        top->Name = "Region " + std::to_string(t);
        for (int s = 0; s < SubCategories; ++s) {
            TCamCategory* sub = top->Categories.Add();
            sub->Name = top->Name + " / Town " + std::to_string(s);
            leaves.push_back(sub);
        }
    }
    for (int i = 0; i < cams; ++i) {
        TCamWebcam* cam = leaves[static_cast<size_t>(i) % leaves.size()]->Cams.Add();
        cam->Name = "Webcam number " + std::to_string(i) + (i % 10 == 0 ? " & harbour" : "");
        cam->Url = "http://webcams.example.com/cams/" + std::to_string(i) + "/current.jpg";
        cam->Refresh = 30 + i % 60;
        if (i % 2 == 0)
            cam->Homepage = "http://www.example.com/town/" + std::to_string(i) + ".html";
        if (i % 7 == 0)
            cam->Email = "webmaster" + std::to_string(i) + "@example.com";
        if (i % 5 == 0)
            cam->Referer = "http://www.example.com/";
        cam->LastId = i % 3 == 0 ? 0 : i;
    }
}

// Options.xml around the given catalogue element, with the settings the program writes.
std::string OptionsWith(std::unique_ptr<TOcSimpleXmlElem> category) {
    TOcSimpleXml doc;
    doc.Root()->SetName("Options");
    TOcSimpleXmlElems& items = doc.Root()->Items();
    items.Add(std::move(category));
    items.Add("AlwaysOnTop", false);
    items.Add("SaveImages", false);
    items.Add("SavePath", "/home/user/Webcams");
    items.Add("Beep", false);
    items.Add("PropResize", true);
    items.Add("Status", true);
    items.Add("SubDirectory", false);
    items.Add("FirstLaunch", "0");
    items.Add("Language", "");
    items.Add("LaunchWindows", false);
    return doc.SaveToString();
}

std::string OptionsBytes(const TCamCategory& root) {
    return OptionsWith(root.SaveToXml());
}

const std::string& Bytes(int cams) {
    static std::map<int, std::string> cache;
    auto it = cache.find(cams);
    if (it == cache.end()) {
        TCamCategory root;
        FillCatalogue(root, cams);
        it = cache.emplace(cams, OptionsBytes(root)).first;
    }
    return it->second;
}

// What TCamViewer::Load does after reading the file.
void LoadSettings(std::string_view bytes, TCamViewer& viewer) {
    TOcSimpleXml doc;
    doc.LoadFromString(bytes);
    const TOcSimpleXmlElems& items = doc.Root()->Items();
    viewer.RootCategory->TakeFromXml(items.ItemNamed("Category"));
    viewer.AlwaysOnTop = items.BoolValue("AlwaysOnTop", true);
    viewer.SaveImages = items.BoolValue("SaveImages", true);
    viewer.SavePath = items.Value("SavePath", "");
    viewer.Beep = items.BoolValue("Beep", true);
    viewer.PropResize = items.BoolValue("PropResize", true);
    viewer.Status = items.BoolValue("Status", true);
    viewer.SubDirectory = items.BoolValue("SubDirectory", true);
    viewer.FirstLaunch = items.BoolValue("FirstLaunch", true);
    viewer.Language = items.Value("Language", "");
    viewer.LaunchWindows = items.BoolValue("LaunchWindows", true);
}

void BM_OcelisLoad(benchmark::State& state) {
    const std::string& bytes = Bytes(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TCamViewer viewer;
        LoadSettings(bytes, viewer);
        benchmark::DoNotOptimize(viewer.RootCategory->Categories.Count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(bytes.size()));
}

void BM_OcelisParseOnly(benchmark::State& state) {
    const std::string& bytes = Bytes(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TOcSimpleXml doc;
        doc.LoadFromString(bytes);
        benchmark::DoNotOptimize(doc.Root());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(bytes.size()));
}

void BM_OcelisLoadFile(benchmark::State& state) {
    const std::string& bytes = Bytes(static_cast<int>(state.range(0)));
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("ocelis-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    ocelis::SetAppDirOverride(dir);
    {
        TOcSimpleXml doc;
        doc.LoadFromString(bytes);
        doc.SaveToFile((dir / "Options.xml").string());
    }
    for (auto _ : state) {
        TCamViewer viewer;
        viewer.Load();
        benchmark::DoNotOptimize(viewer.RootCategory->Categories.Count());
    }
    ocelis::SetAppDirOverride({});
    std::filesystem::remove_all(dir);
}

void BM_PugiParse(benchmark::State& state) {
    const std::string& bytes = Bytes(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        pugi::xml_document doc;
        pugi::xml_parse_result r = doc.load_buffer(bytes.data(), bytes.size());
        if (!r)
            state.SkipWithError(r.description());
        benchmark::DoNotOptimize(doc.first_child());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(bytes.size()));
}

// What TCamViewer::Save does before writing the file: the catalogue goes out straight from
// its records.
std::string SaveSettings(const TCamCategory& root) {
    return OptionsWith(std::make_unique<TCamCategoryWriter>(root));
}

// The catalogue as the program holds it when it saves at exit: loaded from Options.xml.
std::unique_ptr<TCamViewer> LoadedViewer(int cams) {
    auto viewer = std::make_unique<TCamViewer>();
    LoadSettings(Bytes(cams), *viewer);
    return viewer;
}

void BM_OcelisSave(benchmark::State& state) {
    const auto viewer = LoadedViewer(static_cast<int>(state.range(0)));
    const TCamCategory& root = *viewer->RootCategory;
    if (SaveSettings(root) != Bytes(static_cast<int>(state.range(0))))
        state.SkipWithError("the direct writer differs from the element writer");
    size_t size = 0;
    for (auto _ : state) {
        std::string out = SaveSettings(root);
        size = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

void BM_OcelisWriteOnly(benchmark::State& state) {
    const auto viewer = LoadedViewer(static_cast<int>(state.range(0)));
    const TCamCategory& root = *viewer->RootCategory;
    TOcSimpleXml doc;
    doc.Root()->SetName("Options");
    doc.Root()->Items().Add(root.SaveToXml());
    for (auto _ : state) {
        std::string out = doc.SaveToString();
        benchmark::DoNotOptimize(out.data());
    }
}

// The records as FillCatalogue made them, scattered over memory in round-robin order.
void BM_OcelisSaveScattered(benchmark::State& state) {
    TCamCategory root;
    FillCatalogue(root, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::string out = SaveSettings(root);
        benchmark::DoNotOptimize(out.data());
    }
}

// The same bytes through an element per record (SaveToXml), as other callers build documents.
void BM_OcelisSaveViaElements(benchmark::State& state) {
    const auto viewer = LoadedViewer(static_cast<int>(state.range(0)));
    const TCamCategory& root = *viewer->RootCategory;
    size_t size = 0;
    for (auto _ : state) {
        TOcSimpleXml doc;
        doc.Root()->SetName("Options");
        doc.Root()->Items().Add(root.SaveToXml());
        std::string out = doc.SaveToString();
        size = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, size_t size) override {
        out.append(static_cast<const char*>(data), size);
    }
};

void BM_PugiSave(benchmark::State& state) {
    const std::string& bytes = Bytes(static_cast<int>(state.range(0)));
    pugi::xml_document doc;
    doc.load_buffer(bytes.data(), bytes.size());
    size_t size = 0;
    for (auto _ : state) {
        StringWriter w;
        doc.save(w, " ", pugi::format_default, pugi::encoding_utf8);
        size = w.out.size();
        benchmark::DoNotOptimize(w.out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

BENCHMARK(BM_OcelisLoad)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PugiParse)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OcelisParseOnly)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OcelisLoadFile)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OcelisSave)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OcelisSaveScattered)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OcelisSaveViaElements)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OcelisWriteOnly)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PugiSave)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Peak resident set (VmHWM) of this process, in KiB.
long PeakRssKb() {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1)
            break;
    std::fclose(f);
    return kb;
}

// Starts peak tracking afresh from the current resident set.
void ResetPeakRss() {
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// Runs fn in a fresh process and prints its peak resident memory above the start.
template <typename Fn> void PeakInChild(const char* label, Fn fn) {
    const std::string& bytes = Bytes(100000);
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        malloc_trim(0);
        ResetPeakRss();
        const long before = PeakRssKb();
        const size_t heap = fn(bytes);
        std::printf("%-40s peak RSS +%6.1f MiB, live heap %6.1f MiB (file %.1f MiB)\n", label,
                    static_cast<double>(PeakRssKb() - before) / 1024.0,
                    static_cast<double>(heap) / 1048576.0,
                    static_cast<double>(bytes.size()) / 1048576.0);
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
}

size_t HeapInUse() {
    return mallinfo2().uordblks;
}

} // namespace

int main(int argc, char** argv) {
    // The settings store touches the autostart entry; keep it away from the real one.
    const std::filesystem::path config = std::filesystem::temp_directory_path() /
                                         ("ocelis-bench-config-" + std::to_string(getpid()));
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);

    PeakInChild("Load, 100,000 webcams (live: catalogue):", [](const std::string& bytes) {
        const size_t base = HeapInUse();
        auto viewer = std::make_unique<TCamViewer>();
        LoadSettings(bytes, *viewer);
        const size_t heap = HeapInUse() - base; // catalogue only: the document is gone
        benchmark::DoNotOptimize(viewer.get());
        return heap;
    });
    PeakInChild("Our document alone:", [](const std::string& bytes) {
        const size_t base = HeapInUse();
        auto doc = std::make_unique<TOcSimpleXml>();
        doc->LoadFromString(bytes);
        return HeapInUse() - base;
    });
    PeakInChild("pugixml document:", [](const std::string& bytes) {
        const size_t base = HeapInUse();
        auto doc = std::make_unique<pugi::xml_document>();
        doc->load_buffer(bytes.data(), bytes.size());
        return HeapInUse() - base;
    });

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(config);
    return 0;
}
