// Polling a camera behind Digest authentication as the fetch thread does (HEAD then GET, one
// client, an auth cache shared with the clients that replace it), against the same camera
// open: requests on the wire per cycle and time per cycle. libcurl's Digest on one easy
// handle is the anchor for requests per transfer.
#include "net/HttpAuth.h"
#include "net/HttpAuthCache.h"
#include "net/HttpClient.h"
#include "support/DigestCheck.h"
#include "support/HttpTestServer.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

using ocelis::test::HttpAnswer;
using ocelis::test::HttpRequestSeen;
using ocelis::test::HttpTestServer;

namespace {

constexpr std::size_t kPictureSize = 50 * 1024;
constexpr int kCycles = 100;
const char* const kNonce = "bench-nonce";

// Whether the request's Authorization proves "u":"p" for the server's nonce.
bool DigestProves(const HttpRequestSeen& r) {
    const std::optional<ocelis::TAuthChallenge> a = ocelis::test::AuthorizationOf(r);
    return a && a->Param("nonce") == kNonce && ocelis::test::DigestProves(*a, r, "u", "p");
}

// A keep-alive camera with one picture; with digest, every request must prove the password.
std::unique_ptr<HttpTestServer> Camera(bool digest) {
    std::string body(kPictureSize, '\0');
    for (std::size_t i = 0; i < kPictureSize; ++i)
        body[i] = static_cast<char>(i * 31 + 7);
    auto get = std::make_shared<const std::string>(
        ocelis::test::MakeResponse(200, "OK", {"Content-Type: image/jpeg"}, body));
    auto head = std::make_shared<const std::string>(
        "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " +
        std::to_string(kPictureSize) + "\r\n\r\n");
    auto challenge = std::make_shared<const std::string>(ocelis::test::MakeResponse(
        401, "Unauthorized",
        {std::string("WWW-Authenticate: Digest realm=\"cam\", qop=\"auth\", algorithm=SHA-256, "
                     "nonce=\"") +
             kNonce + "\"",
         std::string("WWW-Authenticate: Digest realm=\"cam\", qop=\"auth\", algorithm=MD5, "
                     "nonce=\"") +
             kNonce + "\"",
         "Content-Type: text/plain"},
        "401 Unauthorized\n"));
    auto server =
        std::make_unique<HttpTestServer>([get, head, challenge, digest](const HttpRequestSeen& r) {
            HttpAnswer a;
            if (digest && !DigestProves(r))
                a.Send(challenge);
            else
                a.Send(r.Method == "HEAD" ? head : get);
            return a;
        });
    server->SetRecording(false);
    return server;
}

void PollCycles(benchmark::State& state, bool digest) {
    auto server = Camera(digest);
    const std::string url = "http://" + std::string(digest ? "u:p@" : "") +
                            "127.0.0.1:" + std::to_string(server->Port()) + "/cam.jpg";
    auto cache = std::make_shared<ocelis::THttpAuthCache>();
    auto client = std::make_unique<THttpClient>();
    client->ReadTimeout = 5000;
    client->AuthCache = cache;
    int64_t failures = 0;
    for (auto _ : state) {
        try {
            client->Head(url);
            std::string stream;
            client->Get(url, stream);
            if (stream.size() != kPictureSize)
                ++failures;
            benchmark::DoNotOptimize(stream.data());
        } catch (const std::exception&) {
            ++failures;
            client = std::make_unique<THttpClient>();
            client->ReadTimeout = 5000;
            client->AuthCache = cache;
        }
    }
    const double cycles = static_cast<double>(state.iterations());
    state.counters["requests_per_cycle"] = server->RequestCount() / cycles;
    state.counters["failures"] = static_cast<double>(failures);
}

void BM_PollOpen(benchmark::State& state) {
    PollCycles(state, false);
}
void BM_PollDigest(benchmark::State& state) {
    PollCycles(state, true);
}

std::size_t CurlWrite(char* p, std::size_t size, std::size_t n, void* user) {
    static_cast<std::string*>(user)->append(p, size * n);
    return size * n;
}

void BM_CurlDigestGet(benchmark::State& state) {
    auto server = Camera(true);
    const std::string url = "http://127.0.0.1:" + std::to_string(server->Port()) + "/cam.jpg";
    CURL* h = curl_easy_init();
    std::string stream;
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_DIGEST));
    curl_easy_setopt(h, CURLOPT_USERPWD, "u:p");
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, CurlWrite);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &stream);
    int64_t failures = 0;
    for (auto _ : state) {
        stream.clear();
        long code = 0;
        if (curl_easy_perform(h) != CURLE_OK ||
            curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code) != CURLE_OK || code != 200 ||
            stream.size() != kPictureSize)
            ++failures;
    }
    curl_easy_cleanup(h);
    state.counters["requests_per_transfer"] =
        server->RequestCount() / static_cast<double>(state.iterations());
    state.counters["failures"] = static_cast<double>(failures);
}

} // namespace

// A fixed number of cycles, so that the first one's challenge weighs as in a short poll.
BENCHMARK(BM_PollOpen)->Iterations(kCycles)->Repetitions(10)->UseRealTime();
BENCHMARK(BM_PollDigest)->Iterations(kCycles)->Repetitions(10)->UseRealTime();
BENCHMARK(BM_CurlDigestGet)->Iterations(kCycles)->Repetitions(10)->UseRealTime();

BENCHMARK_MAIN();
