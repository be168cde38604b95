// What a test camera checks: the Authorization a request carries, and whether a Digest
// answer proves a password for that request.
#pragma once

#include "net/HttpAuth.h"
#include "support/HttpTestServer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ocelis::test {

// The value of a request's header, trimmed; nothing when absent.
inline std::optional<std::string> RequestHeader(const HttpRequestSeen& r, const std::string& name) {
    const std::string start = "\r\n" + name + ": ";
    const std::size_t at = r.Raw.find(start);
    if (at == std::string::npos)
        return std::nullopt;
    const std::size_t from = at + start.size();
    return r.Raw.substr(from, r.Raw.find("\r\n", from) - from);
}

// The request's Authorization read as a challenge is: scheme, then token68 or parameters.
inline std::optional<TAuthChallenge> AuthorizationOf(const HttpRequestSeen& r) {
    const std::optional<std::string> value = RequestHeader(r, "Authorization");
    std::vector<TAuthChallenge> parsed;
    if (!value || !ParseAuthChallenges(*value, parsed) || parsed.size() != 1)
        return std::nullopt;
    return parsed[0];
}

// Whether a Digest answer proves user and password for this request, at its own target.
inline bool DigestProves(const TAuthChallenge& a, const HttpRequestSeen& r, const std::string& user,
                         const std::string& password) {
    TDigestInput in;
    const std::string algorithm = a.Param("algorithm").value_or("MD5");
    bool known = false;
    for (auto candidate : {TDigestAlgorithm::Md5, TDigestAlgorithm::Md5Sess,
                           TDigestAlgorithm::Sha256, TDigestAlgorithm::Sha256Sess})
        if (algorithm == DigestAlgorithmName(candidate)) {
            in.Algorithm = candidate;
            known = true;
        }
    in.User = a.Param("username").value_or("");
    in.Realm = a.Param("realm").value_or("");
    in.Password = password;
    in.Method = r.Method;
    in.Uri = a.Param("uri").value_or("");
    in.Nonce = a.Param("nonce").value_or("");
    in.Qop = a.Param("qop").has_value();
    in.Cnonce = a.Param("cnonce").value_or("");
    in.Nc = static_cast<uint32_t>(std::stoul(a.Param("nc").value_or("0"), nullptr, 16));
    return known && a.Scheme == "Digest" && in.Uri == r.Target && in.User == user &&
           a.Param("response") == DigestResponse(in);
}

} // namespace ocelis::test
