#include "net/FetchThreadRegistry.h"
#include "net/HttpClient.h"
#include "net/HttpThread.h"
#include "support/FakeGuiLoop.h"
#include "support/HttpTestServer.h"
#include "support/TestCertificates.h"
#include "support/TlsTestServer.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;
using ocelis::test::HttpAnswer;
using ocelis::test::HttpRequestSeen;
using ocelis::test::HttpTestServer;
using ocelis::test::MakeResponse;
using ocelis::test::TestCert;
using ocelis::test::TlsTestServer;
using ocelis::test::TrustedTestCertificates;

namespace {

// Before the first TLS context of the process exists, whichever test runs first.
[[maybe_unused]] const ocelis::test::TestCertificates& kCerts = TrustedTestCertificates();

std::string Picture(std::size_t size) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        body[i] = static_cast<char>(i * 31 + 7);
    return body;
}

HttpAnswer Image(const HttpRequestSeen& r, const std::string& body) {
    std::string answer = MakeResponse(200, "OK", {}, body);
    if (r.Method == "HEAD")
        answer.resize(answer.size() - body.size());
    return HttpAnswer().Send(answer);
}

// The plain server behind a TLS front; the client connects to the front whatever host the
// URL names, and verifies the certificate against the URL's host.
struct Fixture {
    explicit Fixture(const TestCert& cert = TrustedTestCertificates().Good) : Tls(Inner, cert) {
        Client.ReadTimeout = 3000;
        Client.ConnectAddress = "127.0.0.1:" + std::to_string(Tls.Port());
    }
    HttpTestServer Inner;
    TlsTestServer Tls;
    THttpClient Client;
};

} // namespace

TEST(Https, HeadThenGetAsTheThreadDoesWithTheSameBytesAsHttp) {
    const std::string body = Picture(50 * 1024);
    Fixture f;
    f.Inner.SetHandler([&](const HttpRequestSeen& r) { return Image(r, body); });
    for (const std::string host : {"127.0.0.1", "localhost"}) {
        const int before = f.Inner.RequestCount();
        const std::string url = f.Tls.Url("/cam.jpg?n=1", host);
        f.Client.ConnectAddress.clear();
        f.Client.Request.Referer = "http://ref.example/";
        f.Client.Head(url);
        EXPECT_EQ(f.Client.Response.ContentLength, 51200);
        f.Client.Disconnect();
        std::string got;
        f.Client.RecvBufferSize = 1024;
        f.Client.Get(url, got);
        EXPECT_EQ(got, body) << host;

        // The same requests over http, with the same port in the URL.
        THttpClient plain;
        plain.ConnectAddress = "127.0.0.1:" + std::to_string(f.Inner.Port());
        plain.Request.Referer = "http://ref.example/";
        const std::string httpUrl = "http://" + url.substr(8);
        plain.Head(httpUrl);
        plain.Get(httpUrl, got);
        const auto seen = f.Inner.Requests();
        ASSERT_EQ(seen.size(), static_cast<std::size_t>(before + 4));
        EXPECT_EQ(seen[before].Raw, seen[before + 2].Raw);
        EXPECT_EQ(seen[before + 1].Raw, seen[before + 3].Raw);
        EXPECT_EQ(seen[before + 1].Raw,
                  "GET /cam.jpg?n=1 HTTP/1.1\r\nHost: " + host + ":" +
                      std::to_string(f.Tls.Port()) +
                      "\r\nAccept: text/html, */*\r\nReferer: http://ref.example/\r\n"
                      "User-Agent: Mozilla/3.0 (compatible; Ocelis)\r\n\r\n");
    }
    // Each GET resumed the session of its HEAD's connection, for both server names.
    EXPECT_EQ(f.Client.ConnectCount(), 4);
    EXPECT_EQ(f.Tls.SessionReuse(), (std::vector<bool>{false, true, false, true}));
    EXPECT_EQ(f.Tls.Resumed(), 2);
}

// Port 443 is left out of the Host header; the connection is kept alive, and once the
// server has closed it the next request goes on a new one that resumes the session (writing
// into the closed one raises no SIGPIPE).
TEST(Https, DefaultPortKeepAliveAndReopeningWithTheSession) {
    Fixture f;
    f.Inner.Enqueue(HttpAnswer().Send(MakeResponse(200, "OK", {}, "one")));
    f.Inner.Enqueue(HttpAnswer().Send(MakeResponse(200, "OK", {}, "two")).Close());
    f.Inner.Enqueue(HttpAnswer().Send(MakeResponse(200, "OK", {}, "three")));
    std::string body;
    for (const char* url :
         {"https://localhost/a", "https://localhost:443/a", "https://localhost/a"}) {
        f.Client.Get(url, body);
        EXPECT_NE(f.Inner.Requests().back().Raw.find("\r\nHost: localhost\r\n"), std::string::npos);
        ASSERT_TRUE(f.Inner.WaitForOpenConnections(f.Inner.RequestCount() == 2 ? 0 : 1, 2s));
    }
    EXPECT_EQ(body, "onetwothree");
    EXPECT_EQ(f.Client.ConnectCount(), 2);
    EXPECT_EQ(f.Tls.SessionReuse(), (std::vector<bool>{false, true}));
}

TEST(Https, CertificatesThatDoNotProveTheServerAreRefused) {
    const auto& certs = TrustedTestCertificates();
    const std::pair<const TestCert*, const char*> cases[] = {
        {&certs.OtherHost, "IP address mismatch"},
        {&certs.Expired, "certificate has expired"},
        {&certs.SelfSigned, "self-signed certificate"},
    };
    for (const auto& [cert, reason] : cases) {
        Fixture f(*cert);
        std::string body = "kept";
        try {
            f.Client.Get(f.Tls.Url("/cam.jpg"), body);
            ADD_FAILURE() << reason << ": accepted";
        } catch (const EHttpError& e) {
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
        EXPECT_EQ(body, "kept");
        EXPECT_EQ(f.Inner.RequestCount(), 0) << reason;
        EXPECT_FALSE(f.Client.Connected());
    }
    // A name the certificate does not carry.
    Fixture other(certs.OtherHost);
    other.Inner.SetHandler([](const HttpRequestSeen& r) { return Image(r, "x"); });
    EXPECT_THROW(other.Client.Head("https://localhost/cam.jpg"), EHttpError);
    EXPECT_EQ(other.Inner.RequestCount(), 0);
    other.Client.Head("https://cam.other.example/cam.jpg");
    EXPECT_EQ(other.Inner.RequestCount(), 1);
}

TEST(Https, StalledHandshakeTimesOutOrIsAborted) {
    Fixture f;
    f.Tls.StallHandshakes(true);
    f.Client.ReadTimeout = 200;
    try {
        f.Client.Head(f.Tls.Url("/"));
        ADD_FAILURE() << "handshake did not time out";
    } catch (const EHttpError& e) {
        EXPECT_STREQ(e.what(), "TLS handshake time-out");
    }

    // No time-out at all: only Abort ends it.
    f.Client.ReadTimeout = 0;
    std::thread stopper([&] {
        ocelis::test::WaitUntil([&] { return f.Tls.Accepted() == 2; }, 5s);
        f.Client.Abort();
    });
    try {
        f.Client.Head(f.Tls.Url("/"));
        ADD_FAILURE() << "handshake was not aborted";
    } catch (const EHttpError& e) {
        EXPECT_STREQ(e.what(), "request aborted");
    }
    stopper.join();
    EXPECT_EQ(f.Tls.Handshakes(), 0);
}

// The whole answer is in the TLS layer's buffer while the server sends nothing more: the
// client must not wait on the socket for it.
TEST(Https, BufferedRecordsAreReadWithoutWaiting) {
    const std::string body = Picture(40000);
    Fixture f;
    f.Inner.Enqueue(HttpAnswer().Send(MakeResponse(200, "OK", {}, body)).Stall());
    f.Client.ReadTimeout = 1000;
    f.Client.RecvBufferSize = 1024;
    std::string got;
    f.Client.Get(f.Tls.Url("/"), got);
    EXPECT_EQ(got, body);
}

TEST(Https, CookiesSetOverHttpsAreNotSentOverHttp) {
    Fixture f;
    const std::string https = "https://localhost/a.jpg";
    const std::string http = "http://localhost/a.jpg";
    struct Step {
        const std::string* Url;
        std::string Sent; // the Cookie header; empty: none
        const char* Set;
    };
    const Step steps[] = {
        {&https, "", "s=1"},
        {&http, "", "p=2"},
        {&https, "s=1; p=2", "q=3"},
        {&http, "p=2", "s=forged"}, // may not replace the one set over https
        {&https, "s=1; p=2; q=3", "q=4"},
    };
    std::string body;
    for (const auto& [url, cookie, set] : steps) {
        f.Inner.Enqueue(
            HttpAnswer().Send(MakeResponse(200, "OK", {std::string("Set-Cookie: ") + set}, "x")));
        f.Client.ConnectAddress =
            "127.0.0.1:" + std::to_string(*url == https ? f.Tls.Port() : f.Inner.Port());
        f.Client.Get(*url, body);
        const std::string raw = f.Inner.Requests().back().Raw;
        const std::size_t at = raw.find("\r\nCookie: ");
        EXPECT_EQ(at == std::string::npos ? ""
                                          : raw.substr(at + 10, raw.find('\r', at + 2) - at - 10),
                  cookie);
    }
}

TEST(Https, ViewerThreadShowsAnHttpsPicture) {
    const std::string body = Picture(5000);
    Fixture f;
    f.Inner.SetHandler([&](const HttpRequestSeen& r) { return Image(r, body); });
    auto loop = std::make_shared<ocelis::FakeGuiLoop>();
    auto* t = new THttpThread(loop);
    std::vector<std::string> images;
    t->OnImage = [&](THttpThread& s) { images.push_back(s.Stream); };
    t->Url = f.Tls.Url("/cam.jpg", "localhost");
    t->Refresh = 1;
    t->Timing.Tick = 2ms;
    t->Timing.UnchangedPause = 2ms;
    t->Resume();
    const auto freed = [] { return ocelis::TFetchThreadRegistry::Instance().Count() == 0; };
    EXPECT_TRUE(loop->RunUntil([&] { return !images.empty(); }, 10s));
    t->ClearHandlers();
    t->Terminate();
    EXPECT_TRUE(loop->RunUntil(freed, 10s));
    ASSERT_FALSE(images.empty());
    EXPECT_EQ(images[0], body);
    EXPECT_GE(f.Tls.Resumed(), 1); // the GET after the HEAD's connection
}
