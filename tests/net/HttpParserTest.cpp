// The answer reader over bytes from a string, without a socket.
#include "net/HttpParser.h"
#include "support/StepByteSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace ocelis;

namespace {

struct TRead {
    THttpResponse Response;
    std::string Body;
    std::vector<int64_t> Counts;
};

TRead ReadAnswer(const std::string& wire, std::size_t step = 7, int32_t portion = 4) {
    ocelis::test::TStepByteSource source(wire, step);
    THttpReader reader(source);
    reader.Limits.Portion = portion;
    TRead r;
    reader.OnPortion = [&](int64_t count) { r.Counts.push_back(count); };
    int64_t budget = reader.Limits.MaxHeaderSize;
    bool gotAny = false;
    while (reader.ReadStatusAndHeaders(r.Response, budget, gotAny) == 100) {
    }
    reader.ReadBody(r.Response, r.Body, 0, 1 << 20);
    return r;
}

} // namespace

TEST(HttpReader, BodiesAndWhetherTheyArrivedWhole) {
    struct Case {
        std::string Wire, Body;
        bool Complete;
    };
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    for (const Case& c : {
             Case{ok + "Content-Length: 10\r\n\r\n0123456789", "0123456789", true},
             Case{ok + "Content-Length: 10\r\n\r\n0123", "0123", false},
             Case{ok + "\r\nuntil the close", "until the close", true},
             Case{ok + "Transfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2;x\r\nde\r\n0\r\n\r\n",
                  "abcde", true},
             Case{"HTTP/1.1 100 Continue\r\n\r\n" + ok + "Content-Length: 2\r\n\r\nhi", "hi", true},
         }) {
        const TRead r = ReadAnswer(c.Wire);
        EXPECT_EQ(r.Body, c.Body) << c.Wire;
        EXPECT_EQ(r.Response.BodyComplete, c.Complete) << c.Wire;
        EXPECT_EQ(r.Response.ResponseCode, 200);
    }
    // Portions of at most 4 bytes, counted from the start of the body.
    EXPECT_EQ(ReadAnswer(ok + "Content-Length: 10\r\n\r\n0123456789", 64).Counts,
              (std::vector<int64_t>{4, 8, 10}));
    // A chunked body cut short fails; the response says it is not complete.
    ocelis::test::TStepByteSource source(ok + "Transfer-Encoding: chunked\r\n\r\na\r\n01234", 64);
    THttpReader reader(source);
    THttpResponse response;
    int64_t budget = 1 << 20;
    bool gotAny = false;
    reader.ReadStatusAndHeaders(response, budget, gotAny);
    std::string body;
    EXPECT_THROW(reader.ReadBody(response, body, 0, 1 << 20), EHttpError);
    EXPECT_FALSE(response.BodyComplete);
}

TEST(HttpReader, LastModifiedKeepsTheServersInstant) {
    const TRead r = ReadAnswer("HTTP/1.1 200 OK\r\nLast-Modified: Sun, 27 Oct 2024 01:10:00 "
                               "GMT\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(r.Response.LastModified.Utc, 1729991400);
    EXPECT_EQ(ReadAnswer("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n").Response.LastModified.Utc,
              kZeroDateUnix);
}

TEST(HttpReader, StatusCodesAndChunkSizes) {
    EXPECT_EQ(ParseStatusCode("HTTP/1.1 404 Not Found"), 404);
    EXPECT_EQ(ParseStatusCode("HTTP/1.1 abc"), -1);
    EXPECT_EQ(ParseStatusCode("HTTP/1.1"), -1);
    EXPECT_EQ(ParseStatusCode("HTTP/1.1 99999999999"), -1);
    EXPECT_EQ(ParseChunkSize("1A ; ext"), 26);
    EXPECT_EQ(ParseChunkSize("zz"), 0);
    EXPECT_EQ(ParseChunkSize("FFFFFFFFFFFFFFFFF"), -1);
}

TEST(HttpReader, SetCookieValues) {
    THttpCookie c;
    bool expired = false;
    ASSERT_TRUE(
        ParseSetCookie(" id=7; Domain=.Cam.example; Path=/pics", "www.cam.example", 0, c, expired));
    EXPECT_EQ(c.Name + "=" + c.Value + " " + c.Domain + c.Path, "id=7 cam.example/pics");
    EXPECT_FALSE(c.HostOnly);
    EXPECT_FALSE(expired);
    // A domain that is not above the host is ignored.
    ASSERT_TRUE(ParseSetCookie("a=1; Domain=other.example", "www.cam.example", 0, c, expired));
    EXPECT_EQ(c.Domain, "www.cam.example");
    EXPECT_TRUE(c.HostOnly);
    ASSERT_TRUE(ParseSetCookie("a=1; Max-Age=0", "h", 0, c, expired));
    EXPECT_TRUE(expired);
    ASSERT_TRUE(
        ParseSetCookie("a=1; Expires=Sun, 06 Nov 1994 08:49:37 GMT", "h", 784111778, c, expired));
    EXPECT_TRUE(expired);
    EXPECT_FALSE(ParseSetCookie("novalue", "h", 0, c, expired));
    EXPECT_FALSE(ParseSetCookie("a=" + std::string(5000, 'x'), "h", 0, c, expired));
}
