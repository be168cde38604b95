// The demo webcam server that run.sh starts: HEAD and GET with Last-Modified and
// Content-Length, a JPEG that decodes and changes, clean answers to bad requests.
#include "E2eSupport.h"

#include "imaging/Jpeg.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

using namespace ocelis::e2e;

namespace {

// Sends one request on a fresh connection and reads until the server closes.
std::string Exchange(int port, const std::string& request) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval tv{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
        char buf[65536];
        ssize_t n;
        while ((n = recv(fd, buf, sizeof buf, 0)) > 0)
            reply.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return reply;
}

std::string Header(const std::string& reply, const std::string& name) {
    const size_t at = reply.find("\r\n" + name + ": ");
    if (at == std::string::npos)
        return {};
    const size_t start = at + name.size() + 4;
    return reply.substr(start, reply.find("\r\n", start) - start);
}

std::string Body(const std::string& reply) {
    const size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : reply.substr(end + 4);
}

} // namespace

TEST(DemoCam, ServesAChangingJpegWithTheHeadersAViewerUses) {
    Sandbox box("democam");
    Process server;
    ASSERT_TRUE(
        server.Start({DEMO_BIN, "--interval", "1", "--port-file", (box.root / "port").string()},
                     box.Env(), box.Log("demo")));
    ASSERT_TRUE(ocelis::test::WaitUntil([&] { return fs::exists(box.root / "port"); }, 10s));
    const int port = std::stoi(ReadFileBytes(box.root / "port"));

    const std::string head = Exchange(port, "HEAD /cam.jpg HTTP/1.1\r\nHost: x\r\n"
                                            "Connection: close\r\n\r\n");
    EXPECT_EQ(head.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << head;
    EXPECT_FALSE(Header(head, "Last-Modified").empty());
    EXPECT_TRUE(Body(head).empty());

    const std::string get = Exchange(port, "GET /cam.jpg HTTP/1.0\r\n\r\n");
    const std::string body = Body(get);
    ASSERT_EQ(Header(get, "Content-Length"), std::to_string(body.size()));
    const ocelis::TBitmap picture = ocelis::DecodeJpeg(body);
    EXPECT_EQ(picture.Width, 320);
    EXPECT_EQ(picture.Height, 240);

    // A new picture with a new Last-Modified within a few intervals.
    const std::string first = Header(get, "Last-Modified");
    std::string later;
    EXPECT_TRUE(ocelis::test::WaitUntil(
        [&] {
            later = Exchange(port, "HEAD / HTTP/1.0\r\n\r\n");
            return Header(later, "Last-Modified") != first;
        },
        5s));
    EXPECT_NE(Body(Exchange(port, "GET /cam.jpg HTTP/1.0\r\n\r\n")), body);

    // Bad requests get a clean answer or a closed connection, and the server goes on.
    EXPECT_EQ(Exchange(port, "POST /cam.jpg HTTP/1.0\r\n\r\n").rfind("HTTP/1.1 405", 0), 0u);
    EXPECT_EQ(Exchange(port, "GET /other HTTP/1.0\r\n\r\n").rfind("HTTP/1.1 404", 0), 0u);
    EXPECT_EQ(Exchange(port, "GET /" + std::string(40000, 'a')), "");
    EXPECT_TRUE(server.Running());
    EXPECT_EQ(Exchange(port, "HEAD / HTTP/1.0\r\n\r\n").rfind("HTTP/1.1 200", 0), 0u);
}
