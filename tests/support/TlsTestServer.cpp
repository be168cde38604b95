#include "support/TlsTestServer.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ocelis::test {

namespace {

int ConnectLoopback(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

bool SendAll(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
        if (w <= 0)
            return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

} // namespace

TlsTestServer::TlsTestServer(const HttpTestServer& inner, const TestCert& cert)
    : FInnerPort(inner.Port()) {
    FContext = SSL_CTX_new(TLS_server_method());
    BIO* certBio = BIO_new_mem_buf(cert.CertPem.data(), static_cast<int>(cert.CertPem.size()));
    BIO* keyBio = BIO_new_mem_buf(cert.KeyPem.data(), static_cast<int>(cert.KeyPem.size()));
    X509* x = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
    EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    const bool ok = FContext && x && key && SSL_CTX_use_certificate(FContext, x) == 1 &&
                    SSL_CTX_use_PrivateKey(FContext, key) == 1;
    X509_free(x);
    EVP_PKEY_free(key);
    BIO_free(certBio);
    BIO_free(keyBio);
    if (!ok)
        throw std::runtime_error("TLS test server: certificate");
    SSL_CTX_set_session_id_context(FContext, reinterpret_cast<const unsigned char*>("ocelis"), 6);

    FStopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    FListenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(FListenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(FListenFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(FListenFd, 64) != 0 ||
        getsockname(FListenFd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error(std::string("TLS test server: ") + std::strerror(errno));
    FPort = ntohs(a.sin_port);
    FAcceptor = std::thread([this] { AcceptLoop(); });
}

TlsTestServer::~TlsTestServer() {
    Stop();
    SSL_CTX_free(FContext);
}

int TlsTestServer::Resumed() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return static_cast<int>(std::count(FReused.begin(), FReused.end(), true));
}

std::vector<bool> TlsTestServer::SessionReuse() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FReused;
}

std::string TlsTestServer::Url(const std::string& path, const std::string& host) const {
    return "https://" + host + ":" + std::to_string(FPort) + path;
}

void TlsTestServer::Stop() {
    if (FStopping.exchange(true))
        return;
    uint64_t one = 1;
    [[maybe_unused]] ssize_t w = write(FStopFd, &one, sizeof one);
    {
        std::lock_guard<std::mutex> lock(FMutex);
        for (int fd : FOpenFds)
            shutdown(fd, SHUT_RDWR);
    }
    if (FAcceptor.joinable())
        FAcceptor.join();
    for (auto& t : FWorkers)
        t.join();
    close(FListenFd);
    close(FStopFd);
}

void TlsTestServer::AcceptLoop() {
    while (!FStopping) {
        pollfd fds[2] = {{FListenFd, POLLIN, 0}, {FStopFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (FStopping)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int fd = accept4(FListenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::lock_guard<std::mutex> lock(FMutex);
        FOpenFds.push_back(fd);
        ++FAccepted;
        FReused.push_back(false);
        FWorkers.emplace_back(
            [this, fd, connection = FReused.size() - 1] { Serve(fd, connection); });
    }
}

void TlsTestServer::Serve(int fd, std::size_t connection) {
    // OpenSSL writes to a socket the client may have closed; no SIGPIPE for this thread.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    SSL* ssl = nullptr;
    int inner = -1;
    if (FStall) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {FStopFd, POLLIN, 0}};
        char buf[256];
        while (poll(fds, 2, -1) >= 0 && !FStopping && recv(fd, buf, sizeof buf, 0) > 0) {
        }
    } else if ((ssl = SSL_new(FContext)) != nullptr && SSL_set_fd(ssl, fd) == 1 &&
               SSL_accept(ssl) == 1) {
        ++FHandshakes;
        if (SSL_session_reused(ssl) == 1) {
            std::lock_guard<std::mutex> lock(FMutex);
            FReused[connection] = true;
        }
        inner = ConnectLoopback(FInnerPort);
        char buf[16384];
        bool clean = false;
        while (inner >= 0 && !FStopping) {
            pollfd fds[3] = {{fd, POLLIN, 0}, {inner, POLLIN, 0}, {FStopFd, POLLIN, 0}};
            if (SSL_pending(ssl) == 0 && poll(fds, 3, -1) < 0 && errno != EINTR)
                break;
            if (FStopping)
                break;
            if (SSL_pending(ssl) > 0 || fds[0].revents) {
                const int n = SSL_read(ssl, buf, sizeof buf);
                if (n <= 0 || !SendAll(inner, buf, static_cast<std::size_t>(n)))
                    break;
            }
            if (fds[1].revents) {
                const ssize_t n = recv(inner, buf, sizeof buf, 0);
                if (n == 0)
                    clean = true;
                if (n <= 0 || SSL_write(ssl, buf, static_cast<int>(n)) <= 0)
                    break;
            }
        }
        if (clean)
            SSL_shutdown(ssl);
    }
    ERR_clear_error();
    if (inner >= 0)
        close(inner);
    SSL_free(ssl);
    std::lock_guard<std::mutex> lock(FMutex);
    FOpenFds.erase(std::remove(FOpenFds.begin(), FOpenFds.end(), fd), FOpenFds.end());
    close(fd);
}

} // namespace ocelis::test
