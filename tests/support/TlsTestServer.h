// A loopback TLS server for tests: it ends TLS and passes every connection on as a plain
// connection of its own to an HttpTestServer, which scripts the answers and records the
// requests exactly as they were inside TLS.
#pragma once

#include "support/HttpTestServer.h"
#include "support/TestCertificates.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ssl_ctx_st;

namespace ocelis::test {

class TlsTestServer {
public:
    TlsTestServer(const HttpTestServer& inner, const TestCert& cert);
    ~TlsTestServer();
    TlsTestServer(const TlsTestServer&) = delete;
    TlsTestServer& operator=(const TlsTestServer&) = delete;

    uint16_t Port() const { return FPort; }
    // "https://host:port" + path.
    std::string Url(const std::string& path = "/", const std::string& host = "127.0.0.1") const;
    // Connections accepted, handshakes completed, and those of them that resumed a session.
    int Accepted() const { return FAccepted.load(); }
    int Handshakes() const { return FHandshakes.load(); }
    int Resumed() const;
    // For each connection accepted, in order: whether its handshake resumed a session.
    std::vector<bool> SessionReuse() const;
    // Takes connections but never answers their handshake.
    void StallHandshakes(bool on) { FStall = on; }

    void Stop();

private:
    void AcceptLoop();
    void Serve(int fd, std::size_t connection);

    uint16_t FInnerPort;
    ssl_ctx_st* FContext = nullptr;
    int FListenFd = -1;
    int FStopFd = -1;
    uint16_t FPort = 0;
    std::atomic<bool> FStopping{false};
    std::atomic<bool> FStall{false};
    std::atomic<int> FAccepted{0};
    std::atomic<int> FHandshakes{0};
    mutable std::mutex FMutex;
    std::vector<bool> FReused; // by connection
    std::vector<int> FOpenFds;
    std::vector<std::thread> FWorkers;
    std::thread FAcceptor;
};

} // namespace ocelis::test
