#include "net/Url.h"

#include "util/Text.h"

#include <algorithm>

namespace ocelis {

namespace {

bool IsBadHostChar(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b <= 0x20 || b == 0x7F || c == '/' || c == '@';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A "%" without two hex digits after it stays as it is.
std::string PercentDecoded(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const int hi = s[i] == '%' && i + 2 < s.size() ? HexValue(s[i + 1]) : -1;
        const int lo = hi >= 0 ? HexValue(s[i + 2]) : -1;
        if (lo >= 0) {
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// A scheme by the URI grammar: a letter, then letters, digits, "+", "-" or "."; npos when
// the text does not start with one followed by ":".
std::size_t SchemeLength(std::string_view s) {
    if (s.empty() || !((s[0] >= 'a' && s[0] <= 'z') || (s[0] >= 'A' && s[0] <= 'Z')))
        return std::string_view::npos;
    for (std::size_t i = 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == ':')
            return i;
        const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!word)
            break;
    }
    return std::string_view::npos;
}

// Removes "." and ".." segments from a path that starts with "/"; ".." never climbs above
// the root.
std::string RemoveDotSegments(std::string_view path) {
    std::string in(path);
    std::string out;
    auto dropLast = [&out] {
        const std::size_t slash = out.rfind('/');
        out.resize(slash == std::string::npos ? 0 : slash);
    };
    std::size_t pos = 0;
    while (pos < in.size()) {
        const std::string_view rest = std::string_view(in).substr(pos);
        if (rest.starts_with("../")) {
            pos += 3;
        } else if (rest.starts_with("./") || rest.starts_with("/./")) {
            pos += 2;
        } else if (rest == "/.") {
            in.replace(pos, 2, "/");
        } else if (rest.starts_with("/../")) {
            pos += 3;
            dropLast();
        } else if (rest == "/..") {
            in.replace(pos, 3, "/");
            dropLast();
        } else if (rest == "." || rest == "..") {
            pos = in.size();
        } else {
            const std::size_t end = std::min(in.find('/', pos + 1), in.size());
            out.append(in, pos, end - pos);
            pos = end;
        }
    }
    if (out.empty() || out.front() != '/')
        out.insert(0, "/");
    return out;
}

// The target with dot segments removed from its path.
std::string CleanTarget(std::string_view target) {
    const std::size_t query = std::min(target.find('?'), target.size());
    return RemoveDotSegments(target.substr(0, query)) + std::string(target.substr(query));
}

std::string Normalized(std::string_view text) {
    std::string out(text.substr(0, text.find('#')));
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

} // namespace

std::optional<TUrl> TUrl::Parse(std::string_view input) {
    const std::string text = Normalized(input);
    std::string_view rest = text;
    TUrl url;
    if (const std::size_t sep = rest.find("://"); sep != std::string_view::npos) {
        url.FScheme = rest.substr(0, sep);
        url.FHasScheme = true;
        rest.remove_prefix(sep + 3);
    }
    const std::size_t authorityEnd = std::min(rest.find_first_of("/?"), rest.size());
    std::string_view host = rest.substr(0, authorityEnd);
    const std::string_view target = rest.substr(authorityEnd);
    if (const std::size_t at = host.rfind('@'); at != std::string_view::npos) {
        url.FUserInfo = host.substr(0, at);
        url.FHasUserInfo = true;
        host.remove_prefix(at + 1);
    }
    std::string_view name = host; // what must be a plain name or address
    if (host.starts_with('[')) {
        const std::size_t close = host.find(']');
        if (close == std::string_view::npos || close == 1)
            return std::nullopt;
        const std::string_view after = host.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return std::nullopt;
            url.FPort = after.substr(1);
            url.FHasPort = true;
        }
        host = host.substr(0, close + 1);
        name = host.substr(1, close - 1);
    } else if (const std::size_t colon = host.rfind(':'); colon != std::string_view::npos) {
        url.FPort = host.substr(colon + 1);
        url.FHasPort = true;
        host = host.substr(0, colon);
        name = host;
    }
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return IsBadHostChar(c) || c == '[' || c == ']'; }))
        return std::nullopt;
    url.FHost = host;
    url.FTarget = target.starts_with('/') ? std::string(target) : "/" + std::string(target);
    return url;
}

std::optional<TUrl> TUrl::Resolve(std::string_view reference) const {
    const std::string ref = Normalized(reference);
    if (const std::size_t scheme = SchemeLength(ref); scheme != std::string::npos) {
        if (ref.compare(scheme, 3, "://") != 0)
            return std::nullopt;
        std::optional<TUrl> out = Parse(ref);
        if (out)
            out->FTarget = CleanTarget(out->FTarget);
        return out;
    }
    // Joined to an address without "://", the result could read differently when parsed.
    if (!FHasScheme)
        return std::nullopt;
    if (ref.starts_with("//")) {
        std::optional<TUrl> out = Parse(FScheme + "://" + ref.substr(2));
        if (out)
            out->FTarget = CleanTarget(out->FTarget);
        return out;
    }
    TUrl out = *this;
    if (ref.empty())
        return out;
    if (ref.front() == '?') {
        out.FTarget = Path() + ref;
    } else if (ref.front() == '/') {
        out.FTarget = CleanTarget(ref);
    } else {
        const std::string path = Path();
        out.FTarget = CleanTarget(path.substr(0, path.rfind('/') + 1) + ref);
    }
    return out;
}

std::string TUrl::ToString() const {
    std::string out;
    if (FHasScheme)
        out += FScheme + "://";
    if (FHasUserInfo)
        out += FUserInfo + "@";
    out += FHost;
    if (FHasPort)
        out += ":" + FPort;
    out += FTarget;
    return out;
}

bool TUrl::IsHttp() const {
    return SameText(FScheme, "http");
}

bool TUrl::IsHttps() const {
    return SameText(FScheme, "https");
}

std::string TUrl::HostName() const {
    if (FHost.size() >= 2 && FHost.front() == '[' && FHost.back() == ']')
        return FHost.substr(1, FHost.size() - 2);
    return FHost;
}

std::string TUrl::Path() const {
    return FTarget.substr(0, FTarget.find('?'));
}

std::string TUrl::Query() const {
    const std::size_t mark = FTarget.find('?');
    return mark == std::string::npos ? std::string() : FTarget.substr(mark + 1);
}

bool TUrl::HasQuery() const {
    return FTarget.find('?') != std::string::npos;
}

const char* TUrl::DefaultPort() const {
    return IsHttps() ? "443" : "80";
}

std::string TUrl::EffectivePort() const {
    return FPort.empty() ? std::string(DefaultPort()) : FPort;
}

std::string TUrl::HostHeader() const {
    if (FPort.empty() || FPort == DefaultPort())
        return FHost;
    return FHost + ":" + FPort;
}

std::string TUrl::User() const {
    return PercentDecoded(std::string_view(FUserInfo).substr(0, FUserInfo.find(':')));
}

std::string TUrl::Password() const {
    const std::size_t colon = FUserInfo.find(':');
    if (colon == std::string::npos)
        return {};
    return PercentDecoded(std::string_view(FUserInfo).substr(colon + 1));
}

std::string UrlForDisplay(std::string_view text) {
    // Found as the client reads it ("\\" as "/"), replaced in the text as typed.
    std::string slashed(text);
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    const std::string_view url = slashed;
    const std::size_t sep = url.find("://");
    const std::size_t from = sep == std::string_view::npos ? 0 : sep + 3;
    const std::size_t end = std::min(url.find_first_of("/?#", from), url.size());
    const std::size_t at = url.substr(0, end).rfind('@');
    if (at == std::string_view::npos || at < from)
        return std::string(text);
    const std::size_t colon = url.substr(0, at).find(':', from);
    if (colon == std::string_view::npos)
        return std::string(text);
    std::string out(text.substr(0, colon + 1));
    out += "***";
    out += text.substr(at);
    return out;
}

} // namespace ocelis
