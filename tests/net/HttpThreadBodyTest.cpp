// The viewer thread's change test across a change of the local offset, and what it tells
// the window about bodies cut short.
#include "net/HttpThread.h"
#include "support/HttpTestServer.h"
#include "support/WorkerFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace std::chrono_literals;
using ocelis::test::HttpAnswer;
using ocelis::test::HttpRequestSeen;
using ocelis::test::HttpTestServer;
using ocelis::test::MakeResponse;
using ocelis::test::Reply;

namespace {

void SetZone(const char* zone) {
    if (zone)
        setenv("TZ", zone, 1);
    else
        unsetenv("TZ");
    tzset();
}

class THttpPollTest : public ocelis::test::TWorkerFixture {
protected:
    std::vector<std::string> Images; // "<bytes>|<complete>"

    // Polls with the handler until done holds, then stops the thread and waits until it is
    // gone (so the time zone can change safely afterwards).
    void Poll(HttpTestServer& server, int32_t refresh, const std::function<bool()>& done) {
        auto* t = new THttpThread(Loop);
        t->OnImage = [this](THttpThread& s) {
            Images.push_back(s.Stream + "|" + (s.BodyComplete ? "1" : "0"));
        };
        t->Url = server.Url("/cam.jpg");
        t->Refresh = refresh;
        t->Timing.Tick = 2ms;
        t->Timing.UnchangedPause = 2ms;
        t->Resume();
        EXPECT_TRUE(Serve(done));
        t->ClearHandlers();
        t->Terminate();
        EXPECT_TRUE(Serve([] { return Freed(); }));
    }
};
using HttpThreadDates = THttpPollTest;
using HttpThreadBody = THttpPollTest;

std::vector<std::string> Methods(const HttpTestServer& server, std::size_t n) {
    std::vector<std::string> m;
    for (const auto& r : server.Requests())
        if (m.size() < n)
            m.push_back(r.Method);
    return m;
}

} // namespace

TEST_F(HttpThreadDates, NewerServerDateIsFetchedWhenDaylightSavingEnds) {
    // In Berlin 01:10 GMT that night is 02:10 local time, earlier than 00:30 GMT (02:30).
    for (const char* zone : {"UTC", "Europe/Berlin"}) {
        SCOPED_TRACE(zone);
        SetZone(zone);
        // Whole header lines: GCC 12 at -O2 sees bounds errors in chains of short strings.
        const std::string dates[] = {"Last-Modified: Sun, 27 Oct 2024 00:30:00 GMT",
                                     "Last-Modified: Sun, 27 Oct 2024 01:10:00 GMT"};
        HttpTestServer server([&dates](const HttpRequestSeen& r) {
            const std::string& date = dates[r.Index < 2 ? 0 : 1];
            if (r.Method == "HEAD")
                return Reply(MakeResponse(200, "OK", {"Content-Length: 5", date}, "", false));
            return Reply(MakeResponse(200, "OK", {date}, "still"));
        });
        Poll(server, 1, [&] { return server.RequestCount() >= 5; });
        EXPECT_EQ(Methods(server, 5),
                  (std::vector<std::string>{"HEAD", "GET", "HEAD", "GET", "HEAD"}));
    }
    SetZone(nullptr);
}

TEST_F(HttpThreadBody, BodyCutShortIsHandedOverAsIncomplete) {
    const std::string full = "0123456789";
    HttpTestServer server([&](const HttpRequestSeen& r) {
        switch (r.Index) {
        case 0: // closed before its Content-Length
            return Reply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123", true);
        case 2: // a chunked body cut short fails the GET: nothing is handed over
            return Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                         "a\r\n01234",
                         true);
        default:
            return Reply(MakeResponse(200, "OK", {}, full));
        }
    });
    Poll(server, -1, [&] { return Images.size() >= 3; });
    EXPECT_EQ(Images, (std::vector<std::string>{"0123|0", full + "|1", full + "|1"}));
    EXPECT_EQ(Methods(server, 4), (std::vector<std::string>{"GET", "GET", "GET", "GET"}));
}
