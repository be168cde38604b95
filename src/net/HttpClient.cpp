#include "net/HttpClient.h"

#include "net/HttpAuth.h"
#include "net/TlsConnection.h"
#include "net/Url.h"
#include "util/Text.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <optional>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

using ocelis::AnsiLower;
using ocelis::SameText;
using ocelis::Trim;

namespace {

constexpr std::size_t kFoldLimit = 1024;
constexpr std::size_t kMaxCookies = 64;
constexpr int64_t kMaxErrorBody = int64_t{1} << 20;
constexpr std::size_t kMaxTlsSessions = 16;
// Credentials sent up front, a stale nonce, then the fresh one: never a loop.
constexpr int kMaxAuthRequests = 3;

bool IsBreak(char c) {
    return c == ' ' || c == '\t' || c == ',';
}

// Folds one header line (without its line end) into lines of at most 1024 characters where a
// space, tab or comma allows it; text without such a place stays on one line.
std::string FoldLine(std::string rest, std::size_t valueStart) {
    std::string out;
    std::size_t from = valueStart;
    while (rest.size() > kFoldLimit) {
        std::size_t cut = std::string::npos;
        for (std::size_t i = kFoldLimit; i-- > from;)
            if (IsBreak(rest[i])) {
                cut = i;
                break;
            }
        if (cut == std::string::npos)
            for (std::size_t i = std::max(kFoldLimit, from); i < rest.size(); ++i)
                if (IsBreak(rest[i])) {
                    cut = i;
                    break;
                }
        if (cut == std::string::npos || cut + 1 >= rest.size())
            break;
        out.append(rest, 0, cut + 1);
        out += "\r\n";
        std::string next(1, ' ');
        next.append(rest, cut + 1, std::string::npos);
        rest = std::move(next);
        from = 1;
    }
    out += rest;
    out += "\r\n";
    return out;
}

bool HasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7f;
    });
}

void AddHeader(std::string& req, const std::string& name, const std::string& value) {
    req += FoldLine(name + ": " + value, name.size() + 2);
}

// Whether a request's header block has this header (folded lines start with a blank).
bool SendsHeader(const std::string& req, std::string_view name) {
    for (std::size_t at = req.find("\r\n"); at != std::string::npos;
         at = req.find("\r\n", at + 2)) {
        const std::string_view line = std::string_view(req).substr(at + 2);
        if (line.size() > name.size() && line[name.size()] == ':' &&
            SameText(line.substr(0, name.size()), name))
            return true;
    }
    return false;
}

// The trimmed values of every header with this name, in order.
std::vector<std::string> HeaderValues(const THttpResponse& response, std::string_view name) {
    std::vector<std::string> out;
    for (const std::string& h : response.Headers) {
        const std::size_t colon = h.find(':');
        if (colon != std::string::npos && SameText(Trim(h.substr(0, colon)), name))
            out.push_back(Trim(std::string_view(h).substr(colon + 1)));
    }
    return out;
}

// The Authorization value answering state with the URL's credentials.
std::string Authorization(const ocelis::TAuthState& state, const ocelis::TUrl& url, bool head,
                          const std::string& target) {
    const std::string user = url.User();
    const std::string password = url.Password();
    // Decoded from the URL, they could otherwise write header lines of their own.
    if (HasControl(user) || HasControl(password))
        throw EHttpError("control characters in the user name or password", THttpFailure::BadUrl);
    if (state.Scheme == ocelis::TAuthScheme::Basic) {
        if (user.find(':') != std::string::npos)
            throw EHttpError("a colon in the user name, which Basic cannot send",
                             THttpFailure::BadUrl);
        return ocelis::BasicAuthorization(user, password);
    }
    return ocelis::DigestAuthorization(state, user, password, head ? "HEAD" : "GET", target,
                                       state.Nc, state.Qop ? ocelis::NewCnonce() : std::string());
}

THttpFailure ConnectFailure(int err) {
    switch (err) {
    case ECONNREFUSED:
        return THttpFailure::Refused;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case EADDRNOTAVAIL:
        return THttpFailure::Unreachable;
    case ETIMEDOUT:
        return THttpFailure::TimeOut;
    default:
        return THttpFailure::Other;
    }
}

bool NameNotFound(int gaiError) {
    switch (gaiError) {
    case EAI_NONAME:
    case EAI_FAIL:
    case EAI_AGAIN:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
        return true;
    default:
        return false;
    }
}

EHttpError TimeOutError(const std::string& text, int64_t ms) {
    EHttpError e(text, THttpFailure::TimeOut);
    e.TimeOutMs = static_cast<int32_t>(std::clamp<int64_t>(ms, 0, INT32_MAX));
    return e;
}

} // namespace

EHttpProtocolError::EHttpProtocolError(THttpFailure kind, int32_t code,
                                       const std::string& statusLine, std::string body)
    : EHttpError("HTTP " + std::to_string(code) + ": " + statusLine, kind),
      ErrorBody(std::move(body)) {
    Code = code;
    StatusLine = statusLine;
}

struct THttpClient::TEndpoint {
    std::string Host; // as written, brackets of an IPv6 literal kept
    std::string Name; // for name resolution: without those brackets
    std::string Port; // as written; "80" (http) or "443" (https) when absent
    std::string Target;
    bool Tls = false;
};

THttpClient::THttpClient() : FReader(*this) {
    FReader.OnPortion = [this](int64_t count) {
        if (OnWork)
            OnWork(*this, TWorkMode::Read, count);
        SyncReaderLimits(); // settings changed by the callback apply from the next read
    };
    FWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

THttpClient::~THttpClient() {
    CloseSocket();
    if (FWakeFd >= 0)
        close(FWakeFd);
}

void THttpClient::Abort() {
    FAborted.store(true);
    std::lock_guard<std::mutex> lock(FSocketMutex);
    if (FSocket >= 0)
        shutdown(FSocket, SHUT_RDWR);
    if (FWakeFd >= 0) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t r = write(FWakeFd, &one, sizeof one);
    }
}

bool THttpClient::Connected() const {
    std::lock_guard<std::mutex> lock(FSocketMutex);
    return FSocket >= 0;
}

void THttpClient::CheckAborted() const {
    if (FAborted.load())
        throw EHttpError("request aborted", THttpFailure::Aborted);
}

EHttpError THttpClient::RequestTooLong() const {
    return TimeOutError("request took too long", RequestTimeLimit.count());
}

void THttpClient::CloseSocket() {
    if (FTls) {
        // A session is kept only from a connection closed in good order (OpenSSL marks the
        // others as not to be resumed).
        if (!FAborted.load()) {
            FTls->Shutdown();
            if (ocelis::TTlsSession session = FTls->Session()) {
                auto same = std::find_if(FTlsSessions.begin(), FTlsSessions.end(),
                                         [&](const auto& s) { return s.first == FTlsSessionKey; });
                if (same != FTlsSessions.end())
                    FTlsSessions.erase(same);
                if (FTlsSessions.size() >= kMaxTlsSessions)
                    FTlsSessions.erase(FTlsSessions.begin());
                FTlsSessions.emplace_back(FTlsSessionKey, std::move(session));
            }
        }
        FTls.reset();
    }
    FConnTls = false;
    std::lock_guard<std::mutex> lock(FSocketMutex);
    if (FSocket >= 0)
        close(FSocket);
    FSocket = -1;
    FConnHost.clear();
    FConnPort.clear();
    FReader.Reset();
}

void THttpClient::Disconnect() {
    CloseSocket();
}

// Waits for the socket with a per-read time-out (0: none) bounded by the request's deadline.
void THttpClient::WaitFor(short events, int32_t timeoutMs, const char* timeoutText,
                          int32_t reportedMs) {
    for (;;) {
        CheckAborted();
        auto now = std::chrono::steady_clock::now();
        if (now >= FDeadline)
            throw RequestTooLong();
        int64_t left =
            std::chrono::duration_cast<std::chrono::milliseconds>(FDeadline - now).count() + 1;
        int64_t wait = timeoutMs > 0 ? std::min<int64_t>(timeoutMs, left) : left;
        pollfd fds[2] = {{FSocket, events, 0}, {FWakeFd, POLLIN, 0}};
        int r = poll(fds, FWakeFd >= 0 ? 2 : 1, static_cast<int>(std::min<int64_t>(wait, 1 << 30)));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            throw EHttpError(std::string("poll failed: ") + std::strerror(errno),
                             THttpFailure::Other);
        }
        CheckAborted();
        if (r > 0 && fds[0].revents != 0)
            return;
        if (r == 0 && timeoutMs > 0 && wait == timeoutMs)
            throw TimeOutError(timeoutText, reportedMs > 0 ? reportedMs : timeoutMs);
    }
}

void THttpClient::OpenConnection(const TEndpoint& target) {
    TEndpoint u = target;
    if (!ConnectAddress.empty()) {
        const std::optional<ocelis::TUrl> address = ocelis::TUrl::Parse(ConnectAddress);
        if (!address)
            throw EHttpError("bad connect address: " + ConnectAddress, THttpFailure::BadUrl);
        u.Host = address->Host();
        u.Name = address->HostName();
        u.Port = address->Port();
    }
    const std::string& host = u.Name;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int rc = getaddrinfo(host.c_str(), u.Port.c_str(), &hints, &list);
    if (rc != 0 || !list) {
        EHttpError e("cannot resolve " + host + ": " + gai_strerror(rc));
        if (NameNotFound(rc)) {
            e.Kind = THttpFailure::NameNotResolved;
            e.Host = host;
        }
        throw e;
    }
    std::unique_ptr<addrinfo, void (*)(addrinfo*)> guard(list, freeaddrinfo);
    // The failure reported is that of the last address tried, as its text is.
    std::string lastError = "no address";
    THttpFailure lastKind = THttpFailure::Other;
    int64_t lastTimeOutMs = 0;
    for (addrinfo* a = list; a; a = a->ai_next) {
        CheckAborted();
        int fd =
            socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            lastError = std::strerror(errno);
            lastKind = THttpFailure::Other;
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(FSocketMutex);
            FSocket = fd;
        }
        const auto attemptStart = std::chrono::steady_clock::now();
        if (connect(fd, a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS) {
            const int err = errno;
            lastError = std::strerror(err);
            lastKind = ConnectFailure(err);
            CloseSocket();
            continue;
        }
        try {
            WaitFor(POLLOUT, ReadTimeout);
        } catch (const EHttpError& e) {
            CloseSocket();
            if (FAborted.load() || std::chrono::steady_clock::now() >= FDeadline)
                throw;
            lastError = std::string("connect: ") + e.what();
            lastKind = e.Kind;
            lastTimeOutMs = e.TimeOutMs;
            continue;
        }
        int err = 0;
        socklen_t len = sizeof err;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err != 0) {
            lastError = std::strerror(err);
            lastKind = ConnectFailure(err);
            // The system's own connect time-out (there was none of ours): name the time taken.
            if (lastKind == THttpFailure::TimeOut)
                lastTimeOutMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - attemptStart)
                                    .count();
            CloseSocket();
            continue;
        }
        FConnHost = target.Host;
        FConnPort = target.Port;
        ++FConnects;
        if (target.Tls)
            StartTls(target);
        return;
    }
    const std::string text = "cannot connect to " + u.Host + ":" + u.Port + ": " + lastError;
    if (lastKind == THttpFailure::TimeOut)
        throw TimeOutError(text, lastTimeOutMs);
    throw EHttpError(text, lastKind);
}

// The handshake has the connect time-out as its own bound, besides the request's deadline.
void THttpClient::StartTls(const TEndpoint& u) {
    FTlsSessionKey = AnsiLower(u.Host) + ":" + u.Port + "@" + ConnectAddress;
    ocelis::TTlsSession resume;
    for (const auto& s : FTlsSessions)
        if (s.first == FTlsSessionKey)
            resume = s.second;
    const auto start = std::chrono::steady_clock::now();
    try {
        FTls = std::make_unique<ocelis::TTlsConnection>(FSocket, u.Host, resume);
        FConnTls = true;
        for (;;) {
            ocelis::TTlsConnection::TStatus status;
            try {
                status = FTls->Handshake();
            } catch (const EHttpError&) {
                CheckAborted();
                throw;
            }
            if (status == ocelis::TTlsConnection::TStatus::Done)
                break;
            int32_t wait = 0;
            if (ReadTimeout > 0) {
                const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                                       std::chrono::steady_clock::now() - start)
                                       .count();
                wait = static_cast<int32_t>(std::max<int64_t>(1, ReadTimeout - spent));
            }
            WaitFor(status == ocelis::TTlsConnection::TStatus::WantWrite ? POLLOUT : POLLIN, wait,
                    "TLS handshake time-out", ReadTimeout);
        }
    } catch (...) {
        CloseSocket();
        throw;
    }
}

void THttpClient::WriteAllTls(const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        CheckAborted();
        std::size_t n = 0;
        ocelis::TTlsConnection::TStatus status;
        try {
            status = FTls->Write(data.data() + sent, data.size() - sent, n);
        } catch (const EHttpError&) {
            CheckAborted();
            throw;
        }
        sent += n;
        if (status == ocelis::TTlsConnection::TStatus::WantRead)
            WaitFor(POLLIN, ReadTimeout);
        else if (status == ocelis::TTlsConnection::TStatus::WantWrite)
            WaitFor(POLLOUT, ReadTimeout);
    }
}

// OpenSSL takes whole records from the socket: bytes of a record already read wait in its
// buffer, so the socket is waited on only when it has none.
std::size_t THttpClient::ReadTls(char* dst, std::size_t max, int32_t timeoutMs) {
    for (;;) {
        CheckAborted();
        if (std::chrono::steady_clock::now() >= FDeadline)
            throw RequestTooLong();
        std::size_t got = 0;
        ocelis::TTlsConnection::TStatus status;
        try {
            status = FTls->Read(dst, max, got);
        } catch (const EHttpError&) {
            CheckAborted();
            throw;
        }
        switch (status) {
        case ocelis::TTlsConnection::TStatus::Done:
            return got;
        case ocelis::TTlsConnection::TStatus::Closed:
            CheckAborted();
            return 0;
        case ocelis::TTlsConnection::TStatus::WantRead:
            if (!FTls->Pending())
                WaitFor(POLLIN, timeoutMs);
            break;
        case ocelis::TTlsConnection::TStatus::WantWrite:
            WaitFor(POLLOUT, timeoutMs);
            break;
        }
    }
}

void THttpClient::WriteAll(const std::string& data) {
    if (FTls) {
        WriteAllTls(data);
        return;
    }
    std::size_t sent = 0;
    while (sent < data.size()) {
        ssize_t n = send(FSocket, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            WaitFor(POLLOUT, ReadTimeout);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        CheckAborted();
        throw EHttpError(std::string("send failed: ") + std::strerror(errno), THttpFailure::Other);
    }
}

std::size_t THttpClient::Read(char* dst, std::size_t max, int32_t timeoutMs) {
    if (FTls)
        return ReadTls(dst, max, timeoutMs);
    for (;;) {
        CheckAborted();
        if (std::chrono::steady_clock::now() >= FDeadline)
            throw RequestTooLong();
        ssize_t n = recv(FSocket, dst, max, 0);
        if (n > 0)
            return static_cast<std::size_t>(n);
        if (n == 0) {
            CheckAborted();
            return 0;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            WaitFor(POLLIN, timeoutMs);
        else if (errno != EINTR) {
            const int err = errno;
            CheckAborted();
            throw EHttpError(std::string("receive failed: ") + std::strerror(err),
                             THttpFailure::Other);
        }
    }
}

void THttpClient::SyncReaderLimits() {
    FReader.Limits.LineTimeout = ReadTimeout;
    FReader.Limits.Portion = RecvBufferSize;
    FReader.Limits.MaxLineLength = MaxLineLength;
    FReader.Limits.MaxHeaderSize = MaxHeaderSize;
}

void THttpClient::Head(const std::string& url) {
    Perform(true, url, nullptr);
}

void THttpClient::Get(const std::string& url, std::string& stream) {
    Perform(false, url, &stream);
}

std::string THttpClient::RequestBytes(bool head, const TEndpoint& u,
                                      const std::string& authorization) const {
    std::string req = (head ? "HEAD " : "GET ") + u.Target + " HTTP/1.1\r\n";
    AddHeader(req, "Host", Request.Host);
    AddHeader(req, "Accept", Request.Accept);
    if (!Request.Referer.empty())
        AddHeader(req, "Referer", Request.Referer);
    AddHeader(req, "User-Agent", Request.UserAgent);
    // Never folded: a fold inside a quoted value would change the value.
    if (!authorization.empty())
        req += "Authorization: " + authorization + "\r\n";
    std::string cookies = CookieHeader(u);
    if (!cookies.empty())
        AddHeader(req, "Cookie", cookies);
    req += "\r\n";
    return req;
}

void THttpClient::Exchange(const std::string& req, const TEndpoint& u) {
    // A kept connection the server has since closed gets one retry on a new connection.
    for (int attempt = 0;; ++attempt) {
        if (FSocket >= 0 && (FConnHost != u.Host || FConnPort != u.Port || FConnTls != u.Tls))
            CloseSocket();
        if (FSocket >= 0 && (FReader.PeerClosed() || !KeepAlive()))
            CloseSocket();
        bool reused = FSocket >= 0;
        if (!reused)
            OpenConnection(u);
        FReader.Reset();
        bool gotAny = false;
        int32_t code = -1;
        int64_t headerBudget = MaxHeaderSize;
        try {
            WriteAll(req);
            do {
                code = FReader.ReadStatusAndHeaders(Response, headerBudget, gotAny);
                StoreCookies(u);
            } while (code == 100);
        } catch (const EHttpError&) {
            CloseSocket();
            if (reused && !gotAny && attempt == 0 && !FAborted.load())
                continue;
            throw;
        }
        return;
    }
}

bool THttpClient::ReadErrorBody(bool noBody, std::string& body) {
    if (noBody || FReader.PeerClosed())
        return true;
    try {
        FReader.ReadBody(Response, body, ErrorReadTimeout, kMaxErrorBody);
    } catch (const EHttpError&) {
        return false;
    }
    return true;
}

void THttpClient::Perform(bool head, const std::string& rawUrl, std::string* stream) {
    CheckAborted();
    FDeadline = std::chrono::steady_clock::now() + RequestTimeLimit;
    SyncReaderLimits();

    const std::optional<ocelis::TUrl> url = ocelis::TUrl::Parse(rawUrl);
    if (!url)
        throw EHttpError("bad host in the URL", THttpFailure::BadUrl);
    const std::string& scheme = url->Scheme();
    TEndpoint u;
    u.Host = url->Host();
    u.Name = url->HostName();
    u.Target = url->Target();
    u.Tls = url->IsHttps();
    std::string port = url->Port();
    if (port.empty()) {
        if (!u.Tls && !url->IsHttp())
            throw EHttpError("unknown protocol: " + scheme, THttpFailure::BadUrl);
        port = url->DefaultPort();
    }
    if (u.Host.empty())
        throw EHttpError("no host in the URL", THttpFailure::BadUrl);
    // A line break in a catalogue's address or Referer would write headers of its own.
    if (HasControl(u.Target))
        throw EHttpError("control characters in the URL", THttpFailure::BadUrl);
    if (HasControl(Request.Referer))
        throw EHttpError("control characters in the Referer", THttpFailure::BadUrl);
    u.Port = port;
    Request.Host = url->HostHeader();

    // Credentials go only to a URL with user info, and up front only where its own scheme,
    // host, port and user were asked for them before.
    const bool withUser = url->HasUserInfo();
    const std::shared_ptr<ocelis::THttpAuthCache> cache =
        AuthCache ? AuthCache : std::make_shared<ocelis::THttpAuthCache>();
    const ocelis::THttpAuthCache::TKey key{u.Tls ? "https" : "http", AnsiLower(u.Host), u.Port,
                                           withUser ? url->User() : std::string()};
    std::optional<ocelis::TAuthState> answer;
    if (withUser) {
        if (const std::optional<std::string> refused = cache->Refusal(key))
            throw EHttpProtocolError(THttpFailure::NotAuthorised, 401, *refused, {});
        answer = cache->TakeForRequest(key);
    }
    const bool upFront = answer.has_value();
    AuthUsed.reset();

    std::string req;
    for (int sent = 1;; ++sent) {
        req = RequestBytes(head, u,
                           answer ? Authorization(*answer, *url, head, u.Target) : std::string());
        Exchange(req, u);
        if (Response.ResponseCode != 401 || !withUser)
            break;
        const std::optional<ocelis::TAuthState> challenge =
            ocelis::ChooseChallenge(HeaderValues(Response, "WWW-Authenticate"), u.Tls);
        // A stale nonce says the credentials were right: answer the new one.
        const bool stale = answer && challenge && answer->Scheme == ocelis::TAuthScheme::Digest &&
                           challenge->Scheme == ocelis::TAuthScheme::Digest && challenge->Stale;
        // Credentials sent up front with a nonce the server has since dropped (without
        // saying stale) were never judged: the fresh challenge gets its answer first.
        const bool dropped = upFront && sent == 1 && answer && challenge &&
                             answer->Scheme == ocelis::TAuthScheme::Digest &&
                             challenge->Scheme == ocelis::TAuthScheme::Digest &&
                             challenge->Nonce != answer->Nonce;
        const bool retry = stale || dropped;
        if (answer && !retry)
            cache->Refuse(key, Response.ResponseText);
        if (!challenge || (answer && !retry))
            break;
        // Kept even when no request is left for it: the next call starts from it.
        cache->Store(key, *challenge);
        if (sent >= kMaxAuthRequests)
            break;
        std::string skipped;
        if (!ReadErrorBody(head, skipped) || !KeepAlive() || FReader.PeerClosed())
            CloseSocket();
        answer = cache->TakeForRequest(key);
    }

    if (answer && Response.ResponseCode != 401)
        AuthUsed = answer;
    const int32_t code = Response.ResponseCode;
    const bool noBody = head || code == 204 || code == 304 || (code >= 100 && code < 200);
    try {
        if (code >= 200 && code <= 299 && !Response.HasHeader("Location")) {
            if (FReader.PeerClosed())
                throw EHttpError("connection closed in the header block",
                                 THttpFailure::ClosedEarly);
            const std::optional<std::string> boundary =
                noBody ? std::nullopt : ocelis::StreamBoundary(Response.Header("Content-Type"));
            if (boundary)
                ReadStream(*boundary, *stream);
            else if (!noBody)
                FReader.ReadBody(Response, *stream, ReadTimeout, MaxBodySize);
        } else {
            std::string body;
            if (!ReadErrorBody(noBody, body))
                CloseSocket();
            THttpFailure kind = THttpFailure::HttpStatus;
            if ((code >= 300 && code < 400 && code != 304) || Response.HasHeader("Location"))
                kind = THttpFailure::Redirect;
            else if (code == 401)
                kind = SendsHeader(req, "Authorization") ? THttpFailure::NotAuthorised
                                                         : THttpFailure::AuthenticationRequired;
            EHttpProtocolError e(kind, code, Response.ResponseText, std::move(body));
            if (kind == THttpFailure::Redirect)
                e.Location = Response.Header("Location");
            throw e;
        }
    } catch (const EHttpProtocolError&) {
        if (!KeepAlive() || FReader.PeerClosed())
            CloseSocket();
        throw;
    } catch (...) {
        // The body was not read to its end: the connection is out of step.
        CloseSocket();
        throw;
    }
    if (!KeepAlive() || FReader.PeerClosed())
        CloseSocket();
}

void THttpClient::ReadStream(const std::string& boundary, std::string& stream) {
    Response.Streamed = true;
    ocelis::TMultipartReader parts(boundary, MaxBodySize);
    bool taken = false;
    FDeadline = std::chrono::steady_clock::now() + PartTimeLimit;
    const ocelis::TMultipartReader::TPartEvent onPart = [&](ocelis::TMultipartPart& part) {
        FDeadline = std::chrono::steady_clock::now() + PartTimeLimit;
        if (OnPart)
            return OnPart(part);
        stream.append(part.Bytes);
        taken = true;
        return false;
    };
    const ocelis::THttpReader::TBodySink sink = [&](std::string& portion) {
        const bool more = parts.Feed(portion, onPart);
        portion.clear();
        return more;
    };
    const bool ended = FReader.ReadBodyTo(Response, sink, ReadTimeout);
    // A stream never ends in step with a request: its connection is done with.
    CloseSocket();
    if (!ended || (!OnPart && !taken))
        throw EHttpError("the stream ended", THttpFailure::ClosedEarly);
    Response.BodyComplete = true;
}

bool THttpClient::KeepAlive() const {
    return !SameText(Response.Header("Connection"), "close") &&
           !SameText(Response.Header("Proxy-Connection"), "close");
}

void THttpClient::StoreCookies(const TEndpoint& u) {
    const std::time_t now = std::time(nullptr);
    for (const std::string& h : Response.Headers) {
        std::size_t colon = h.find(':');
        if (colon == std::string::npos)
            continue;
        std::string name = Trim(h.substr(0, colon));
        if (!SameText(name, "Set-Cookie") && !SameText(name, "Set-Cookie2"))
            continue;
        ocelis::THttpCookie c;
        bool remove = false;
        if (!ocelis::ParseSetCookie(std::string_view(h).substr(colon + 1), u.Host, now, c, remove))
            continue;
        auto same = std::find_if(FCookies.begin(), FCookies.end(), [&](const TStoredCookie& o) {
            return o.Cookie.Name == c.Name && o.Cookie.Domain == c.Domain &&
                   o.Cookie.Path == c.Path;
        });
        if (same != FCookies.end()) {
            // Plain http may not replace or drop what an https answer set.
            if (same->OverTls && !u.Tls)
                continue;
            FCookies.erase(same);
        }
        if (remove)
            continue;
        if (FCookies.size() >= kMaxCookies)
            FCookies.erase(FCookies.begin());
        FCookies.push_back({std::move(c), u.Tls});
    }
}

std::string THttpClient::CookieHeader(const TEndpoint& u) const {
    std::string host = AnsiLower(u.Host);
    std::string path = u.Target.substr(0, u.Target.find('?'));
    std::string out;
    for (const TStoredCookie& stored : FCookies) {
        if (stored.OverTls && !u.Tls)
            continue;
        const ocelis::THttpCookie& c = stored.Cookie;
        bool hostOk = c.HostOnly
                          ? host == c.Domain
                          : (host == c.Domain || (host.size() > c.Domain.size() &&
                                                  host.compare(host.size() - c.Domain.size(),
                                                               c.Domain.size(), c.Domain) == 0 &&
                                                  host[host.size() - c.Domain.size() - 1] == '.'));
        if (!hostOk || path.compare(0, c.Path.size(), c.Path) != 0)
            continue;
        if (!out.empty())
            out += "; ";
        out += c.Name + "=" + c.Value;
    }
    return out;
}
