// A web address split the one way the program reads it:
//   scheme://[user[:password]@]host[:port][/path][?query][#fragment]
// Backslashes count as slashes and the fragment is dropped, as a fetch does. Every part is
// kept as written (no case folding, no percent-decoding), so the request bytes follow the
// text the user gave.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ocelis {

class TUrl {
public:
    // The port follows the last ":" of the authority (after the "]" of an IPv6 literal).
    // Gives nothing when the host holds blanks, control characters, "/" or "@", or when
    // brackets are broken: "[" or "]" outside an IPv6 literal, an unclosed or empty literal,
    // or one followed by anything but ":port". Text without "://" has no scheme and starts
    // with the authority. Never throws.
    static std::optional<TUrl> Parse(std::string_view text);

    // Where a Location header (or any reference) points, seen from this address: absolute
    // addresses, "//host/x", "/x", "x", "../x", "?q" and "" (this address). Dot segments of
    // the new path are removed; a query-only or empty reference keeps this path as it is.
    // Gives nothing when the reference does not parse (a broken host), names a scheme without
    // "//" ("mailto:x"), or is relative while this address was written without "://".
    std::optional<TUrl> Resolve(std::string_view reference) const;

    // Writes the parts back; parsing the result gives the same parts.
    std::string ToString() const;

    bool operator==(const TUrl&) const = default;

    const std::string& Scheme() const { return FScheme; } // empty when written without "://"
    bool HasScheme() const { return FHasScheme; }         // "://" was written
    const std::string& UserInfo() const { return FUserInfo; }
    bool HasUserInfo() const { return FHasUserInfo; } // an "@" was written, maybe after nothing
    const std::string& Host() const { return FHost; } // an IPv6 literal keeps its brackets
    const std::string& Port() const { return FPort; } // may be empty after a ":"
    bool HasPort() const { return FHasPort; }
    const std::string& Target() const { return FTarget; } // path and query; starts with "/"

    bool IsHttp() const;  // the scheme, without regard to ASCII case
    bool IsHttps() const; // likewise
    // The host for name resolution: without the brackets of an IPv6 literal.
    std::string HostName() const;
    std::string Path() const;  // the target up to its "?"
    std::string Query() const; // after the target's "?"; empty also when there is none
    bool HasQuery() const;
    const char* DefaultPort() const;   // "443" for https, "80" for any other scheme
    std::string EffectivePort() const; // the port, or the default one when it is empty
    // The Host header: the host as written, with ":port" unless the port is empty or the
    // default port's exact text.
    std::string HostHeader() const;
    // The user info split at its first ":", each percent-decoded.
    std::string User() const;
    std::string Password() const;

private:
    std::string FScheme;
    bool FHasScheme = false;
    std::string FUserInfo;
    bool FHasUserInfo = false;
    std::string FHost;
    std::string FPort;
    bool FHasPort = false;
    std::string FTarget = "/";
};

// An address as shown to the user: a password in it becomes "***"; the rest stays as typed.
std::string UrlForDisplay(std::string_view url);

} // namespace ocelis
