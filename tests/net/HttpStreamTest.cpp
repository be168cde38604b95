// Webcams that answer with a stream of pictures (multipart/x-mixed-replace) instead of one.
#include "net/HttpThread.h"
#include "support/HttpTestServer.h"
#include "support/WorkerFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using ocelis::test::HttpAnswer;
using ocelis::test::HttpRequestSeen;
using ocelis::test::HttpTestServer;

namespace {

std::string StreamHead(const std::string& boundaryParam = "frame") {
    return "HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace; boundary=" + boundaryParam +
           "\r\nCache-Control: no-cache\r\n\r\n";
}

std::string Part(const std::string& bytes, bool withLength = true,
                 const std::string& delimiter = "--frame") {
    std::string p = delimiter + "\r\nContent-Type: image/jpeg\r\n";
    if (withLength)
        p += "Content-Length: " + std::to_string(bytes.size()) + "\r\n";
    return p + "\r\n" + bytes + "\r\n";
}

// A stream of pictures "pic<n>" sent every interval, count of them, then stalled.
HttpAnswer Pictures(int count, std::chrono::milliseconds interval, int first = 0) {
    HttpAnswer a;
    a.Send(StreamHead());
    for (int i = first; i < first + count; ++i)
        a.Send(Part("pic" + std::to_string(i))).Pause(interval);
    a.Stall();
    return a;
}

struct Window {
    std::vector<std::string> Images;
    std::vector<int32_t> Ticks;
    void Attach(THttpThread& t) {
        t.OnImage = [this](THttpThread& s) { Images.push_back(s.Stream); };
        t.OnTick = [this](THttpThread& s) { Ticks.push_back(s.Countdown); };
    }
};

class HttpStreamTest : public ocelis::test::TWorkerFixture {
protected:
    THttpThread* Make(int32_t refresh) {
        auto* t = new THttpThread(Loop);
        W.Attach(*t);
        t->Url = Server.Url("/stream");
        t->Refresh = refresh;
        t->Timing.Tick = 20ms;
        t->Timing.UnchangedPause = 5ms;
        t->Timing.GetReadTimeout = 30000;
        t->Timing.HeadReadTimeout = 3000;
        t->Timing.MaxBodySize = 100;
        Thread = t;
        return t;
    }
    void TearDown() override {
        if (Thread && !Freed()) {
            Thread->ClearHandlers();
            Thread->Terminate();
        }
        Server.Stop();
        TWorkerFixture::TearDown();
    }
    int Count(const std::string& method) {
        const auto r = Server.Requests();
        return static_cast<int>(
            std::count_if(r.begin(), r.end(), [&](const auto& q) { return q.Method == method; }));
    }

    HttpTestServer Server;
    Window W;
    THttpThread* Thread = nullptr;
};

// Refresh of 10 s and more: one picture per cycle, then the connection is closed.
TEST_F(HttpStreamTest, LongIntervalTakesTheFirstCompletePictureOfEveryForm) {
    const std::string big(150, 'B');
    struct TCase {
        const char* Name;
        std::string Answer;
        std::string Picture;
    };
    const TCase cases[] = {
        {"quoted boundary", StreamHead("\"frame\"") + Part("one"), "one"},
        {"no dashes in the body", StreamHead("frame") + Part("two", true, "frame"), "two"},
        {"dashes in the header", StreamHead("--frame") + Part("three", true, "--frame"), "three"},
        {"no lengths", StreamHead() + Part("four\r\nx", false) + "--frame\r\n", "four\r\nx"},
        {"oversized part first", StreamHead() + Part(big) + Part("five"), "five"},
        {"oversized part without length",
         StreamHead() + Part(big, false) + Part("six", false) + "--frame\r\n", "six"},
        {"chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Type: "
         "multipart/x-mixed-replace;boundary=frame\r\n\r\n" +
             ocelis::test::Chunked({Part("sev"), Part("en")}).substr(0, 20),
         ""},
    };
    for (const TCase& c : cases) {
        std::string answer = c.Answer;
        std::string picture = c.Picture;
        if (picture.empty()) { // the chunked case: the picture spans chunks
            const std::string body = Part("seven") + Part("eight");
            answer = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Type: "
                     "multipart/x-mixed-replace;boundary=frame\r\n\r\n" +
                     ocelis::test::Chunked({body.substr(0, 30), body.substr(30)})
                         .substr(0, std::string::npos);
            // Leave out the last chunk: a stream never ends.
            answer.resize(answer.size() - 5);
            picture = "seven";
        }
        W = Window{};
        Server.SetHandler([answer](const HttpRequestSeen& r) {
            HttpAnswer a;
            if (r.Method == "HEAD")
                a.Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
            else
                a.Send(answer).Stall();
            return a;
        });
        const int before = Server.Connections();
        THttpThread* t = Make(10);
        t->Resume();
        ASSERT_TRUE(Serve([&] { return !W.Images.empty(); })) << c.Name;
        EXPECT_EQ(W.Images[0], picture) << c.Name;
        // Closed after the first picture, although the server never ends the stream.
        EXPECT_TRUE(Server.WaitForOpenConnections(0, 10s)) << c.Name;
        EXPECT_TRUE(t->Streams()) << c.Name;
        Thread->ClearHandlers();
        Thread->Terminate();
        ASSERT_TRUE(Serve([&] { return Freed(); })) << c.Name;
        Thread = nullptr;
        EXPECT_EQ(Server.Connections() - before, 2) << c.Name; // the HEAD's and the GET's
    }
}

// Refresh 0: every picture through the non-blocking hand-over; a server that answers HEAD
// with the stream is asked by HEAD once, then never again.
TEST_F(HttpStreamTest, AlwaysRefreshShowsThePicturesAsTheyComeWithoutHead) {
    Server.SetHandler([](const HttpRequestSeen& r) {
        if (r.Method == "HEAD")
            return HttpAnswer().Send(StreamHead()).Stall();
        return Pictures(30, 2ms, r.Index * 100);
    });
    Make(0)->Resume();
    // The first GET learns that the URL streams; the second keeps its stream open.
    ASSERT_TRUE(Serve([&] { return !W.Images.empty() && W.Images.back() == "pic229"; }));
    EXPECT_EQ(W.Images.front(), "pic100");
    // In order, none twice: later pictures may replace undelivered ones, never the reverse.
    for (std::size_t i = 1; i < W.Images.size(); ++i)
        EXPECT_LT(std::stoi(W.Images[i - 1].substr(3)), std::stoi(W.Images[i].substr(3)));
    EXPECT_EQ(Count("HEAD"), 1);
    EXPECT_EQ(Count("GET"), 2);
    EXPECT_TRUE(W.Ticks.size() <= 2u);
}

// Refresh 1-9: the connection stays open; the newest picture every n seconds with the
// countdown in between, the pictures in between dropped.
TEST_F(HttpStreamTest, ShortIntervalKeepsTheStreamAndHandsOverTheNewest) {
    Server.SetHandler([](const HttpRequestSeen& r) {
        if (r.Method == "HEAD")
            return HttpAnswer().Send("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
        return Pictures(400, 1ms, r.Index * 1000);
    });
    Make(3)->Resume();
    ASSERT_TRUE(Serve([&] { return W.Images.size() >= 5; }));
    EXPECT_EQ(Server.Connections(), 3); // HEAD, the learning GET, the stream
    // Only the learning GET's and the stream's first picture are consecutive parts.
    EXPECT_EQ(W.Images[0], "pic1000");
    EXPECT_EQ(W.Images[1], "pic2000");
    EXPECT_LT(W.Images.size(), 20u);
    const std::vector<int32_t> cycle{3, 2, 1, 0, 3};
    const auto at = std::search(W.Ticks.begin(), W.Ticks.end(), cycle.begin(), cycle.end());
    EXPECT_NE(at, W.Ticks.end());
}

// A stream that stalls, ends mid-part, or takes too long over one part fails that cycle;
// the next cycle connects again and the window keeps its picture meanwhile.
TEST_F(HttpStreamTest, StallsAndCutsAreFailedFetchesThatReconnect) {
    struct TCase {
        const char* Name;
        HttpAnswer Answer;
    };
    const TCase cases[] = {
        {"one part then nothing", HttpAnswer().Send(StreamHead() + Part("p")).Stall()},
        {"cut mid-part",
         HttpAnswer().Send(StreamHead() + Part("p") + Part("cut").substr(0, 40)).Close()},
        {"a part too slow",
         HttpAnswer().Send(StreamHead() + Part("p")).Drip(Part("slow-slow-slow"), 40ms).Stall()},
    };
    for (const TCase& c : cases) {
        W = Window{};
        Server.SetHandler([&c](const HttpRequestSeen&) { return c.Answer; });
        const int before = Server.Connections();
        THttpThread* t = Make(0);
        t->Timing.GetReadTimeout = 300;
        t->Timing.PartTimeLimit = 400ms;
        t->Resume();
        ASSERT_TRUE(Serve([&] { return Server.Connections() - before >= 4; })) << c.Name;
        EXPECT_TRUE(std::all_of(W.Images.begin(), W.Images.end(), [](const std::string& s) {
            return s == "p";
        })) << c.Name;
        Thread->ClearHandlers();
        Thread->Terminate();
        ASSERT_TRUE(Serve([&] { return Freed(); })) << c.Name;
        Thread = nullptr;
    }
}

// Terminate (closing the viewer, a manual refresh) closes the stream's connection at once,
// long before any time-out could.
TEST_F(HttpStreamTest, TerminateClosesTheStream) {
    // With 10, the first picture of the second stream never comes.
    for (int32_t refresh : {0, 5, 10}) {
        W = Window{};
        Server.SetHandler([refresh](const HttpRequestSeen& r) {
            if (r.Method == "HEAD")
                return HttpAnswer().Send("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
            if (refresh == 10 && r.Index % 3 == 2)
                return HttpAnswer().Send(StreamHead()).Stall();
            return Pictures(1, 1ms);
        });
        const int before = Server.Connections();
        Make(refresh)->Resume();
        ASSERT_TRUE(Serve([&] { return Server.Connections() - before == 3; }));
        ASSERT_TRUE(Server.WaitForOpenConnections(1, 10s));
        Thread->Terminate();
        EXPECT_TRUE(Server.WaitForOpenConnections(0, 10s)) << refresh;
        ASSERT_TRUE(Serve([&] { return Freed(); }));
        Thread = nullptr;
    }
}

// The thumbnail threads and the editor's test take a stream's first picture and close.
TEST(HttpStreamClientTest, GetTakesTheFirstPictureAndCloses) {
    HttpTestServer server([](const HttpRequestSeen&) {
        return HttpAnswer().Send(StreamHead() + Part("first") + Part("second")).Stall();
    });
    THttpClient client;
    client.ReadTimeout = 30000;
    std::string body;
    client.Get(server.Url("/s"), body);
    EXPECT_EQ(body, "first");
    EXPECT_TRUE(client.Response.Streamed);
    EXPECT_FALSE(client.Connected());
    EXPECT_TRUE(server.WaitForOpenConnections(0, 10s));
}

} // namespace
