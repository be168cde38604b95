// A small webcam on loopback for trying Ocelis without the internet: it serves a JPEG that
// changes every few seconds (a moving bar and a clock), with Last-Modified and
// Content-Length, and answers HEAD and GET.
//
//   ocelis-demo-cam [--port N] [--interval SECONDS] [--port-file PATH]
//
// Port 0 (the default) takes a free port. The URL is printed on standard output.
#include "imaging/Bitmap.h"
#include "imaging/Jpeg.h"
#include "platform/AtomicFile.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using ocelis::TBitmap;

constexpr int kWidth = 320;
constexpr int kHeight = 240;

void Fill(TBitmap& b, int x0, int y0, int w, int h, uint8_t r, uint8_t g, uint8_t bl) {
    for (int y = std::max(0, y0); y < std::min(b.Height, y0 + h); ++y)
        for (int x = std::max(0, x0); x < std::min(b.Width, x0 + w); ++x) {
            uint8_t* p = b.Row(y) + static_cast<size_t>(x) * 3;
            p[0] = r;
            p[1] = g;
            p[2] = bl;
        }
}

// Seven-segment digits: bits a b c d e f g.
constexpr uint8_t kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

void DrawDigit(TBitmap& b, int x, int y, int d) {
    const int w = 18, h = 32, t = 4;
    const uint8_t s = kSegments[d % 10];
    auto seg = [&](int bit, int sx, int sy, int sw, int sh) {
        if (s & (1 << bit))
            Fill(b, x + sx, y + sy, sw, sh, 255, 255, 255);
    };
    seg(0, 0, 0, w, t);             // a
    seg(1, w - t, 0, t, h / 2);     // b
    seg(2, w - t, h / 2, t, h / 2); // c
    seg(3, 0, h - t, w, t);         // d
    seg(4, 0, h / 2, t, h / 2);     // e
    seg(5, 0, 0, t, h / 2);         // f
    seg(6, 0, h / 2 - t / 2, w, t); // g
}

TBitmap DrawFrame(long frame, time_t when) {
    TBitmap b;
    b.Resize(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* p = b.Row(y) + static_cast<size_t>(x) * 3;
            p[0] = static_cast<uint8_t>(30 + y / 3);
            p[1] = static_cast<uint8_t>(60 + x / 4);
            p[2] = static_cast<uint8_t>(140 + y / 4);
        }
    // Ground and a bar that moves one step per frame.
    Fill(b, 0, 170, kWidth, 70, 40, 110, 40);
    const int bar = static_cast<int>((frame * 40) % (kWidth + 40)) - 40;
    Fill(b, bar, 120, 40, 50, 230, 160, 20);
    // The clock: HH:MM:SS of the frame.
    tm lt{};
    localtime_r(&when, &lt);
    const int parts[3] = {lt.tm_hour, lt.tm_min, lt.tm_sec};
    int x = 60;
    for (int i = 0; i < 3; ++i) {
        DrawDigit(b, x, 40, parts[i] / 10);
        DrawDigit(b, x + 24, 40, parts[i] % 10);
        x += 48;
        if (i < 2) {
            Fill(b, x + 2, 50, 4, 4, 255, 255, 255);
            Fill(b, x + 2, 62, 4, 4, 255, 255, 255);
            x += 12;
        }
    }
    return b;
}

std::string HttpDate(time_t t) {
    tm g{};
    gmtime_r(&t, &g);
    char buf[64];
    strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S GMT", &g);
    return buf;
}

struct Frame {
    long index = -1;
    std::string jpeg;
    std::string lastModified;
};

std::mutex gFrameLock;
Frame gFrame;
int gInterval = 3;

Frame CurrentFrame() {
    const time_t now = time(nullptr);
    const long index = static_cast<long>(now / gInterval);
    std::lock_guard<std::mutex> lock(gFrameLock);
    if (gFrame.index != index) {
        const time_t start = static_cast<time_t>(index) * gInterval;
        gFrame.index = index;
        gFrame.jpeg = ocelis::EncodeJpeg(DrawFrame(index, start), 85);
        gFrame.lastModified = HttpDate(start);
    }
    return gFrame;
}

bool SendAll(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        const ssize_t w = send(fd, s.data() + done, s.size() - done, MSG_NOSIGNAL);
        if (w > 0)
            done += static_cast<size_t>(w);
        else if (w < 0 && errno == EINTR)
            continue;
        else
            return false;
    }
    return true;
}

void Serve(int fd) {
    timeval tv{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::string buf;
    char chunk[4096];
    for (;;) {
        size_t end;
        while ((end = buf.find("\r\n\r\n")) == std::string::npos) {
            if (buf.size() > 16384) {
                close(fd);
                return;
            }
            const ssize_t r = recv(fd, chunk, sizeof chunk, 0);
            if (r <= 0) {
                close(fd);
                return;
            }
            buf.append(chunk, static_cast<size_t>(r));
        }
        const std::string head = buf.substr(0, end);
        buf.erase(0, end + 4);
        const std::string line = head.substr(0, head.find("\r\n"));
        const size_t sp1 = line.find(' ');
        const size_t sp2 = line.find(' ', sp1 == std::string::npos ? 0 : sp1 + 1);
        const std::string method = line.substr(0, sp1);
        const std::string path =
            sp1 == std::string::npos ? "" : line.substr(sp1 + 1, sp2 - sp1 - 1);
        std::string lower = head;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const bool closeAfter = lower.find("connection: close") != std::string::npos ||
                                line.find("HTTP/1.0") != std::string::npos;
        std::string reply;
        if (method != "GET" && method != "HEAD") {
            reply = "HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n";
        } else if (path != "/" && path != "/cam.jpg") {
            reply = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n";
        } else {
            const Frame f = CurrentFrame();
            reply = "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n";
            reply += "Last-Modified: " + f.lastModified + "\r\n";
            reply += "Content-Length: " + std::to_string(f.jpeg.size()) + "\r\n";
            reply += "Cache-Control: no-cache\r\n";
            reply += closeAfter ? "Connection: close\r\n\r\n" : "\r\n";
            if (method == "GET")
                reply += f.jpeg;
            if (!SendAll(fd, reply) || closeAfter) {
                close(fd);
                return;
            }
            continue;
        }
        reply += closeAfter ? "Connection: close\r\n\r\n" : "\r\n";
        if (!SendAll(fd, reply) || closeAfter) {
            close(fd);
            return;
        }
    }
}

int Usage() {
    std::fprintf(stderr,
                 "usage: ocelis-demo-cam [--port N] [--interval SECONDS] [--port-file PATH]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    int port = 0;
    std::string portFile;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc)
            return Usage();
        if (a == "--port")
            port = std::atoi(argv[++i]);
        else if (a == "--interval")
            gInterval = std::max(1, std::atoi(argv[++i]));
        else if (a == "--port-file")
            portFile = argv[++i];
        else
            return Usage();
    }
    if (port < 0 || port > 65535)
        return Usage();

    const int ls = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(ls, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (ls < 0 || bind(ls, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(ls, 16) != 0) {
        std::fprintf(stderr, "ocelis-demo-cam: cannot listen on 127.0.0.1:%d: %s\n", port,
                     std::strerror(errno));
        return 1;
    }
    socklen_t len = sizeof addr;
    getsockname(ls, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    CurrentFrame(); // the first request is answered at once
    if (!portFile.empty())
        ocelis::TryWriteFileAtomic(portFile, std::to_string(port) + "\n");
    std::printf("ocelis-demo-cam: serving http://127.0.0.1:%d/cam.jpg (new image every %d s)\n",
                port, gInterval);
    std::fflush(stdout);
    for (;;) {
        const int c = accept4(ls, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EMFILE)
                continue;
            return 1;
        }
        std::thread(Serve, c).detach();
    }
}
