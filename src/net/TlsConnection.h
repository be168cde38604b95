// TLS over a connected non-blocking socket, through OpenSSL. The caller does the waiting on
// the socket (so that its time-outs and Abort apply); this class only says what to wait for.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

struct ssl_st;
struct ssl_session_st;

namespace ocelis {

// A session that a later connection to the same server may resume.
using TTlsSession = std::shared_ptr<ssl_session_st>;

class TTlsConnection {
public:
    enum class TStatus { Done, WantRead, WantWrite, Closed };

    // host: the name (or IP address) the certificate must be valid for; also sent as SNI
    // when it is a name. resume may be null.
    TTlsConnection(int fd, const std::string& host, const TTlsSession& resume);
    ~TTlsConnection();
    TTlsConnection(const TTlsConnection&) = delete;
    TTlsConnection& operator=(const TTlsConnection&) = delete;

    // Each of these throws EHttpError with the reason on a failure of TLS itself.
    TStatus Handshake();
    TStatus Read(char* dst, std::size_t max, std::size_t& got);
    TStatus Write(const char* src, std::size_t n, std::size_t& sent);

    // Decrypted bytes already buffered: a read returns them without waiting on the socket.
    bool Pending() const;
    // The newest session the server gave, when it can be resumed; null otherwise.
    TTlsSession Session() const;
    // Sends close_notify once without waiting for the answer, unless the connection failed.
    void Shutdown();

    // OpenSSL's call when a server hands out a session (TLS 1.3: after the handshake).
    static int NewSession(ssl_st* ssl, ssl_session_st* session);

private:
    TStatus Result(int rc, const char* what);
    [[noreturn]] void Fail(const char* what, int err);

    ssl_st* FSsl = nullptr;
    std::string FHost;
    TTlsSession FSession;
    bool FFailed = false;
    bool FHandshakeDone = false;
    bool FShutDown = false;
};

} // namespace ocelis
