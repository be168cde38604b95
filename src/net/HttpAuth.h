// HTTP authentication with the credentials of an address: reading the challenges of
// WWW-Authenticate headers (RFC 7235), and answering them with Basic (RFC 7617) or Digest
// (RFC 7616, and RFC 2069 for servers that name no qop).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ocelis {

// One challenge as sent: its scheme, then a token68 or parameters with unquoted values.
struct TAuthChallenge {
    std::string Scheme;
    std::string Token68;
    std::vector<std::pair<std::string, std::string>> Params; // names as sent
    // The grammar broke inside this challenge: what was read is kept, but it is not answered.
    bool Malformed = false;

    // The first parameter with this name, in any letter case.
    std::optional<std::string> Param(std::string_view name) const;
};

// The challenges of one WWW-Authenticate value; several may share it, separated by commas as
// their parameters are. Reading stops where the grammar breaks: false, and the challenge it
// broke in is the last one, marked Malformed.
bool ParseAuthChallenges(std::string_view value, std::vector<TAuthChallenge>& challenges);

// value as a quoted-string: in quotes, with a backslash before each quote and backslash.
std::string QuotedString(std::string_view value);

enum class TAuthScheme { Basic, Digest };
enum class TDigestAlgorithm { Md5, Md5Sess, Sha256, Sha256Sess };

// "MD5", "MD5-sess", "SHA-256" or "SHA-256-sess".
const char* DigestAlgorithmName(TDigestAlgorithm algorithm);

// An answerable challenge: what a request needs to authenticate, then and later.
struct TAuthState {
    TAuthScheme Scheme = TAuthScheme::Basic;
    std::string Realm;
    // Digest only.
    std::string Nonce;
    std::optional<std::string> Opaque;
    TDigestAlgorithm Algorithm = TDigestAlgorithm::Md5;
    bool Qop = false;   // qop=auth; without it an RFC 2069 answer (no nc, no cnonce)
    uint32_t Nc = 0;    // how many requests have used Nonce
    bool Stale = false; // the challenge said the last nonce sent had expired

    bool operator==(const TAuthState&) const = default;
};

// The challenge as something the client can answer: Basic, or Digest with a realm and nonce,
// a known algorithm (MD5 when absent) and either no qop or one that lists "auth" (-sess
// needs it). Nothing for other schemes and for malformed challenges.
std::optional<TAuthState> ReadChallenge(const TAuthChallenge& challenge);

// The challenge to answer among all the WWW-Authenticate values of one answer: Digest
// SHA-256, then Digest MD5, then Basic, the first of its rank. Without TLS, Basic only when
// no Digest challenge is offered, even one that cannot be answered.
std::optional<TAuthState> ChooseChallenge(const std::vector<std::string>& values, bool overTls);

struct TDigestInput {
    TDigestAlgorithm Algorithm = TDigestAlgorithm::Md5;
    std::string User;
    std::string Realm;
    std::string Password;
    std::string Method;
    std::string Uri;
    std::string Nonce;
    std::string Cnonce; // with Qop, or a -sess algorithm
    uint32_t Nc = 1;    // with Qop
    bool Qop = true;
};

// The request-digest of RFC 7616 section 3.4.1 in lower-case hex; RFC 2069's without Qop.
std::string DigestResponse(const TDigestInput& input);

// The values of Authorization headers. Digest uses state's nonce with nc and cnonce.
std::string DigestAuthorization(const TAuthState& state, const std::string& user,
                                const std::string& password, const std::string& method,
                                const std::string& uri, uint32_t nc, const std::string& cnonce);
std::string BasicAuthorization(std::string_view user, std::string_view password);

// A fresh client nonce: 16 random bytes in hex.
std::string NewCnonce();

} // namespace ocelis
