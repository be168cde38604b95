#include "net/TlsConnection.h"

#include "net/HttpFailure.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

namespace ocelis {

namespace {

// The socket under the TLS layer. OpenSSL's own socket layer writes without MSG_NOSIGNAL, so
// a server that has gone away would end the process with SIGPIPE.
struct TSocketState {
    int Fd = -1;
    bool Eof = false;
    int Errno = 0;
};

TSocketState* StateOf(BIO* b) {
    return static_cast<TSocketState*>(BIO_get_data(b));
}

int SocketWrite(BIO* b, const char* data, std::size_t len, std::size_t* written) {
    TSocketState* s = StateOf(b);
    BIO_clear_retry_flags(b);
    for (;;) {
        const ssize_t n = send(s->Fd, data, len, MSG_NOSIGNAL);
        if (n >= 0) {
            *written = static_cast<std::size_t>(n);
            return 1;
        }
        if (errno == EINTR)
            continue;
        s->Errno = errno;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            BIO_set_retry_write(b);
        return 0;
    }
}

int SocketRead(BIO* b, char* data, std::size_t len, std::size_t* readBytes) {
    TSocketState* s = StateOf(b);
    BIO_clear_retry_flags(b);
    for (;;) {
        const ssize_t n = recv(s->Fd, data, len, 0);
        if (n > 0) {
            *readBytes = static_cast<std::size_t>(n);
            return 1;
        }
        if (n == 0) {
            s->Eof = true;
            return 0;
        }
        if (errno == EINTR)
            continue;
        s->Errno = errno;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            BIO_set_retry_read(b);
        return 0;
    }
}

long SocketCtrl(BIO* b, int cmd, long, void*) {
    switch (cmd) {
    case BIO_CTRL_FLUSH:
        return 1;
    case BIO_CTRL_EOF:
        return StateOf(b)->Eof ? 1 : 0;
    default:
        return 0;
    }
}

int SocketCreate(BIO* b) {
    BIO_set_data(b, new TSocketState);
    BIO_set_init(b, 1);
    return 1;
}

int SocketDestroy(BIO* b) {
    delete StateOf(b);
    BIO_set_data(b, nullptr);
    return 1;
}

BIO_METHOD* SocketMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "ocelis socket");
        if (m) {
            BIO_meth_set_write_ex(m, SocketWrite);
            BIO_meth_set_read_ex(m, SocketRead);
            BIO_meth_set_ctrl(m, SocketCtrl);
            BIO_meth_set_create(m, SocketCreate);
            BIO_meth_set_destroy(m, SocketDestroy);
        }
        return m;
    }();
    return method;
}

std::string OpenSslReason() {
    const unsigned long e = ERR_get_error();
    ERR_clear_error();
    if (e == 0)
        return {};
    if (const char* r = ERR_reason_error_string(e))
        return r;
    char buf[256];
    ERR_error_string_n(e, buf, sizeof buf);
    return buf;
}

} // namespace

namespace {

// One context for the process: the trust store is read once, and OpenSSL shares a context
// between threads safely.
SSL_CTX* TlsContext() {
    static SSL_CTX* context = []() -> SSL_CTX* {
        SSL_CTX* c = SSL_CTX_new(TLS_client_method());
        if (!c)
            return nullptr;
        SSL_CTX_set_min_proto_version(c, TLS1_2_VERSION);
        SSL_CTX_set_verify(c, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_default_verify_paths(c);
        // Many camera servers close without close_notify; a cut body is judged by its length,
        // as over plain http.
        SSL_CTX_set_options(c, SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_RENEGOTIATION);
        SSL_CTX_set_mode(c, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        SSL_CTX_set_session_cache_mode(c, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
        SSL_CTX_sess_set_new_cb(c, &TTlsConnection::NewSession);
        return c;
    }();
    return context;
}

} // namespace

TTlsConnection::TTlsConnection(int fd, const std::string& host, const TTlsSession& resume)
    : FHost(host) {
    if (FHost.size() >= 2 && FHost.front() == '[' && FHost.back() == ']')
        FHost = FHost.substr(1, FHost.size() - 2);
    if (!FHost.empty() && FHost.back() == '.')
        FHost.pop_back();
    SSL_CTX* context = TlsContext();
    BIO_METHOD* method = SocketMethod();
    if (!context || !method)
        throw EHttpError("TLS is not available: " + OpenSslReason(), THttpFailure::Tls);
    FSsl = SSL_new(context);
    if (!FSsl)
        throw EHttpError("TLS is not available: " + OpenSslReason(), THttpFailure::Tls);
    BIO* bio = BIO_new(method);
    if (!bio) {
        SSL_free(FSsl);
        throw EHttpError("TLS is not available: " + OpenSslReason(), THttpFailure::Tls);
    }
    StateOf(bio)->Fd = fd;
    SSL_set_bio(FSsl, bio, bio);
    SSL_set_app_data(FSsl, this);
    SSL_set_connect_state(FSsl);
    unsigned char address[16];
    bool ok;
    if (inet_pton(AF_INET, FHost.c_str(), address) == 1 ||
        inet_pton(AF_INET6, FHost.c_str(), address) == 1) {
        // No SNI for an address literal; the certificate must name the address itself.
        ok = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(FSsl), FHost.c_str()) == 1;
    } else {
        SSL_set_hostflags(FSsl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        ok = SSL_ctrl(FSsl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                      const_cast<char*>(FHost.c_str())) == 1 &&
             SSL_set1_host(FSsl, FHost.c_str()) == 1;
    }
    if (ok && resume)
        SSL_set_session(FSsl, resume.get());
    if (!ok) {
        SSL_free(FSsl);
        throw EHttpError("TLS: cannot check a certificate for " + FHost + ": " + OpenSslReason(),
                         THttpFailure::Tls);
    }
}

TTlsConnection::~TTlsConnection() {
    SSL_set_app_data(FSsl, nullptr);
    SSL_free(FSsl);
}

int TTlsConnection::NewSession(ssl_st* ssl, ssl_session_st* session) {
    auto* self = static_cast<TTlsConnection*>(SSL_get_app_data(ssl));
    if (!self)
        return 0;
    self->FSession = TTlsSession(session, SSL_SESSION_free);
    return 1; // the reference is ours now
}

void TTlsConnection::Fail(const char* what, int err) {
    FFailed = true;
    std::string reason;
    const long verify = SSL_get_verify_result(FSsl);
    if (!FHandshakeDone && verify != X509_V_OK) {
        ERR_clear_error();
        reason = std::string("certificate not accepted: ") + X509_verify_cert_error_string(verify);
    } else {
        reason = OpenSslReason();
        if (reason.empty() && err == SSL_ERROR_SYSCALL) {
            const int e = StateOf(SSL_get_rbio(FSsl))->Errno;
            reason = e != 0 ? std::strerror(e) : "connection closed by the server";
        }
        if (reason.empty())
            reason = "error " + std::to_string(err);
    }
    throw EHttpError(std::string(what) + " with " + FHost + " failed: " + reason,
                     THttpFailure::Tls);
}

TTlsConnection::TStatus TTlsConnection::Result(int rc, const char* what) {
    const int err = SSL_get_error(FSsl, rc);
    switch (err) {
    case SSL_ERROR_WANT_READ:
        return TStatus::WantRead;
    case SSL_ERROR_WANT_WRITE:
        return TStatus::WantWrite;
    case SSL_ERROR_ZERO_RETURN:
        return TStatus::Closed;
    default:
        Fail(what, err);
    }
}

TTlsConnection::TStatus TTlsConnection::Handshake() {
    ERR_clear_error();
    const int rc = SSL_do_handshake(FSsl);
    if (rc == 1) {
        FHandshakeDone = true;
        return TStatus::Done;
    }
    const TStatus status = Result(rc, "TLS handshake");
    if (status == TStatus::Closed) {
        FFailed = true;
        throw EHttpError("TLS handshake with " + FHost + " failed: connection closed by the server",
                         THttpFailure::Tls);
    }
    return status;
}

TTlsConnection::TStatus TTlsConnection::Read(char* dst, std::size_t max, std::size_t& got) {
    ERR_clear_error();
    got = 0;
    if (SSL_read_ex(FSsl, dst, max, &got) == 1)
        return TStatus::Done;
    return Result(0, "TLS read");
}

TTlsConnection::TStatus TTlsConnection::Write(const char* src, std::size_t n, std::size_t& sent) {
    ERR_clear_error();
    sent = 0;
    if (SSL_write_ex(FSsl, src, n, &sent) == 1)
        return TStatus::Done;
    const TStatus status = Result(0, "TLS write");
    if (status == TStatus::Closed) {
        FFailed = true;
        throw EHttpError("TLS write to " + FHost + " failed: connection closed by the server",
                         THttpFailure::Tls);
    }
    return status;
}

bool TTlsConnection::Pending() const {
    return SSL_pending(FSsl) > 0;
}

TTlsSession TTlsConnection::Session() const {
    if (FSession && SSL_SESSION_is_resumable(FSession.get()) == 1)
        return FSession;
    return nullptr;
}

void TTlsConnection::Shutdown() {
    if (FFailed || !FHandshakeDone || FShutDown)
        return;
    FShutDown = true;
    ERR_clear_error();
    SSL_shutdown(FSsl);
    ERR_clear_error();
}

} // namespace ocelis
