// Our HEAD+GET pair (as the fetch thread does it: 1024-byte reads, a progress call per
// portion) against libcurl's pair on one reused easy handle, over http and https, and one
// GUI hand-over.
#include "net/HttpClient.h"
#include "net/QtSynchronizer.h"
#include "support/FakeGuiLoop.h"
#include "support/HttpTestServer.h"
#include "support/TlsTestServer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <atomic>
#include <memory>
#include <thread>

using ocelis::test::HttpAnswer;
using ocelis::test::HttpRequestSeen;
using ocelis::test::HttpTestServer;
using ocelis::test::TlsTestServer;

namespace {

std::unique_ptr<HttpTestServer> ServerFor(std::size_t size) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        body[i] = static_cast<char>(i * 31 + 7);
    auto get = std::make_shared<const std::string>(
        ocelis::test::MakeResponse(200, "OK", {"Content-Type: image/jpeg"}, body));
    auto head = std::make_shared<const std::string>(
        "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " + std::to_string(size) +
        "\r\n\r\n");
    auto server = std::make_unique<HttpTestServer>([get, head](const HttpRequestSeen& r) {
        HttpAnswer a;
        a.Send(r.Method == "HEAD" ? head : get);
        return a;
    });
    server->SetRecording(false);
    return server;
}

// A GUI loop of its own thread, serving hand-overs until stopped.
struct LoopThread {
    std::shared_ptr<ocelis::FakeGuiLoop> Loop;
    std::atomic<bool> Stop{false};
    std::thread Thread;
    LoopThread() {
        std::atomic<bool> ready{false};
        Thread = std::thread([&] {
            Loop = std::make_shared<ocelis::FakeGuiLoop>();
            ready = true;
            while (!Stop)
                Loop->RunUntil([&] { return Stop.load(); }, std::chrono::milliseconds(50));
            Loop->Shutdown();
        });
        while (!ready)
            std::this_thread::yield();
    }
    ~LoopThread() {
        Stop = true;
        Thread.join();
    }
};

enum class Progress { Plain, HandOver };

void OursPair(benchmark::State& state, Progress mode, bool disconnectAfterHead,
              int32_t readSize = 1024) {
    const auto size = static_cast<std::size_t>(state.range(0));
    auto server = ServerFor(size);
    std::unique_ptr<LoopThread> loop;
    if (mode == Progress::HandOver)
        loop = std::make_unique<LoopThread>();
    THttpClient client;
    client.ReadTimeout = 5000;
    int32_t received = 0;
    int32_t shown = 0;
    client.OnWork = [&](THttpClient&, TWorkMode, int64_t count) {
        received = static_cast<int32_t>(count);
        if (loop)
            loop->Loop->Run([&] { shown = received; });
        else
            benchmark::DoNotOptimize(shown = received);
    };
    const std::string url = server->Url("/cam.jpg");
    std::string stream;
    for (auto _ : state) {
        client.Head(url);
        if (disconnectAfterHead)
            client.Disconnect();
        client.RecvBufferSize = readSize;
        stream.clear();
        client.Get(url, stream);
        if (stream.size() != size)
            state.SkipWithError("short body");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    state.counters["connections/pair"] =
        static_cast<double>(client.ConnectCount()) / static_cast<double>(state.iterations());
}

void BM_OursThreadLike(benchmark::State& s) {
    OursPair(s, Progress::HandOver, true);
}
void BM_OursPlainProgress(benchmark::State& s) {
    OursPair(s, Progress::Plain, true);
}
// The client's default 32 KiB reads: what the 1024-byte portions cost in system calls.
void BM_OursBigReads(benchmark::State& s) {
    OursPair(s, Progress::Plain, true, 32768);
}
void BM_OursKeepAlivePlain(benchmark::State& s) {
    OursPair(s, Progress::Plain, false);
}

size_t CurlWrite(char* p, size_t sz, size_t n, void* user) {
    static_cast<std::string*>(user)->append(p, sz * n);
    return sz * n;
}

void CurlPair(benchmark::State& state, bool freshGet) {
    const auto size = static_cast<std::size_t>(state.range(0));
    auto server = ServerFor(size);
    const std::string url = server->Url("/cam.jpg");
    CURL* h = curl_easy_init();
    std::string stream;
    long conns = 0;
    auto perform = [&] {
        CURLcode rc = curl_easy_perform(h);
        long c = 0;
        curl_easy_getinfo(h, CURLINFO_NUM_CONNECTS, &c);
        conns += c;
        return rc;
    };
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, CurlWrite);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &stream);
    curl_easy_setopt(h, CURLOPT_USERAGENT, "Mozilla/3.0 (compatible; Ocelis)");
    curl_easy_setopt(h, CURLOPT_REFERER, "http://ref.example/");
    for (auto _ : state) {
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(h, CURLOPT_FORBID_REUSE, freshGet ? 1L : 0L);
        if (perform() != CURLE_OK)
            state.SkipWithError("curl HEAD failed");
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 0L);
        stream.clear();
        if (perform() != CURLE_OK || stream.size() != size)
            state.SkipWithError("curl GET failed");
    }
    curl_easy_cleanup(h);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    state.counters["connections/pair"] =
        static_cast<double>(conns) / static_cast<double>(state.iterations());
}

// The same pair as libcurl would do it with one reused handle.
void BM_CurlPair(benchmark::State& s) {
    CurlPair(s, false);
}
// The connection pattern of the fetch thread: the HEAD's connection is not reused.
void BM_CurlPairFreshGet(benchmark::State& s) {
    CurlPair(s, true);
}

// Over TLS: both talk to the same TLS front of the same server, HEAD and GET on connections
// of their own (the fetch thread's pattern), the GET free to resume the HEAD's session.
void BM_OursTlsThreadLike(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    auto server = ServerFor(size);
    TlsTestServer tls(*server, ocelis::test::TrustedTestCertificates().Good);
    THttpClient client;
    client.ReadTimeout = 5000;
    int32_t received = 0;
    client.OnWork = [&](THttpClient&, TWorkMode, int64_t count) {
        benchmark::DoNotOptimize(received = static_cast<int32_t>(count));
    };
    const std::string url = tls.Url("/cam.jpg", "localhost");
    std::string stream;
    for (auto _ : state) {
        client.Head(url);
        client.Disconnect();
        client.RecvBufferSize = 1024;
        stream.clear();
        client.Get(url, stream);
        if (stream.size() != size)
            state.SkipWithError("short body");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    state.counters["connections/pair"] =
        static_cast<double>(client.ConnectCount()) / static_cast<double>(state.iterations());
    state.counters["resumed/pair"] =
        static_cast<double>(tls.Resumed()) / static_cast<double>(state.iterations());
}

void BM_CurlTlsPairFreshGet(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    auto server = ServerFor(size);
    TlsTestServer tls(*server, ocelis::test::TrustedTestCertificates().Good);
    const std::string url = tls.Url("/cam.jpg", "localhost");
    CURL* h = curl_easy_init();
    std::string stream;
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_CAINFO, ocelis::test::TrustedTestCertificates().CaFile.c_str());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, CurlWrite);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &stream);
    curl_easy_setopt(h, CURLOPT_USERAGENT, "Mozilla/3.0 (compatible; Ocelis)");
    curl_easy_setopt(h, CURLOPT_REFERER, "http://ref.example/");
    curl_easy_setopt(h, CURLOPT_SSL_SESSIONID_CACHE, 1L);
    long conns = 0;
    for (auto _ : state) {
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
        CURLcode rc = curl_easy_perform(h);
        long c = 0;
        curl_easy_getinfo(h, CURLINFO_NUM_CONNECTS, &c);
        conns += c;
        if (rc != CURLE_OK)
            state.SkipWithError(curl_easy_strerror(rc));
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 0L);
        stream.clear();
        rc = curl_easy_perform(h);
        curl_easy_getinfo(h, CURLINFO_NUM_CONNECTS, &c);
        conns += c;
        if (rc != CURLE_OK || stream.size() != size)
            state.SkipWithError("curl GET failed");
    }
    curl_easy_cleanup(h);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    state.counters["connections/pair"] =
        static_cast<double>(conns) / static_cast<double>(state.iterations());
    state.counters["resumed/pair"] =
        static_cast<double>(tls.Resumed()) / static_cast<double>(state.iterations());
}

// One Synchronize round trip: a worker hands a call to the Qt GUI thread and waits.
void BM_QtSynchronizeRoundTrip(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "bench_http";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
    const int perBatch = 2000;
    ocelis::TQtSynchronizer sync;
    int counter = 0;
    for (auto _ : state) {
        // A nested loop, as the application's own loop would serve the calls.
        QEventLoop loop;
        std::thread worker([&] {
            for (int i = 0; i < perBatch; ++i)
                if (!sync.Run([&] { ++counter; }))
                    break;
            QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
        });
        loop.exec();
        worker.join();
    }
    if (counter != state.iterations() * perBatch)
        state.SkipWithError("hand-overs were cancelled");
    state.SetItemsProcessed(state.iterations() * perBatch);
}

void BM_FakeLoopRoundTrip(benchmark::State& state) {
    LoopThread loop;
    int counter = 0;
    for (auto _ : state)
        loop.Loop->Run([&] { ++counter; });
    benchmark::DoNotOptimize(counter);
}

} // namespace

#define HTTP_BENCH(fn)                                                                             \
    BENCHMARK(fn)->Arg(50 * 1024)->Arg(500 * 1024)->Unit(benchmark::kMicrosecond)->UseRealTime()
HTTP_BENCH(BM_OursThreadLike);
HTTP_BENCH(BM_OursPlainProgress);
HTTP_BENCH(BM_OursBigReads);
HTTP_BENCH(BM_OursKeepAlivePlain);
HTTP_BENCH(BM_CurlPair);
HTTP_BENCH(BM_CurlPairFreshGet);
BENCHMARK(BM_OursTlsThreadLike)->Arg(50 * 1024)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_CurlTlsPairFreshGet)->Arg(50 * 1024)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_QtSynchronizeRoundTrip)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FakeLoopRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

int main(int argc, char** argv) {
    // The test CA is trusted before the first TLS context exists.
    ocelis::test::TrustedTestCertificates();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    curl_global_cleanup();
    return 0;
}
