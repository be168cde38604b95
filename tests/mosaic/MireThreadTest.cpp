#include "mosaic/MireThread.h"

#include "support/HttpTestServer.h"
#include "support/TestJpeg.h"
#include "support/WorkerFixture.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using ocelis::test::HttpAnswer;
using ocelis::test::HttpRequestSeen;
using ocelis::test::HttpTestServer;
using ocelis::test::MakeResponse;
using ocelis::test::Reply;

namespace {

const std::string kDate = "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT";

std::string Head(const std::vector<std::string>& headers, const std::string& status = "200 OK") {
    std::string s = "HTTP/1.1 " + status + "\r\n";
    for (const auto& h : headers)
        s += h + "\r\n";
    return s + "\r\n";
}

// One iteration as the window saw it in OnImage.
struct TSeen {
    bool Downloaded = false, Answered = false, Complete = true;
    std::string Data, Reason;
    int32_t Length = 0;
    int Index = -1;
};

// A window that cycles over webcams like the mosaic, storing each fetch's values, and
// stops its thread after Limit iterations (from OnNext, like the chooser).
struct TWindow {
    std::vector<std::string> Urls;
    std::vector<ocelis::TModifiedDate> Modified;
    std::vector<int32_t> Lengths;
    std::vector<TSeen> Seen;
    int Limit = 1000;
    int Nexts = 0;
    std::function<void(TMireThread&)> Inspect;

    void Next(TMireThread& t) {
        ++Nexts;
        if (static_cast<int>(Seen.size()) >= Limit) {
            t.Terminate();
            return;
        }
        t.Index = t.Index + 1 >= static_cast<int>(Urls.size()) ? 0 : t.Index + 1;
        const auto i = static_cast<size_t>(t.Index);
        t.Url = Urls[i];
        t.Referer = "http://ref.example/" + std::to_string(i);
        t.LastModified = Modified[i];
        t.ContentLength = Lengths[i];
    }
    void Image(TMireThread& t) {
        const auto i = static_cast<size_t>(t.Index);
        Seen.push_back({t.Downloaded, t.Answered, t.BodyComplete, t.Data, t.FailReason,
                        t.ContentLength, t.Index});
        Modified[i] = t.LastModified;
        Lengths[i] = t.ContentLength;
        if (Inspect)
            Inspect(t);
    }
};

class MireThreadTest : public ocelis::test::TWorkerFixture {
protected:
    void TearDown() override {
        Ref.Stop();
        TWorkerFixture::TearDown();
    }

    TMireThread* Start(std::vector<std::string> paths, int limit = 1000) {
        return Start(Server, W, paths, limit);
    }
    TMireThread* Start(HttpTestServer& server, TWindow& w, std::vector<std::string> paths,
                       int limit) {
        for (const auto& p : paths)
            w.Urls.push_back(server.Url(p));
        w.Modified.assign(paths.size(), {});
        w.Lengths.assign(paths.size(), 0);
        w.Limit = limit;
        auto* t = new TMireThread(Loop);
        t->Timing.GetReadTimeout = 300;
        t->Timing.HeadReadTimeout = 300;
        t->OnImage = [&w](TMireThread& s) { w.Image(s); };
        t->OnNext = [&w](TMireThread& s) { w.Next(s); };
        t->Index = -1;
        w.Next(*t);
        Ref = TMireThreadRef(t);
        if (Setup)
            Setup(*t);
        t->Resume();
        return t;
    }
    static std::string Methods(const HttpTestServer& server) {
        std::string m;
        for (const auto& r : server.Requests())
            m += (m.empty() ? "" : " ") + r.Method;
        return m;
    }

    HttpTestServer Server;
    TWindow W;
    TMireThreadRef Ref;
    std::function<void(TMireThread&)> Setup;
};

} // namespace

// ---- the change test over three passes of one webcam, by what the HEAD answers ----

TEST_F(MireThreadTest, HeadAnswersDecideTheDownloads) {
    struct TCase {
        const char* Name;
        std::vector<std::string> HeadHeaders; // the same for every HEAD
        bool GrowingLength;                   // Content-Length grows with each request
        std::string Methods;
        std::vector<int32_t> Lengths; // ContentLength seen in each OnImage
    };
    const std::vector<TCase> cases = {
        {"date and length", {kDate, "Content-Length: 5"}, false, "HEAD GET HEAD HEAD", {5, 5, 5}},
        // The missing length reads as -1, which differs from the 0 known at first only.
        // Nothing to tell a change by: polled by GET, HEAD left out after two of them.
        {"neither header", {}, false, "HEAD GET HEAD GET GET", {-1, -1, -1}},
        {"date only", {kDate}, false, "HEAD GET HEAD HEAD", {-1, -1, -1}},
        {"changing length", {}, true, "HEAD GET HEAD GET HEAD GET", {5, 7, 9}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        HttpTestServer server([&c](const HttpRequestSeen& r) {
            auto headers = c.HeadHeaders;
            if (c.GrowingLength)
                headers.push_back("Content-Length: " + std::to_string(5 + r.Index));
            if (r.Method == "HEAD")
                return Reply(Head(headers));
            return Reply(MakeResponse(200, "OK", c.HeadHeaders, "pic" + std::to_string(r.Index)));
        });
        TWindow w;
        Start(server, w, {"/cam.jpg"}, 3);
        ASSERT_TRUE(Serve([&] { return Freed(); }));
        EXPECT_EQ(Methods(server), c.Methods);
        ASSERT_EQ(w.Seen.size(), 3u);
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(w.Seen[i].Length, c.Lengths[i]) << i;
            EXPECT_TRUE(w.Seen[i].Answered) << i;
            // An unchanged picture leaves the buffer empty.
            EXPECT_EQ(w.Seen[i].Downloaded, !w.Seen[i].Data.empty()) << i;
        }
        EXPECT_EQ(w.Seen[0].Data, "pic1");
        // The stop from OnNext: no iteration after the third, no OnNext beyond the fourth.
        EXPECT_EQ(w.Nexts, 4);
    }
}

// A webcam whose server refuses HEAD: each pass fetches, but the same bytes again are
// no new picture and are not decoded.
TEST_F(MireThreadTest, RefusedHeadPollsByContentAndTheSamePictureIsNoNewOne) {
    std::atomic<int> gets{0};
    Server.SetHandler([&](const HttpRequestSeen& r) {
        if (r.Method == "HEAD")
            return Reply(Head({"Content-Length: 0"}, "405 Method Not Allowed"));
        return Reply(MakeResponse(200, "OK", {}, ++gets == 3 ? "new" : "old"));
    });
    std::vector<bool> unchanged;
    W.Inspect = [&](TMireThread& s) { unchanged.push_back(s.Unchanged); };
    Start({"/cam.jpg"}, 4);
    ASSERT_TRUE(Serve([&] { return Freed(); }));
    EXPECT_EQ(Methods(Server), "HEAD GET HEAD GET GET GET");
    EXPECT_EQ(unchanged, (std::vector<bool>{false, true, false, false}));
}

TEST_F(MireThreadTest, WebcamsInTurnGetTheirRefererOnTheGetAndFreshConnections) {
    Server.SetHandler([](const HttpRequestSeen& r) {
        if (r.Method == "HEAD")
            return Reply(Head({"Content-Length: 2"}));
        return Reply(MakeResponse(200, "OK", {}, r.Target.substr(1, 2)));
    });
    Setup = [](TMireThread& t) { t.Timing.GetReadTimeout = 700; };
    Start({"/a", "/b"}, 2);
    ASSERT_TRUE(Serve([&] { return Freed(); }));
    EXPECT_EQ(Methods(Server), "HEAD GET HEAD GET");
    auto reqs = Server.Requests();
    ASSERT_EQ(reqs.size(), 4u);
    EXPECT_NE(reqs[1].Raw.find("\r\nReferer: http://ref.example/0\r\n"), std::string::npos);
    EXPECT_NE(reqs[3].Raw.find("\r\nReferer: http://ref.example/1\r\n"), std::string::npos);
    // Every HEAD and every GET has a connection of its own.
    for (size_t i = 1; i < reqs.size(); ++i)
        EXPECT_NE(reqs[i].Connection, reqs[i - 1].Connection);
    ASSERT_EQ(W.Seen.size(), 2u);
    EXPECT_EQ(W.Seen[0].Index, 0);
    EXPECT_EQ(W.Seen[1].Data, "b");
}

// ---- failures ----

TEST_F(MireThreadTest, FailuresAreRecordedWithTheirReason) {
    struct TCase {
        const char* Name;
        std::function<HttpAnswer(const HttpRequestSeen&)> Handler;
        bool Downloaded;
        std::string Reason; // a part of it
        std::string Data;
    };
    const std::vector<TCase> cases = {
        {"error status",
         [](const HttpRequestSeen& r) {
             return Reply(r.Method == "HEAD" ? Head({"Content-Length: 9"}, "404 Not Found")
                                             : MakeResponse(404, "Not Found", {}, "not here!"));
         },
         true, "HTTP/1.1 404 Not Found", ""},
        {"stalled get",
         [](const HttpRequestSeen& r) {
             HttpAnswer a;
             if (r.Method == "HEAD")
                 return Reply(Head({"Content-Length: 10"}));
             a.Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\npart").Stall();
             return a;
         },
         true, "time-out", "part"},
        // A fresh client's HEAD is bounded too; the length it leaves (-1) then differs.
        {"stalled head",
         [](const HttpRequestSeen&) {
             HttpAnswer a;
             a.Stall();
             return a;
         },
         true, "time-out", ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        HttpTestServer server(c.Handler);
        TWindow w;
        Start(server, w, {"/cam.jpg"}, 1);
        ASSERT_TRUE(Serve([&] { return Freed(); }));
        ASSERT_EQ(w.Seen.size(), 1u);
        EXPECT_FALSE(w.Seen[0].Answered);
        EXPECT_EQ(w.Seen[0].Downloaded, c.Downloaded);
        EXPECT_NE(w.Seen[0].Reason.find(c.Reason), std::string::npos) << w.Seen[0].Reason;
        EXPECT_EQ(w.Seen[0].Data, c.Data);
        // LastModified keeps its value.
        EXPECT_EQ(w.Modified[0].Local, 0);
    }
    TMireThread defaults;
    EXPECT_EQ(defaults.Timing.GetReadTimeout, 5000);
    EXPECT_EQ(defaults.Timing.HeadReadTimeout, 5000);
}

// A failed GET costs the client: the next webcam's HEAD goes out on a fresh connection and
// is still bounded by the connect-and-HEAD time-out.
TEST_F(MireThreadTest, AfterAFailedGetTheNextHeadIsFreshAndBounded) {
    std::atomic<int> heads{0};
    Server.SetHandler([&](const HttpRequestSeen& r) {
        HttpAnswer a;
        if (r.Method == "HEAD" && heads++ == 0)
            return Reply(Head({"Content-Length: 10"}));
        if (r.Method == "GET")
            a.Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\npart");
        a.Stall();
        return a;
    });
    Start({"/a", "/b"}, 2);
    ASSERT_TRUE(Serve([&] { return Freed(); }));
    ASSERT_EQ(W.Seen.size(), 2u);
    EXPECT_NE(W.Seen[1].Reason.find("time-out"), std::string::npos) << W.Seen[1].Reason;
    // The failed HEAD leaves no length, which differs from the known one: a GET follows.
    auto reqs = Server.Requests();
    ASSERT_EQ(reqs.size(), 4u);
    EXPECT_EQ(reqs[2].Method, "HEAD");
    EXPECT_NE(reqs[2].Connection, reqs[1].Connection);
}

// ---- stopping ----

TEST_F(MireThreadTest, StopWhileARequestIsInFlightCallsNothingMore) {
    Server.SetHandler([](const HttpRequestSeen& r) {
        HttpAnswer a;
        if (r.Index == 0)
            return Reply(Head({"Content-Length: 4"}));
        if (r.Index == 1)
            return Reply(MakeResponse(200, "OK", {}, "pict"));
        if (r.Index == 2)
            return Reply(Head({"Content-Length: 5"}));
        a.Stall(); // the second GET
        return a;
    });
    Start({"/a"});
    ASSERT_TRUE(Serve([&] { return Server.RequestCount() == 4; }));
    const size_t seen = W.Seen.size();
    const int nexts = W.Nexts;
    Ref.Stop();
    EXPECT_FALSE(Ref.Alive());
    ASSERT_TRUE(Serve([&] { return Freed(); }));
    EXPECT_EQ(W.Seen.size(), seen);
    EXPECT_EQ(W.Nexts, nexts);
    EXPECT_EQ(seen, 1u);
    // A reference kept past the thread's end is harmless.
    Ref.Stop();
}

// ---- the picture decoded on the worker ----

TEST_F(MireThreadTest, PicturesAreDecodedOnTheWorkerAtTheSmallestCoveringScale) {
    const std::string jpeg = ocelis::test::SolidJpeg(640, 480, 90);
    struct TCase {
        const char* Name;
        std::string Answer;
        int32_t BoxW, BoxH;
        int32_t W, H;
        bool Failed, CutShort;
    };
    const std::vector<TCase> cases = {
        {"a small box", MakeResponse(200, "OK", {}, jpeg), 70, 52, 80, 60, false, false},
        {"a wider box", MakeResponse(200, "OK", {}, jpeg), 200, 100, 160, 120, false, false},
        {"no box", MakeResponse(200, "OK", {}, jpeg), 0, 0, 0, 0, false, false},
        {"not a picture", MakeResponse(200, "OK", {}, "<html>"), 70, 52, 0, 0, true, false},
        {"cut short",
         "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(jpeg.size()) + "\r\n\r\n" +
             jpeg.substr(0, jpeg.size() / 2),
         70, 52, 0, 0, true, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        HttpTestServer server([&c](const HttpRequestSeen& r) {
            HttpAnswer a;
            if (r.Method == "HEAD")
                return Reply(Head({"Content-Length: 1"}));
            a.Send(c.Answer).Close();
            return a;
        });
        ocelis::TBitmap got;
        bool failed = false, cutShort = false;
        auto* t = new TMireThread(Loop);
        t->Url = server.Url("/p.jpg");
        t->PictureWidth = c.BoxW;
        t->PictureHeight = c.BoxH;
        t->OnImage = [&](TMireThread& s) {
            got = std::move(s.Picture);
            failed = s.PictureFailed;
            cutShort = s.PictureCutShort;
        };
        t->OnNext = [](TMireThread& s) { s.Terminate(); };
        t->Resume();
        ASSERT_TRUE(Serve([&] { return Freed(); }));
        EXPECT_EQ(got.Width, c.W);
        EXPECT_EQ(got.Height, c.H);
        EXPECT_EQ(failed, c.Failed);
        EXPECT_EQ(cutShort, c.CutShort);
    }
}

// A webcam that streams pictures gives its first complete one, then the connection is
// closed; the next turn fetches again.
TEST_F(MireThreadTest, AStreamGivesItsFirstPictureEachTurn) {
    Server.SetHandler([](const HttpRequestSeen& r) {
        const std::string head = Head({"Content-Type: multipart/x-mixed-replace; boundary=\"b\""});
        if (r.Method == "HEAD")
            return HttpAnswer().Send(head).Stall();
        const std::string n = std::to_string(r.Index);
        return HttpAnswer()
            .Send(head + "--b\r\nContent-Length: " + std::to_string(n.size() + 3) + "\r\n\r\npic" +
                  n + "\r\n--b\r\nContent-Length: 4\r\n\r\nnext\r\n")
            .Stall();
    });
    Start({"/stream"}, 3);
    ASSERT_TRUE(Serve([&] { return Freed(); }));
    ASSERT_EQ(W.Seen.size(), 3u);
    EXPECT_EQ(W.Seen[0].Data, "pic1");
    EXPECT_EQ(W.Seen[1].Data, "pic3");
    EXPECT_EQ(W.Seen[2].Data, "pic4"); // polled by GET alone, as a HEAD tells nothing
    EXPECT_EQ(Methods(Server), "HEAD GET HEAD GET GET");
    EXPECT_TRUE(Server.WaitForOpenConnections(0, 10s));
}
