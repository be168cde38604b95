#include "net/HttpClient.h"

#include "util/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

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

constexpr std::size_t kHeaderReadSize = 16384;
constexpr std::size_t kFoldLimit = 1024;
constexpr std::size_t kMaxCookies = 64;
constexpr std::size_t kMaxCookieSize = 4096;
constexpr int64_t kMaxErrorBody = int64_t{1} << 20;

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

void AddHeader(std::string& req, const std::string& name, const std::string& value) {
    req += FoldLine(name + ": " + value, name.size() + 2);
}

bool ContainsNoCase(std::string_view hay, std::string_view needle) {
    return AnsiLower(hay).find(AnsiLower(needle)) != std::string::npos;
}

// Decimal, non-negative, no overflow; -1 otherwise.
int64_t ParseLength(const std::string& text) {
    auto v = ocelis::TryStrToInt64(Trim(text));
    if (!v || *v < 0)
        return -1;
    return *v;
}

// The hexadecimal chunk size before the first blank (or extension); 0 when not hexadecimal,
// -1 when it does not fit.
int64_t ParseChunkSize(const std::string& line) {
    std::string t = Trim(line);
    std::size_t end = t.find_first_of(" \t;");
    if (end != std::string::npos)
        t.resize(end);
    if (t.empty())
        return 0;
    int64_t v = 0;
    for (char c : t) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return 0;
        if (v > (INT64_MAX - d) / 16)
            return -1;
        v = v * 16 + d;
    }
    return v;
}

std::string PortOf(const std::string& hostPort, std::string& host) {
    // An IPv6 literal keeps its brackets in the Host header.
    if (!hostPort.empty() && hostPort[0] == '[') {
        std::size_t close = hostPort.find(']');
        if (close != std::string::npos) {
            host = hostPort.substr(0, close + 1);
            if (close + 1 < hostPort.size() && hostPort[close + 1] == ':')
                return hostPort.substr(close + 2);
            return {};
        }
    }
    std::size_t colon = hostPort.rfind(':');
    if (colon == std::string::npos) {
        host = hostPort;
        return {};
    }
    host = hostPort.substr(0, colon);
    return hostPort.substr(colon + 1);
}

} // namespace

EHttpProtocolError::EHttpProtocolError(int32_t code, const std::string& statusLine,
                                       std::string body)
    : EHttpError("HTTP " + std::to_string(code) + ": " + statusLine), Code(code),
      ErrorBody(std::move(body)) {}

std::string THttpResponse::Header(std::string_view name) const {
    std::string value;
    for (const std::string& h : Headers) {
        std::size_t colon = h.find(':');
        if (colon != std::string::npos && SameText(Trim(h.substr(0, colon)), name))
            value = Trim(h.substr(colon + 1));
    }
    return value;
}

bool THttpResponse::HasHeader(std::string_view name) const {
    for (const std::string& h : Headers) {
        std::size_t colon = h.find(':');
        if (colon != std::string::npos && SameText(Trim(h.substr(0, colon)), name))
            return true;
    }
    return false;
}

struct THttpClient::Url {
    std::string Host; // as written, brackets of an IPv6 literal kept
    std::string Port; // as written; "80" when absent
    std::string Target;
};

struct THttpClient::Cookie {
    std::string Name;
    std::string Value;
    std::string Domain; // lower case
    bool HostOnly = true;
    std::string Path;
};

THttpClient::THttpClient() {
    WakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

THttpClient::~THttpClient() {
    CloseSocket();
    if (WakeFd >= 0)
        close(WakeFd);
}

void THttpClient::Abort() {
    Aborted.store(true);
    std::lock_guard<std::mutex> lock(SocketMutex);
    if (Socket >= 0)
        shutdown(Socket, SHUT_RDWR);
    if (WakeFd >= 0) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t r = write(WakeFd, &one, sizeof one);
    }
}

bool THttpClient::Connected() const {
    std::lock_guard<std::mutex> lock(SocketMutex);
    return Socket >= 0;
}

void THttpClient::CheckAborted() const {
    if (Aborted.load())
        throw EHttpError("request aborted");
}

void THttpClient::CloseSocket() {
    std::lock_guard<std::mutex> lock(SocketMutex);
    if (Socket >= 0)
        close(Socket);
    Socket = -1;
    ConnHost.clear();
    ConnPort.clear();
    Buffered.clear();
    BufferedPos = 0;
    PeerClosed = false;
}

void THttpClient::Disconnect() {
    CloseSocket();
}

// Waits for the socket with a per-read time-out (0: none) bounded by the request's deadline.
void THttpClient::WaitFor(short events, int32_t timeoutMs) {
    for (;;) {
        CheckAborted();
        auto now = std::chrono::steady_clock::now();
        if (now >= Deadline)
            throw EHttpError("request took too long");
        int64_t left =
            std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - now).count() + 1;
        int64_t wait = timeoutMs > 0 ? std::min<int64_t>(timeoutMs, left) : left;
        pollfd fds[2] = {{Socket, events, 0}, {WakeFd, POLLIN, 0}};
        int r = poll(fds, WakeFd >= 0 ? 2 : 1, static_cast<int>(std::min<int64_t>(wait, 1 << 30)));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            throw EHttpError(std::string("poll failed: ") + std::strerror(errno));
        }
        CheckAborted();
        if (r > 0 && fds[0].revents != 0)
            return;
        if (r == 0 && timeoutMs > 0 && wait == timeoutMs)
            throw EHttpError("read time-out");
    }
}

void THttpClient::OpenConnection(const Url& target) {
    Url u = target;
    if (!ConnectAddress.empty())
        u.Port = PortOf(ConnectAddress, u.Host);
    std::string host = u.Host;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int rc = getaddrinfo(host.c_str(), u.Port.c_str(), &hints, &list);
    if (rc != 0 || !list)
        throw EHttpError("cannot resolve " + host + ": " + gai_strerror(rc));
    std::unique_ptr<addrinfo, void (*)(addrinfo*)> guard(list, freeaddrinfo);
    std::string lastError = "no address";
    for (addrinfo* a = list; a; a = a->ai_next) {
        CheckAborted();
        int fd =
            socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            lastError = std::strerror(errno);
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(SocketMutex);
            Socket = fd;
        }
        if (connect(fd, a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS) {
            lastError = std::strerror(errno);
            CloseSocket();
            continue;
        }
        try {
            WaitFor(POLLOUT, ReadTimeout);
        } catch (const EHttpError& e) {
            CloseSocket();
            if (Aborted.load() || std::chrono::steady_clock::now() >= Deadline)
                throw;
            lastError = std::string("connect: ") + e.what();
            continue;
        }
        int err = 0;
        socklen_t len = sizeof err;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err != 0) {
            lastError = std::strerror(err);
            CloseSocket();
            continue;
        }
        ConnHost = target.Host;
        ConnPort = target.Port;
        ++Connects;
        return;
    }
    throw EHttpError("cannot connect to " + u.Host + ":" + u.Port + ": " + lastError);
}

void THttpClient::WriteAll(const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        ssize_t n = send(Socket, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
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
        throw EHttpError(std::string("send failed: ") + std::strerror(errno));
    }
}

// Appends what the socket has to Buffered; false when the server closed the connection.
bool THttpClient::FillBuffer(int32_t timeoutMs) {
    if (BufferedPos > 0 && BufferedPos == Buffered.size()) {
        Buffered.clear();
        BufferedPos = 0;
    }
    char buf[kHeaderReadSize];
    for (;;) {
        CheckAborted();
        if (std::chrono::steady_clock::now() >= Deadline)
            throw EHttpError("request took too long");
        ssize_t n = recv(Socket, buf, sizeof buf, 0);
        if (n > 0) {
            Buffered.append(buf, static_cast<std::size_t>(n));
            return true;
        }
        if (n == 0) {
            CheckAborted();
            PeerClosed = true;
            return false;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            WaitFor(POLLIN, timeoutMs);
        else if (errno != EINTR) {
            CheckAborted();
            throw EHttpError(std::string("receive failed: ") + std::strerror(errno));
        }
    }
}

// One line without its line end; false when the connection closed before any of it.
bool THttpClient::ReadLine(std::string& line, int64_t& headerBudget) {
    for (;;) {
        std::size_t nl = Buffered.find('\n', BufferedPos);
        std::size_t have = (nl == std::string::npos ? Buffered.size() : nl) - BufferedPos;
        if (have > static_cast<std::size_t>(std::max(MaxLineLength, 0)) + 1)
            throw EHttpError("line too long");
        if (nl != std::string::npos) {
            line.assign(Buffered, BufferedPos, have);
            BufferedPos = nl + 1;
            headerBudget -= static_cast<int64_t>(have) + 1;
            break;
        }
        if (PeerClosed || !FillBuffer(ReadTimeout)) {
            if (have == 0)
                return false;
            line.assign(Buffered, BufferedPos, have);
            BufferedPos = Buffered.size();
            headerBudget -= static_cast<int64_t>(have);
            break;
        }
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.size() > static_cast<std::size_t>(std::max(MaxLineLength, 0)))
        throw EHttpError("line too long");
    if (headerBudget < 0)
        throw EHttpError("header block too large");
    return true;
}

// Reads one status line and its headers into Response; returns the code.
int32_t THttpClient::ReadStatusAndHeaders(int64_t& headerBudget, bool& gotAny) {
    std::string line;
    if (!ReadLine(line, headerBudget))
        throw EHttpError("connection closed without an answer");
    gotAny = true;
    Response = THttpResponse{};
    Response.ResponseText = line;
    std::size_t sp = line.find(' ');
    if (sp != std::string::npos) {
        std::size_t end = line.find(' ', sp + 1);
        auto code = ocelis::TryStrToInt64(
            line.substr(sp + 1, end == std::string::npos ? std::string::npos : end - sp - 1));
        if (code && *code >= INT32_MIN && *code <= INT32_MAX)
            Response.ResponseCode = static_cast<int32_t>(*code);
    }
    while (ReadLine(line, headerBudget)) {
        if (line.empty())
            break;
        if ((line[0] == ' ' || line[0] == '\t') && !Response.Headers.empty())
            Response.Headers.back().append(1, ' ').append(Trim(line));
        else
            Response.Headers.push_back(line);
    }
    Response.ContentLength =
        Response.HasHeader("Content-Length") ? ParseLength(Response.Header("Content-Length")) : -1;
    Response.LastModified = ocelis::HttpDateToLocal(Response.Header("Last-Modified"));
    return Response.ResponseCode;
}

// Reads n bytes (or up to a clean close) in portions of at most RecvBufferSize, reporting each
// portion; false when the server closed first.
bool THttpClient::ReadCounted(std::string& out, int64_t n, int64_t& count, int32_t timeoutMs,
                              int64_t& total, int64_t cap) {
    const std::size_t portion = static_cast<std::size_t>(std::max(RecvBufferSize, 1));
    while (n < 0 || n > 0) {
        std::size_t want = portion;
        if (n > 0 && static_cast<uint64_t>(n) < want)
            want = static_cast<std::size_t>(n);
        if (total + static_cast<int64_t>(want) > cap)
            want = static_cast<std::size_t>(cap - total + 1); // one byte over tells the cap
        std::size_t got = 0;
        if (BufferedPos < Buffered.size()) {
            got = std::min(want, Buffered.size() - BufferedPos);
            out.append(Buffered, BufferedPos, got);
            BufferedPos += got;
        } else {
            if (PeerClosed)
                return false;
            // Straight into the caller's buffer: no copy per portion.
            const std::size_t base = out.size();
            out.resize(base + want);
            for (;;) {
                CheckAborted();
                if (std::chrono::steady_clock::now() >= Deadline) {
                    out.resize(base);
                    throw EHttpError("request took too long");
                }
                ssize_t r = recv(Socket, out.data() + base, want, 0);
                if (r > 0) {
                    got = static_cast<std::size_t>(r);
                    break;
                }
                if (r == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                    const int err = errno;
                    out.resize(base);
                    CheckAborted();
                    if (r == 0) {
                        PeerClosed = true;
                        return false;
                    }
                    throw EHttpError(std::string("receive failed: ") + std::strerror(err));
                }
                if (errno != EINTR) {
                    try {
                        WaitFor(POLLIN, timeoutMs);
                    } catch (...) {
                        out.resize(base);
                        throw;
                    }
                }
            }
            out.resize(base + got);
        }
        total += static_cast<int64_t>(got);
        if (total > cap)
            throw EHttpError("body too large");
        count += static_cast<int64_t>(got);
        if (n > 0)
            n -= static_cast<int64_t>(got);
        if (OnWork)
            OnWork(*this, TWorkMode::Read, count);
    }
    return true;
}

void THttpClient::ReadBody(std::string& out, bool errorBody, int32_t timeoutMs, int64_t cap) {
    int64_t total = 0;
    int64_t count = 0;
    const int64_t length = Response.ContentLength;
    if (length >= 1) {
        if (length > cap)
            throw EHttpError("body too large");
        ReadCounted(out, length, count, timeoutMs, total, cap);
        return;
    }
    if (ContainsNoCase(Response.Header("Transfer-Encoding"), "chunked")) {
        int64_t budget = MaxHeaderSize;
        std::string line;
        for (;;) {
            if (!ReadLine(line, budget))
                throw EHttpError("connection closed in a chunked body");
            int64_t size = ParseChunkSize(line);
            if (size < 0 || size > cap)
                throw EHttpError("chunk too large");
            if (size == 0)
                break;
            count = 0;
            if (!ReadCounted(out, size, count, timeoutMs, total, cap))
                throw EHttpError("connection closed in a chunk");
            if (!ReadLine(line, budget))
                throw EHttpError("connection closed in a chunked body");
        }
        // The line after the last chunk; a server that closes instead is fine.
        ReadLine(line, budget);
        return;
    }
    if (!Response.HasHeader("Content-Length")) {
        ReadCounted(out, -1, count, timeoutMs, total, cap);
        return;
    }
    (void)errorBody;
}

void THttpClient::Head(const std::string& url) {
    Perform(true, url, nullptr);
}

void THttpClient::Get(const std::string& url, std::string& stream) {
    Perform(false, url, &stream);
}

void THttpClient::Perform(bool head, const std::string& rawUrl, std::string* stream) {
    CheckAborted();
    Deadline = std::chrono::steady_clock::now() + RequestTimeLimit;

    // URL: scheme://[user[:password]@]host[:port]/path/document?params#fragment
    std::string text = rawUrl;
    std::replace(text.begin(), text.end(), '\\', '/');
    std::size_t hash = text.find('#');
    if (hash != std::string::npos)
        text.resize(hash);
    std::string scheme;
    std::size_t sep = text.find("://");
    if (sep != std::string::npos) {
        scheme = text.substr(0, sep);
        text = text.substr(sep + 3);
    }
    std::size_t query = text.find('?');
    std::size_t slash = text.find('/');
    if (slash != std::string::npos && query != std::string::npos && query < slash)
        slash = std::string::npos;
    std::size_t authEnd =
        slash != std::string::npos ? slash : (query != std::string::npos ? query : text.size());
    std::string authority = text.substr(0, authEnd);
    std::size_t at = authority.rfind('@');
    if (at != std::string::npos)
        authority = authority.substr(at + 1); // credentials are never sent
    Url u;
    std::string port = PortOf(authority, u.Host);
    u.Target = text.substr(authEnd);
    if (u.Target.empty() || u.Target[0] != '/')
        u.Target = "/" + u.Target;
    if (port.empty()) {
        if (SameText(scheme, "http"))
            port = "80";
        else if (SameText(scheme, "https"))
            throw EHttpError("https is not supported");
        else
            throw EHttpError("unknown protocol: " + scheme);
    } else if (SameText(scheme, "https")) {
        throw EHttpError("https is not supported");
    }
    if (u.Host.empty())
        throw EHttpError("no host in the URL");
    u.Port = port;
    Request.Host = port == "80" ? u.Host : u.Host + ":" + port;

    std::string req = (head ? "HEAD " : "GET ") + u.Target + " HTTP/1.1\r\n";
    AddHeader(req, "Host", Request.Host);
    AddHeader(req, "Accept", Request.Accept);
    if (!Request.Referer.empty())
        AddHeader(req, "Referer", Request.Referer);
    AddHeader(req, "User-Agent", Request.UserAgent);
    std::string cookies = CookieHeader(u);
    if (!cookies.empty())
        AddHeader(req, "Cookie", cookies);
    req += "\r\n";

    // A kept connection the server has since closed gets one retry on a new connection.
    for (int attempt = 0;; ++attempt) {
        if (Socket >= 0 && (ConnHost != u.Host || ConnPort != u.Port))
            CloseSocket();
        if (Socket >= 0 && (PeerClosed || !KeepAlive()))
            CloseSocket();
        bool reused = Socket >= 0;
        if (!reused)
            OpenConnection(u);
        Buffered.clear();
        BufferedPos = 0;
        bool gotAny = false;
        int32_t code = -1;
        int64_t headerBudget = MaxHeaderSize;
        try {
            WriteAll(req);
            do {
                code = ReadStatusAndHeaders(headerBudget, gotAny);
                StoreCookies(u);
            } while (code == 100);
        } catch (const EHttpError&) {
            CloseSocket();
            if (reused && !gotAny && attempt == 0 && !Aborted.load())
                continue;
            throw;
        }
        break;
    }

    const int32_t code = Response.ResponseCode;
    const bool noBody = head || code == 204 || code == 304 || (code >= 100 && code < 200);
    try {
        if (code >= 200 && code <= 299 && !Response.HasHeader("Location")) {
            if (PeerClosed)
                throw EHttpError("connection closed in the header block");
            if (!noBody)
                ReadBody(*stream, false, ReadTimeout, MaxBodySize);
        } else {
            std::string body;
            bool complete = true;
            if (!noBody && !PeerClosed) {
                try {
                    ReadBody(body, true, ErrorReadTimeout, kMaxErrorBody);
                } catch (const EHttpError&) {
                    complete = false;
                }
            }
            if (!complete)
                CloseSocket();
            throw EHttpProtocolError(code, Response.ResponseText, std::move(body));
        }
    } catch (const EHttpProtocolError&) {
        if (!KeepAlive() || PeerClosed)
            CloseSocket();
        throw;
    } catch (...) {
        // The body was not read to its end: the connection is out of step.
        CloseSocket();
        throw;
    }
    if (!KeepAlive() || PeerClosed)
        CloseSocket();
}

bool THttpClient::KeepAlive() const {
    return !SameText(Response.Header("Connection"), "close") &&
           !SameText(Response.Header("Proxy-Connection"), "close");
}

void THttpClient::StoreCookies(const Url& u) {
    std::string host = AnsiLower(u.Host);
    for (const std::string& h : Response.Headers) {
        std::size_t colon = h.find(':');
        if (colon == std::string::npos)
            continue;
        std::string name = Trim(h.substr(0, colon));
        if (!SameText(name, "Set-Cookie") && !SameText(name, "Set-Cookie2"))
            continue;
        std::string value = h.substr(colon + 1);
        if (value.size() > kMaxCookieSize)
            continue;
        // name=value; attr=...; attr
        Cookie c;
        c.Domain = host;
        c.Path = "/";
        bool remove = false;
        std::size_t pos = 0;
        bool first = true;
        while (pos <= value.size()) {
            std::size_t semi = value.find(';', pos);
            std::string part =
                Trim(value.substr(pos, semi == std::string::npos ? std::string::npos : semi - pos));
            pos = semi == std::string::npos ? value.size() + 1 : semi + 1;
            std::size_t eq = part.find('=');
            std::string key = Trim(part.substr(0, eq));
            std::string val = eq == std::string::npos ? std::string() : Trim(part.substr(eq + 1));
            if (first) {
                first = false;
                if (eq == std::string::npos || key.empty())
                    break;
                c.Name = key;
                c.Value = val;
                continue;
            }
            if (SameText(key, "Domain") && !val.empty()) {
                std::string d = AnsiLower(val);
                if (d[0] == '.')
                    d.erase(0, 1);
                // Only the host itself or a domain above it.
                if (host == d || (host.size() > d.size() && d.find('.') != std::string::npos &&
                                  host.compare(host.size() - d.size(), d.size(), d) == 0 &&
                                  host[host.size() - d.size() - 1] == '.')) {
                    c.Domain = d;
                    c.HostOnly = host == d;
                }
            } else if (SameText(key, "Path") && !val.empty() && val[0] == '/') {
                c.Path = val;
            } else if (SameText(key, "Max-Age")) {
                auto age = ocelis::TryStrToInt64(val);
                if (age && *age <= 0)
                    remove = true;
            } else if (SameText(key, "Expires")) {
                std::time_t t;
                if (ocelis::ParseHttpDate(val, t) && t < std::time(nullptr))
                    remove = true;
            }
        }
        if (c.Name.empty())
            continue;
        auto same = std::find_if(Cookies.begin(), Cookies.end(), [&](const Cookie& o) {
            return o.Name == c.Name && o.Domain == c.Domain && o.Path == c.Path;
        });
        if (same != Cookies.end())
            Cookies.erase(same);
        if (remove)
            continue;
        if (Cookies.size() >= kMaxCookies)
            Cookies.erase(Cookies.begin());
        Cookies.push_back(std::move(c));
    }
}

std::string THttpClient::CookieHeader(const Url& u) const {
    std::string host = AnsiLower(u.Host);
    std::string path = u.Target.substr(0, u.Target.find('?'));
    std::string out;
    for (const Cookie& c : Cookies) {
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

namespace ocelis {

namespace {
int MonthOf(std::string_view t) {
    static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    if (t.size() < 3)
        return 0;
    std::string l = AnsiLower(t.substr(0, 3));
    for (int i = 0; i < 12; ++i)
        if (l == kMonths[i])
            return i + 1;
    return 0;
}

bool IsDayName(std::string_view t) {
    static const char* const kDays[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    if (t.size() < 3)
        return false;
    std::string l = AnsiLower(t.substr(0, 3));
    for (const char* d : kDays)
        if (l == d)
            return true;
    return false;
}

bool AllDigits(std::string_view t) {
    return !t.empty() &&
           std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "+hhmm" / "-hhmm" / "+hh:mm" as seconds east of GMT.
bool ZoneOffset(std::string_view t, long& seconds) {
    if (t.size() < 3 || (t[0] != '+' && t[0] != '-'))
        return false;
    std::string digits;
    for (char c : t.substr(1))
        if (c != ':')
            digits += c;
    if (!AllDigits(digits) || (digits.size() != 4 && digits.size() != 2))
        return false;
    int h = std::stoi(digits.substr(0, 2));
    int m = digits.size() == 4 ? std::stoi(digits.substr(2)) : 0;
    if (h > 23 || m > 59)
        return false;
    seconds = (h * 3600L + m * 60L) * (t[0] == '-' ? -1 : 1);
    return true;
}
} // namespace

bool ParseHttpDate(std::string_view text, std::time_t& utc) {
    if (text.size() > 200)
        return false;
    // Split at blanks and commas; a hyphen joins day, month and year in the RFC 850 form.
    std::vector<std::string> tokens;
    std::string cur;
    auto flush = [&] {
        if (!cur.empty())
            tokens.push_back(cur);
        cur.clear();
    };
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == ',')
            flush();
        else if (c == '-' && !cur.empty() && cur[0] != '+' && cur[0] != '-' &&
                 !SameText(cur, "GMT") && !SameText(cur, "UTC") && !SameText(cur, "UT"))
            flush();
        else
            cur += c;
    }
    flush();
    int day = 0, month = 0, year = -1, hour = -1, minute = 0, second = 0;
    long offset = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        std::string t = tokens[i];
        if (i == 0 && IsDayName(t) && MonthOf(t) == 0)
            continue;
        for (const char* zone : {"GMT", "UTC", "UT"}) {
            std::size_t zl = std::strlen(zone);
            if (t.size() >= zl && SameText(t.substr(0, zl), zone)) {
                t = t.substr(zl);
                break;
            }
        }
        if (t.empty() || SameText(t, "Z"))
            continue;
        if (t.find(':') != std::string::npos && t[0] != '+' && t[0] != '-') {
            int parts[3] = {0, 0, 0};
            int n = 0;
            std::size_t p = 0;
            while (n < 3 && p <= t.size()) {
                std::size_t c = t.find(':', p);
                std::string part = t.substr(p, c == std::string::npos ? std::string::npos : c - p);
                if (!AllDigits(part) || part.size() > 2)
                    return false;
                parts[n++] = std::stoi(part);
                p = c == std::string::npos ? t.size() + 1 : c + 1;
            }
            if (n < 2 || p <= t.size())
                return false;
            hour = parts[0];
            minute = parts[1];
            second = parts[2];
            continue;
        }
        long off;
        if (ZoneOffset(t, off)) {
            offset = off;
            continue;
        }
        if (int m = MonthOf(t); m != 0 && !AllDigits(t)) {
            if (month != 0)
                return false;
            month = m;
            continue;
        }
        if (AllDigits(t) && t.size() <= 4) {
            int v = std::stoi(t);
            if (day == 0 && t.size() <= 2 && year < 0)
                day = v;
            else if (year < 0) {
                if (t.size() <= 2)
                    v += v < 80 ? 2000 : 1900;
                year = v;
            } else
                return false;
            continue;
        }
        if (IsDayName(t))
            continue;
        return false;
    }
    if (day < 1 || month < 1 || year < 1 || year > 9999 || hour < 0 || hour > 23 || minute > 59 ||
        second > 60)
        return false;
    static const int kDim[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > kDim[month - 1] + (month == 2 && leap ? 1 : 0))
        return false;
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = std::min(second, 59);
    utc = timegm(&fields) - offset;
    return true;
}

TDateTime HttpDateToLocal(std::string_view text) {
    std::time_t t;
    if (!text.empty() && ParseHttpDate(text, t))
        return UnixToLocalDateTime(t);
    // The zero date, corrected by the local offset from UTC.
    std::time_t now = std::time(nullptr);
    std::tm lt{};
    localtime_r(&now, &lt);
    return static_cast<double>(lt.tm_gmtoff) / 86400.0;
}

} // namespace ocelis
