#include "net/HttpAuth.h"

#include "net/HttpFailure.h"
#include "util/Text.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <array>
#include <cstdio>

namespace ocelis {

namespace {

bool IsTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '!':
    case '#':
    case '$':
    case '%':
    case '&':
    case '\'':
    case '*':
    case '+':
    case '-':
    case '.':
    case '^':
    case '_':
    case '`':
    case '|':
    case '~':
        return true;
    default:
        return false;
    }
}

bool IsToken68Char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '+' || c == '/';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// qdtext, and what may follow a backslash: blanks, visible ASCII and obs-text.
bool IsQuotedChar(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b == '\t' || (b >= 0x20 && b != 0x7f);
}

class TChallengeReader {
public:
    explicit TChallengeReader(std::string_view text) : FText(text) {}

    bool Read(std::vector<TAuthChallenge>& out) {
        for (;;) {
            SkipListSeparators();
            if (AtEnd())
                return true;
            TAuthChallenge challenge;
            challenge.Scheme = Token();
            if (challenge.Scheme.empty())
                return false;
            const bool ok = ReadRest(challenge);
            challenge.Malformed = !ok;
            out.push_back(std::move(challenge));
            if (!ok)
                return false;
        }
    }

private:
    bool AtEnd() const { return FPos >= FText.size(); }
    char Peek(std::size_t ahead = 0) const {
        return FPos + ahead < FText.size() ? FText[FPos + ahead] : '\0';
    }
    void SkipBlanks() {
        while (!AtEnd() && IsBlank(FText[FPos]))
            ++FPos;
    }
    // Empty list elements are allowed: ", ,a".
    void SkipListSeparators() {
        while (!AtEnd() && (IsBlank(FText[FPos]) || FText[FPos] == ','))
            ++FPos;
    }
    std::string Token() {
        const std::size_t start = FPos;
        while (!AtEnd() && IsTokenChar(FText[FPos]))
            ++FPos;
        return std::string(FText.substr(start, FPos - start));
    }

    // After the scheme: nothing, a token68, or parameters; stops before the next challenge.
    bool ReadRest(TAuthChallenge& challenge) {
        if (AtEnd() || Peek() == ',')
            return true;
        if (!IsBlank(Peek()))
            return false;
        SkipBlanks();
        if (AtEnd() || Peek() == ',')
            return true;
        if (ReadToken68(challenge))
            return true;
        for (;;) {
            if (!ReadParam(challenge))
                return false;
            SkipBlanks();
            if (AtEnd())
                return true;
            if (Peek() != ',')
                return false;
            SkipListSeparators();
            if (AtEnd())
                return true;
            if (!ParamFollows())
                return true; // the next challenge's scheme
        }
    }

    // A token68 is alone: what follows it is the end or a comma.
    bool ReadToken68(TAuthChallenge& challenge) {
        std::size_t end = FPos;
        while (end < FText.size() && IsToken68Char(FText[end]))
            ++end;
        if (end == FPos)
            return false;
        while (end < FText.size() && FText[end] == '=')
            ++end;
        std::size_t after = end;
        while (after < FText.size() && IsBlank(FText[after]))
            ++after;
        if (after < FText.size() && FText[after] != ',')
            return false;
        challenge.Token68 = std::string(FText.substr(FPos, end - FPos));
        FPos = after;
        return true;
    }

    // token BWS "=" starts a parameter; a token alone starts a challenge.
    bool ParamFollows() const {
        std::size_t at = FPos;
        while (at < FText.size() && IsTokenChar(FText[at]))
            ++at;
        if (at == FPos)
            return true; // neither: let ReadParam fail on it
        while (at < FText.size() && IsBlank(FText[at]))
            ++at;
        return at < FText.size() && FText[at] == '=';
    }

    bool ReadParam(TAuthChallenge& challenge) {
        std::string name = Token();
        if (name.empty())
            return false;
        SkipBlanks();
        if (Peek() != '=')
            return false;
        ++FPos;
        SkipBlanks();
        std::string value;
        if (Peek() == '"') {
            if (!QuotedValue(value))
                return false;
        } else {
            value = Token();
            if (value.empty())
                return false;
        }
        challenge.Params.emplace_back(std::move(name), std::move(value));
        return true;
    }

    bool QuotedValue(std::string& value) {
        ++FPos;
        while (!AtEnd()) {
            const char c = FText[FPos++];
            if (c == '"')
                return true;
            if (c == '\\') {
                if (AtEnd() || !IsQuotedChar(FText[FPos]))
                    return false;
                value += FText[FPos++];
            } else if (IsQuotedChar(c)) {
                value += c;
            } else {
                return false;
            }
        }
        return false;
    }

    std::string_view FText;
    std::size_t FPos = 0;
};

int Rank(const TAuthState& state) {
    if (state.Scheme == TAuthScheme::Basic)
        return 1;
    switch (state.Algorithm) {
    case TDigestAlgorithm::Sha256:
    case TDigestAlgorithm::Sha256Sess:
        return 3;
    case TDigestAlgorithm::Md5:
    case TDigestAlgorithm::Md5Sess:
        return 2;
    }
    return 0;
}

std::optional<TDigestAlgorithm> AlgorithmNamed(std::string_view name) {
    for (TDigestAlgorithm a : {TDigestAlgorithm::Md5, TDigestAlgorithm::Md5Sess,
                               TDigestAlgorithm::Sha256, TDigestAlgorithm::Sha256Sess})
        if (SameText(name, DigestAlgorithmName(a)))
            return a;
    return std::nullopt;
}

bool IsSession(TDigestAlgorithm a) {
    return a == TDigestAlgorithm::Md5Sess || a == TDigestAlgorithm::Sha256Sess;
}

bool ListsAuth(std::string_view qop) {
    std::size_t start = 0;
    while (start <= qop.size()) {
        std::size_t comma = qop.find(',', start);
        if (comma == std::string_view::npos)
            comma = qop.size();
        if (SameText(Trim(qop.substr(start, comma - start)), "auth"))
            return true;
        start = comma + 1;
    }
    return false;
}

std::string Hex(const unsigned char* bytes, std::size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

// Fetched once: looking a hash up by name at every use costs more than hashing a line.
const EVP_MD* FetchedHash(bool md5) {
    static const EVP_MD* const kMd5 = EVP_MD_fetch(nullptr, "MD5", nullptr);
    static const EVP_MD* const kSha256 = EVP_MD_fetch(nullptr, "SHA2-256", nullptr);
    const EVP_MD* md = md5 ? kMd5 : kSha256;
    return md ? md : (md5 ? EVP_md5() : EVP_sha256());
}

std::string Hash(TDigestAlgorithm algorithm, std::string_view data) {
    const bool md5 = algorithm == TDigestAlgorithm::Md5 || algorithm == TDigestAlgorithm::Md5Sess;
    std::array<unsigned char, EVP_MAX_MD_SIZE> md{};
    unsigned int size = 0;
    if (EVP_Digest(data.data(), data.size(), md.data(), &size, FetchedHash(md5), nullptr) != 1)
        throw EHttpError("digest hash failed");
    return Hex(md.data(), size);
}

std::string NonceCount(uint32_t nc) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", nc);
    return text;
}

} // namespace

std::optional<std::string> TAuthChallenge::Param(std::string_view name) const {
    for (const auto& [n, v] : Params)
        if (SameText(n, name))
            return v;
    return std::nullopt;
}

bool ParseAuthChallenges(std::string_view value, std::vector<TAuthChallenge>& challenges) {
    return TChallengeReader(value).Read(challenges);
}

std::string QuotedString(std::string_view value) {
    std::string out = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

const char* DigestAlgorithmName(TDigestAlgorithm algorithm) {
    switch (algorithm) {
    case TDigestAlgorithm::Md5:
        return "MD5";
    case TDigestAlgorithm::Md5Sess:
        return "MD5-sess";
    case TDigestAlgorithm::Sha256:
        return "SHA-256";
    case TDigestAlgorithm::Sha256Sess:
        return "SHA-256-sess";
    }
    return "MD5";
}

std::optional<TAuthState> ReadChallenge(const TAuthChallenge& challenge) {
    if (challenge.Malformed)
        return std::nullopt;
    TAuthState state;
    if (SameText(challenge.Scheme, "Basic")) {
        state.Realm = challenge.Param("realm").value_or("");
        return state;
    }
    if (!SameText(challenge.Scheme, "Digest") || !challenge.Token68.empty())
        return std::nullopt;
    state.Scheme = TAuthScheme::Digest;
    const std::optional<std::string> realm = challenge.Param("realm");
    const std::optional<std::string> nonce = challenge.Param("nonce");
    if (!realm || !nonce)
        return std::nullopt;
    state.Realm = *realm;
    state.Nonce = *nonce;
    state.Opaque = challenge.Param("opaque");
    if (const std::optional<std::string> name = challenge.Param("algorithm")) {
        const std::optional<TDigestAlgorithm> algorithm = AlgorithmNamed(*name);
        if (!algorithm)
            return std::nullopt;
        state.Algorithm = *algorithm;
    }
    if (const std::optional<std::string> qop = challenge.Param("qop")) {
        if (!ListsAuth(*qop))
            return std::nullopt; // auth-int alone: the body would have to be hashed
        state.Qop = true;
    }
    // The session key needs a cnonce, which goes only with qop.
    if (IsSession(state.Algorithm) && !state.Qop)
        return std::nullopt;
    state.Stale = SameText(challenge.Param("stale").value_or(""), "true");
    return state;
}

std::optional<TAuthState> ChooseChallenge(const std::vector<std::string>& values, bool overTls) {
    std::vector<TAuthChallenge> challenges;
    for (const std::string& value : values)
        ParseAuthChallenges(value, challenges); // a broken value still gives what came before
    bool digestOffered = false;
    for (const TAuthChallenge& c : challenges)
        digestOffered = digestOffered || SameText(c.Scheme, "Digest");
    std::optional<TAuthState> best;
    for (const TAuthChallenge& c : challenges) {
        std::optional<TAuthState> state = ReadChallenge(c);
        if (!state || (state->Scheme == TAuthScheme::Basic && !overTls && digestOffered))
            continue;
        if (!best || Rank(*state) > Rank(*best))
            best = std::move(state);
    }
    return best;
}

std::string DigestResponse(const TDigestInput& in) {
    const TDigestAlgorithm a = in.Algorithm;
    std::string ha1 = Hash(a, in.User + ":" + in.Realm + ":" + in.Password);
    // Each request's own cnonce, as a server that keeps no session state checks it.
    if (IsSession(a))
        ha1 = Hash(a, ha1 + ":" + in.Nonce + ":" + in.Cnonce);
    const std::string ha2 = Hash(a, in.Method + ":" + in.Uri);
    if (!in.Qop)
        return Hash(a, ha1 + ":" + in.Nonce + ":" + ha2);
    return Hash(a,
                ha1 + ":" + in.Nonce + ":" + NonceCount(in.Nc) + ":" + in.Cnonce + ":auth:" + ha2);
}

std::string DigestAuthorization(const TAuthState& state, const std::string& user,
                                const std::string& password, const std::string& method,
                                const std::string& uri, uint32_t nc, const std::string& cnonce) {
    TDigestInput in;
    in.Algorithm = state.Algorithm;
    in.User = user;
    in.Realm = state.Realm;
    in.Password = password;
    in.Method = method;
    in.Uri = uri;
    in.Nonce = state.Nonce;
    in.Cnonce = cnonce;
    in.Nc = nc;
    in.Qop = state.Qop;
    std::string out = "Digest username=" + QuotedString(user) +
                      ", realm=" + QuotedString(state.Realm) + ", uri=" + QuotedString(uri) +
                      ", algorithm=" + DigestAlgorithmName(state.Algorithm) +
                      ", nonce=" + QuotedString(state.Nonce);
    if (state.Qop)
        out += ", nc=" + NonceCount(nc) + ", cnonce=" + QuotedString(cnonce) + ", qop=auth";
    out += ", response=\"" + DigestResponse(in) + "\"";
    if (state.Opaque)
        out += ", opaque=" + QuotedString(*state.Opaque);
    return out;
}

std::string BasicAuthorization(std::string_view user, std::string_view password) {
    const std::string plain = std::string(user) + ":" + std::string(password);
    std::string encoded(4 * ((plain.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                  reinterpret_cast<const unsigned char*>(plain.data()),
                                  static_cast<int>(plain.size()));
    encoded.resize(static_cast<std::size_t>(n));
    return "Basic " + encoded;
}

std::string NewCnonce() {
    std::array<unsigned char, 16> bytes{};
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1)
        throw EHttpError("no random bytes for a client nonce");
    return Hex(bytes.data(), bytes.size());
}

} // namespace ocelis
