#include "net/HttpThread.h"
#include "net/FetchThreadRegistry.h"
#include "support/HttpTestServer.h"
#include "support/WorkerFixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

using namespace std::chrono_literals;
using ocelis::TFetchThreadRegistry;
using ocelis::test::HttpAnswer;
using ocelis::test::HttpRequestSeen;
using ocelis::test::HttpTestServer;
using ocelis::test::MakeResponse;
using ocelis::test::Reply;

namespace {

const std::string kFixedDate = "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT";

// What a viewer window would see, in order; appended on the loop (GUI) thread only.
struct Window {
    std::vector<std::string> Log; // "image:<bytes>" and "tick:<n>"
    std::vector<int32_t> Progress;
    int Images = 0;
    int Ticks = 0;

    void Attach(THttpThread& t) {
        t.OnImage = [this](THttpThread& s) {
            ++Images;
            Log.push_back("image:" + s.Stream);
        };
        t.OnProgress = [this](THttpThread& s) { Progress.push_back(s.Received); };
        t.OnTick = [this](THttpThread& s) {
            ++Ticks;
            Log.push_back("tick:" + std::to_string(s.Countdown));
        };
    }
};

class HttpThreadTest : public ocelis::test::TWorkerFixture {
protected:
    THttpThread* Make(int32_t refresh, const std::string& path = "/cam.jpg") {
        auto* t = new THttpThread(Loop);
        W.Attach(*t);
        t->Url = Server.Url(path);
        t->Referer = "http://ref.example/";
        t->Refresh = refresh;
        t->Timing.Tick = 2ms;
        t->Timing.UnchangedPause = 2ms;
        t->Timing.GetReadTimeout = 3000;
        t->Timing.HeadReadTimeout = 3000;
        Thread = t;
        return t;
    }

    void TearDown() override {
        if (Thread && !Freed()) {
            Thread->ClearHandlers();
            Thread->Terminate();
        }
        TWorkerFixture::TearDown();
    }

    std::vector<std::string> Methods(std::size_t n) {
        std::vector<std::string> m;
        for (const auto& r : Server.Requests())
            if (m.size() < n)
                m.push_back(r.Method);
        return m;
    }

    HttpTestServer Server;
    Window W;
    THttpThread* Thread = nullptr;
};

// An image whose length grows with every HEAD, so every cycle sees a change.
HttpAnswer ChangingImage(const HttpRequestSeen& r) {
    std::string body(100 + r.Index, 'x');
    body[0] = static_cast<char>('a' + r.Index % 26);
    if (r.Method == "HEAD")
        return Reply("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                     "\r\n\r\n");
    return Reply(MakeResponse(200, "OK", {}, body));
}

HttpAnswer SteadyImage(const HttpRequestSeen& r) {
    if (r.Method == "HEAD")
        return Reply("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n" + kFixedDate + "\r\n\r\n");
    return Reply(MakeResponse(200, "OK", {kFixedDate}, "still"));
}

std::vector<std::string> Ticks(std::initializer_list<int> values) {
    std::vector<std::string> out;
    for (int v : values)
        out.push_back("tick:" + std::to_string(v));
    return out;
}

} // namespace

// ---- the three modes ----

TEST_F(HttpThreadTest, TimedModeTicksDownBetweenChangedImages) {
    Server.SetHandler(ChangingImage);
    Make(3)->Resume();
    ASSERT_TRUE(Serve([&] { return W.Images == 3; }));
    ASSERT_EQ(W.Log.size(), 11u);
    std::vector<std::string> cycle = Ticks({3, 2, 1, 0});
    EXPECT_EQ(std::vector<std::string>(W.Log.begin() + 1, W.Log.begin() + 5), cycle);
    EXPECT_EQ(std::vector<std::string>(W.Log.begin() + 6, W.Log.begin() + 10), cycle);
    EXPECT_EQ(Methods(6), (std::vector<std::string>{"HEAD", "GET", "HEAD", "GET", "HEAD", "GET"}));
    // Each HEAD comes on a connection of its own: it is never followed by reuse.
    auto reqs = Server.Requests();
    EXPECT_NE(reqs[0].Connection, reqs[1].Connection);
    EXPECT_NE(reqs[1].Raw.find("\r\nReferer: http://ref.example/\r\n"), std::string::npos);
    EXPECT_EQ(W.Log[0], "image:" + std::string("b") + std::string(100, 'x'));
}

TEST_F(HttpThreadTest, UnchangedImageIsDownloadedOnce) {
    Server.SetHandler(SteadyImage);
    Make(2)->Resume();
    ASSERT_TRUE(Serve([&] { return Server.RequestCount() >= 5; }));
    EXPECT_EQ(Methods(5), (std::vector<std::string>{"HEAD", "GET", "HEAD", "HEAD", "HEAD"}));
    EXPECT_EQ(W.Images, 1);
    EXPECT_EQ(W.Log[0], "image:still");
}

// A HEAD that tells nothing (refused, or neither date nor length): the picture is fetched
// every cycle, handed over only when its bytes changed, and after two such GETs HEAD is
// left out for a while.
TEST_F(HttpThreadTest, SilentHeadsPollByContentAndHandOverOnlyChangedPictures) {
    struct TCase {
        const char* Name;
        std::string Head;
        bool Changing; // every GET a new picture
        int Images;    // at least, after five requests; exactly when steady
    };
    const std::vector<TCase> cases = {
        {"no date or length", "HTTP/1.1 200 OK\r\n\r\n", false, 1},
        {"no date or length, changing", "HTTP/1.1 200 OK\r\n\r\n", true, 3},
        {"refused", "HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n", false, 1},
        {"refused, changing", "HTTP/1.1 501 Not Implemented\r\nContent-Length: 0\r\n\r\n", true, 3},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        HttpTestServer server;
        std::atomic<int> gets{0};
        server.SetHandler([&](const HttpRequestSeen& r) {
            if (r.Method == "HEAD")
                return Reply(c.Head);
            return Reply(
                MakeResponse(200, "OK", {}, c.Changing ? "jpeg" + std::to_string(gets++) : "jpeg"));
        });
        Window w;
        auto* t = new THttpThread(Loop);
        w.Attach(*t);
        t->Url = server.Url("/cam.jpg");
        t->Refresh = 1;
        t->Timing.Tick = 2ms;
        t->Timing.UnchangedPause = 2ms;
        Thread = t;
        t->Resume();
        ASSERT_TRUE(Serve([&] { return server.RequestCount() >= 5 && w.Images >= c.Images; }));
        ocelis::TWorkerRef<THttpThread>(t).Stop();
        ASSERT_TRUE(Serve([&] { return Freed(); }));
        std::vector<std::string> m;
        for (const auto& r : server.Requests())
            if (m.size() < 5)
                m.push_back(r.Method);
        EXPECT_EQ(m, (std::vector<std::string>{"HEAD", "GET", "HEAD", "GET", "GET"}));
        if (c.Changing)
            EXPECT_GE(w.Images, c.Images);
        else
            EXPECT_EQ(w.Images, c.Images);
        Thread = nullptr;
    }
}

TEST_F(HttpThreadTest, BruteModeDownloadsBackToBackWithoutHeadOrTicks) {
    Server.SetHandler(SteadyImage);
    Make(-1)->Resume();
    ASSERT_TRUE(Serve([&] { return W.Images >= 4; }));
    for (const auto& m : Methods(100))
        EXPECT_EQ(m, "GET");
    EXPECT_EQ(W.Ticks, 0);
}

TEST_F(HttpThreadTest, AlwaysRefreshModeTicksZeroOncePerCycle) {
    Server.SetHandler(SteadyImage);
    Make(0)->Resume();
    ASSERT_TRUE(Serve([&] { return W.Ticks >= 4; }));
    EXPECT_EQ(W.Log[0], "image:still");
    EXPECT_EQ(std::vector<std::string>(W.Log.begin() + 1, W.Log.begin() + 5), Ticks({0, 0, 0, 0}));
    // One HEAD per cycle, the GET only in the first.
    EXPECT_EQ(Methods(4), (std::vector<std::string>{"HEAD", "GET", "HEAD", "HEAD"}));
}

// ---- Refresh changed and Terminate from the window ----

TEST_F(HttpThreadTest, RefreshChangedMidCountdownTakesEffectNextCycle) {
    Server.SetHandler(ChangingImage);
    THttpThread* t = Make(4);
    bool changed = false;
    t->OnTick = [&](THttpThread& s) {
        W.Log.push_back("tick:" + std::to_string(s.Countdown));
        if (!changed) {
            changed = true;
            s.Refresh = 1; // as the window does
        }
    };
    t->Resume();
    ASSERT_TRUE(Serve([&] { return W.Images == 3; }));
    std::vector<std::string> expected{"image:"};
    for (auto& s : Ticks({4, 3, 2, 1, 0}))
        expected.push_back(s);
    expected.push_back("image:");
    for (auto& s : Ticks({1, 0}))
        expected.push_back(s);
    expected.push_back("image:");
    ASSERT_EQ(W.Log.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(W.Log[i].substr(0, expected[i].size()), expected[i]) << i;
}

TEST_F(HttpThreadTest, TerminateDuringCountdownStopsTicksAndFreesTheThread) {
    Server.SetHandler(SteadyImage);
    THttpThread* t = Make(1000);
    t->Timing.Tick = 1000ms; // the real second: Terminate must cut it short
    t->OnTick = [&](THttpThread& s) {
        W.Log.push_back("tick:" + std::to_string(s.Countdown));
        s.Terminate();
    };
    auto start = std::chrono::steady_clock::now();
    t->Resume();
    ASSERT_TRUE(Serve([&] { return Freed(); }));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 900ms);
    EXPECT_EQ(W.Log, (std::vector<std::string>{"image:still", "tick:1000"}));
}

// ---- failures ----

TEST_F(HttpThreadTest, FailedGetSkipsHandOversKeepsCountingAndUsesFreshClient) {
    std::atomic<int> gets{0};
    Server.SetHandler([&](const HttpRequestSeen& r) {
        if (r.Method == "HEAD")
            return Reply("HTTP/1.1 200 OK\r\nSet-Cookie: s=1\r\nContent-Length: " +
                         std::to_string(10 + r.Index) + "\r\n\r\n");
        if (gets++ == 0)
            return Reply(MakeResponse(500, "Broken", {}, "err"));
        return Reply(MakeResponse(200, "OK", {}, "fine"));
    });
    Make(1)->Resume();
    ASSERT_TRUE(Serve([&] { return W.Images == 1; }));
    EXPECT_EQ(W.Log, (std::vector<std::string>{"tick:1", "tick:0", "image:fine"}));
    // The error body is read with progress too; after the good GET, Received is the length
    // the last HEAD reported (10 + request index 2).
    EXPECT_EQ(W.Progress, (std::vector<int32_t>{3, 4, 12}));
    auto reqs = Server.Requests();
    ASSERT_GE(reqs.size(), 4u);
    EXPECT_EQ(Methods(4), (std::vector<std::string>{"HEAD", "GET", "HEAD", "GET"}));
    // The old client had the cookie; the new one starts without it.
    EXPECT_NE(reqs[1].Raw.find("Cookie: s=1"), std::string::npos);
    EXPECT_EQ(reqs[2].Raw.find("Cookie:"), std::string::npos);
    EXPECT_NE(reqs[3].Raw.find("Cookie: s=1"), std::string::npos);
}

TEST_F(HttpThreadTest, ThrowingImageHandlerCountsAsFailedGet) {
    Server.SetHandler([](const HttpRequestSeen& r) {
        if (r.Method == "HEAD")
            return Reply("HTTP/1.1 200 OK\r\nSet-Cookie: s=2\r\nContent-Length: 5\r\n" +
                         kFixedDate + "\r\n\r\n");
        return Reply(MakeResponse(200, "OK", {kFixedDate}, "still"));
    });
    THttpThread* t = Make(1);
    int calls = 0;
    t->OnImage = [&](THttpThread&) {
        if (++calls == 1)
            throw std::runtime_error("cannot show it");
        ++W.Images;
    };
    t->Resume();
    // LastModified was not taken from the failed cycle, so the image is fetched again.
    ASSERT_TRUE(Serve([&] { return W.Images == 1 && Server.RequestCount() >= 6; }));
    EXPECT_EQ(Methods(6), (std::vector<std::string>{"HEAD", "GET", "HEAD", "GET", "HEAD", "HEAD"}));
    EXPECT_EQ(Server.Requests()[2].Raw.find("Cookie:"), std::string::npos);
    EXPECT_EQ(calls, 2);
}

TEST_F(HttpThreadTest, ThrowingProgressHandlerEndsThreadAfterTheCycle) {
    Server.SetHandler(SteadyImage);
    THttpThread* t = Make(5);
    t->OnProgress = [&](THttpThread&) { throw std::runtime_error("no progress bar"); };
    t->Resume();
    ASSERT_TRUE(Serve([&] { return Freed(); }));
    EXPECT_EQ(W.Images, 0);
    EXPECT_EQ(W.Ticks, 0);
    EXPECT_EQ(Methods(10), (std::vector<std::string>{"HEAD", "GET"}));
}

TEST_F(HttpThreadTest, ThrowingTickHandlerEndsThread) {
    Server.SetHandler(SteadyImage);
    THttpThread* t = Make(3);
    t->OnTick = [&](THttpThread&) {
        ++W.Ticks;
        throw std::runtime_error("status bar gone");
    };
    t->Resume();
    ASSERT_TRUE(Serve([&] { return Freed(); }));
    EXPECT_EQ(W.Ticks, 1);
    EXPECT_EQ(W.Images, 1);
}

TEST_F(HttpThreadTest, ClearedHandlersAreSkipped) {
    Server.SetHandler(ChangingImage);
    THttpThread* t = Make(1);
    t->Resume();
    ASSERT_TRUE(Serve([&] { return W.Images == 1; }));
    t->ClearHandlers(); // on the loop thread, as a window does
    auto logged = W.Log.size();
    int served = Loop->Served();
    int requests = Server.RequestCount();
    ASSERT_TRUE(Serve([&] { return Server.RequestCount() >= requests + 4; }));
    EXPECT_EQ(W.Log.size(), logged);
    EXPECT_GT(Loop->Served(), served);
}

TEST_F(HttpThreadTest, ProgressPerPortionAtMostOncePerIntervalThenTheLength) {
    const std::string body(3000, 'p');
    Server.SetHandler([&](const HttpRequestSeen& r) {
        if (r.Method == "HEAD")
            return Reply("HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n" + kFixedDate + "\r\n\r\n");
        return Reply(MakeResponse(200, "OK", {kFixedDate}, body));
    });
    // Without an interval every portion of at most 1 KB is handed over; with a long one only
    // the first, and the complete length always comes before the image.
    for (const auto interval : {0ms, 3600000ms}) {
        W = Window();
        THttpThread* t = Make(1);
        t->Timing.ProgressInterval = interval;
        t->Resume();
        ASSERT_TRUE(Serve([&] { return W.Images == 1; }));
        t->ClearHandlers();
        t->Terminate();
        ASSERT_TRUE(Serve([&] { return Freed(); }));
        ASSERT_GE(W.Progress.size(), 2u);
        EXPECT_GE(W.Progress.front(), 1);
        EXPECT_LE(W.Progress.front(), 1024);
        for (std::size_t i = 1; i + 1 < W.Progress.size(); ++i) {
            EXPECT_GT(W.Progress[i], W.Progress[i - 1]);
            EXPECT_LE(W.Progress[i] - W.Progress[i - 1], 1024);
        }
        EXPECT_EQ(W.Progress.back(), 3000);
        if (interval == 0ms) {
            ASSERT_GE(W.Progress.size(), 4u);
            EXPECT_EQ(W.Progress[W.Progress.size() - 2], 3000);
        } else {
            EXPECT_EQ(W.Progress.size(), 2u);
        }
    }
}

TEST_F(HttpThreadTest, FailedGetHandsOverTheLastPortionRead) {
    Server.SetHandler([](const HttpRequestSeen& r) {
        if (r.Method == "HEAD")
            return Reply("HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n" + kFixedDate + "\r\n\r\n");
        HttpAnswer a;
        a.Send("HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n" + std::string(2500, 'p'));
        a.Stall();
        return a;
    });
    THttpThread* t = Make(1);
    t->Timing.ProgressInterval = 3600000ms;
    t->Timing.GetReadTimeout = 100;
    t->Resume();
    ASSERT_TRUE(Serve([&] { return W.Ticks >= 1; }));
    EXPECT_EQ(W.Images, 0);
    ASSERT_EQ(W.Progress.size(), 2u);
    EXPECT_LE(W.Progress.front(), 1024);
    EXPECT_EQ(W.Progress.back(), 2500);
}

// ---- the first HEAD ----

TEST_F(HttpThreadTest, SilentServerCostsAFreshClientsHeadOnlyItsTimeout) {
    Server.SetHandler([](const HttpRequestSeen& r) {
        HttpAnswer a;
        if (r.Method == "HEAD")
            a.Stall();
        else
            a.Send(MakeResponse(200, "OK", {}, "late"));
        return a;
    });
    THttpThread* t = Make(1);
    t->Timing.HeadReadTimeout = 50;
    t->Resume();
    ASSERT_TRUE(Serve([&] { return W.Images == 1; }));
    EXPECT_EQ(W.Log[0], "image:late");
}

// ---- without a GUI ----

TEST_F(HttpThreadTest, WithoutAnyHandOverHandlersAreSkippedAndPollingGoesOn) {
    Server.SetHandler(ChangingImage);
    ASSERT_EQ(ocelis::DefaultSynchronizer(), nullptr);
    auto* t = new THttpThread(); // no loop given, none installed
    int calls = 0;
    t->OnImage = [&](THttpThread&) { ++calls; };
    t->Url = Server.Url("/x");
    t->Refresh = 0;
    t->Timing.UnchangedPause = 2ms;
    t->Resume();
    EXPECT_TRUE(Server.WaitForRequests(6, 10s));
    t->Terminate();
    EXPECT_TRUE(TFetchThreadRegistry::Instance().WaitUntilEmpty(10s));
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(Methods(4), (std::vector<std::string>{"HEAD", "GET", "HEAD", "GET"}));
}
