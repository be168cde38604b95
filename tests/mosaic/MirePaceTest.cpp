// Threads sharing a window's schedule against loopback servers: each webcam at its own pace,
// one dripping server holding one thread only, never two requests to one server at once.
#include "mosaic/MireThread.h"

#include "support/HttpTestServer.h"
#include "support/WorkerFixture.h"

#include <gtest/gtest.h>
#include <map>

using namespace std::chrono_literals;
using ocelis::test::HttpAnswer;
using ocelis::test::HttpRequestSeen;
using ocelis::test::HttpTestServer;
using ocelis::test::MakeResponse;
using ocelis::test::Reply;
using Clock = std::chrono::steady_clock;

namespace {

// A window as the mosaic is one: fills in a cell's inputs, keeps what its fetch gave back.
// Both run on the test's thread (the stand-in GUI), one at a time.
struct TPacedWindow {
    struct TCam {
        TCam(std::string url, int32_t refresh) : Url(std::move(url)), Refresh(refresh) {}
        std::string Url;
        int32_t Refresh = 0;
        ocelis::TModifiedDate Modified;
        int32_t Length = 0;
        std::vector<Clock::time_point> Ends;
        int Answered = 0;
    };
    std::vector<TCam> Cams;
    std::map<std::string, int> Busy;
    int Overlaps = 0;

    void Prepare(TMireThread& t) {
        TCam& c = Cams[static_cast<std::size_t>(t.Index)];
        t.Url = c.Url;
        t.LastModified = c.Modified;
        t.ContentLength = c.Length;
        // The requests of a fetch run between this hand-over and the next OnImage.
        Overlaps += Busy[ocelis::MireServer(c.Url)]++ > 0;
    }
    void Image(TMireThread& t) {
        TCam& c = Cams[static_cast<std::size_t>(t.Index)];
        c.Modified = t.LastModified;
        c.Length = t.ContentLength;
        c.Ends.push_back(Clock::now());
        c.Answered += t.Answered;
        --Busy[ocelis::MireServer(c.Url)];
    }
};

class MirePaceTest : public ocelis::test::TWorkerFixture {
protected:
    void TearDown() override {
        for (TMireThreadRef& t : Threads)
            t.Stop();
        Queue->Wake();
        TWorkerFixture::TearDown();
    }

    std::shared_ptr<ocelis::TMireQueue> Queue = std::make_shared<ocelis::TMireQueue>();
    std::vector<TMireThreadRef> Threads;
};

} // namespace

TEST_F(MirePaceTest, EachWebcamAtItsOwnPaceWhileADrippingServerHoldsOneThread) {
    const auto picture = [](const HttpRequestSeen& r) {
        return Reply(r.Method == "HEAD" ? "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n"
                                        : MakeResponse(200, "OK", {}, "pict"));
    };
    HttpTestServer shared(picture), own(picture);
    HttpTestServer drip([](const HttpRequestSeen&) {
        HttpAnswer a;
        a.Drip("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n", 1s);
        return a;
    });
    TPacedWindow w;
    // Three webcams on one server, one on a server of its own, one dripping.
    w.Cams = {{shared.Url("/1.jpg"), 1},
              {shared.Url("/2.jpg"), 0},
              {shared.Url("/3.jpg"), 2},
              {own.Url("/4.jpg"), 1},
              {drip.Url("/5.jpg"), 1}};
    std::vector<ocelis::TMireCell> cells;
    for (const auto& c : w.Cams)
        cells.push_back({ocelis::MireServer(c.Url), c.Refresh});
    Queue->SetCells(cells);
    const std::chrono::milliseconds bound = 2s; // the whole fetch, shortened
    const Clock::time_point began = Clock::now();
    for (int i = 0; i < 4; ++i) {
        auto* t = new TMireThread(Loop);
        t->Queue = Queue;
        t->Timing.FetchTimeLimit = bound;
        t->OnNext = [&w](TMireThread& s) { w.Prepare(s); };
        t->OnImage = [&w](TMireThread& s) { w.Image(s); };
        Threads.emplace_back(t);
        t->Resume();
    }
    // Until the webcam with a server of its own has been fetched five times (some 4 s).
    ASSERT_TRUE(Serve([&] { return w.Cams[3].Ends.size() >= 5; }, 30s));
    const double elapsed = std::chrono::duration<double>(Clock::now() - began).count();

    EXPECT_EQ(w.Overlaps, 0);
    for (std::size_t i = 0; i < w.Cams.size(); ++i) {
        const TPacedWindow::TCam& c = w.Cams[i];
        SCOPED_TRACE(c.Url);
        const double interval = std::max(c.Refresh, 1);
        // Never sooner than the interval after the last fetch: at most elapsed/interval + 1.
        EXPECT_LE(static_cast<double>(c.Ends.size()), elapsed / interval + 1);
        if (i == 4) {
            // The dripping server's fetch ends at the bound, a failure; then it backs off.
            ASSERT_GE(c.Ends.size(), 1u);
            EXPECT_EQ(c.Answered, 0);
            EXPECT_GE(c.Ends[0] - began, bound - 100ms);
            continue;
        }
        // The others go on meanwhile, each at its interval: no gap beyond it and the bound.
        EXPECT_GE(static_cast<double>(c.Ends.size()),
                  elapsed / (interval + bound.count() / 1000.0));
        EXPECT_EQ(c.Answered, static_cast<int>(c.Ends.size()));
        for (std::size_t k = 1; k < c.Ends.size(); ++k)
            EXPECT_LE(c.Ends[k] - c.Ends[k - 1], std::chrono::duration<double>(interval) + bound)
                << k;
        if (!c.Ends.empty()) {
            EXPECT_LE(c.Ends[0] - began, bound);
        }
    }
}

// Stopping wakes threads that sleep until the next cell is due.
TEST_F(MirePaceTest, SleepingThreadsEndAtOnceWhenStopped) {
    HttpTestServer server([](const HttpRequestSeen& r) {
        return Reply(r.Method == "HEAD" ? "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n"
                                        : MakeResponse(200, "OK", {}, "pict"));
    });
    TPacedWindow w;
    w.Cams = {{server.Url("/a.jpg"), 300}};
    Queue->SetCells({{ocelis::MireServer(w.Cams[0].Url), 300}});
    auto* t = new TMireThread(Loop);
    t->Queue = Queue;
    t->OnNext = [&w](TMireThread& s) { w.Prepare(s); };
    t->OnImage = [&w](TMireThread& s) { w.Image(s); };
    Threads.emplace_back(t);
    t->Resume();
    ASSERT_TRUE(Serve([&] { return w.Cams[0].Ends.size() == 1; }));
    // Due again in five minutes: the thread sleeps until then unless woken.
    for (TMireThreadRef& r : Threads)
        r.Stop();
    Queue->Wake();
    EXPECT_TRUE(Serve([&] { return Freed(); }, 5s));
    EXPECT_EQ(server.RequestCount(), 2);
}
