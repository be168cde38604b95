// Reading challenges, computing Digest and Basic answers, and the cache of what was learnt.
#include "net/HttpAuth.h"
#include "net/HttpAuthCache.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

using ocelis::ChooseChallenge;
using ocelis::ParseAuthChallenges;
using ocelis::ReadChallenge;
using ocelis::TAuthChallenge;
using ocelis::TAuthScheme;
using ocelis::TAuthState;
using ocelis::TDigestAlgorithm;
using ocelis::TDigestInput;
using ocelis::THttpAuthCache;
using TParams = std::vector<std::pair<std::string, std::string>>;

namespace {

// RFC 7616 section 3.9.1.
const std::string kRfcRealm = "http-auth@example.org";
const std::string kRfcNonce = "7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v";
const std::string kRfcCnonce = "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ";
const std::string kRfcOpaque = "FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS";

struct TExpectedChallenge {
    std::string Scheme;
    std::string Token68 = {};
    TParams Params = {};
    bool Malformed = false;
};

std::vector<TExpectedChallenge> Summary(const std::vector<TAuthChallenge>& challenges) {
    std::vector<TExpectedChallenge> out;
    for (const TAuthChallenge& c : challenges)
        out.push_back({c.Scheme, c.Token68, c.Params, c.Malformed});
    return out;
}

std::string Describe(const std::vector<TExpectedChallenge>& challenges) {
    std::string out;
    for (const TExpectedChallenge& c : challenges) {
        out += "[" + c.Scheme + (c.Malformed ? " malformed" : "") + " t68=" + c.Token68;
        for (const auto& [n, v] : c.Params)
            out += " " + n + "=<" + v + ">";
        out += "]";
    }
    return out;
}

TAuthState Digest(TDigestAlgorithm algorithm, bool qop) {
    TAuthState s;
    s.Scheme = TAuthScheme::Digest;
    s.Realm = kRfcRealm;
    s.Nonce = kRfcNonce;
    s.Opaque = kRfcOpaque;
    s.Algorithm = algorithm;
    s.Qop = qop;
    return s;
}

} // namespace

TEST(HttpAuthParse, ChallengesOfOneHeaderValue) {
    struct TCase {
        const char* Value;
        bool Ok;
        std::vector<TExpectedChallenge> Want;
    };
    const TCase cases[] = {
        {R"(Basic realm="simple")", true, {{"Basic", "", {{"realm", "simple"}}}}},
        // RFC 7235 section 4.1, with an escaped quote.
        {R"(Newauth realm="apps", type=1, title="Login to \"apps\"", Basic realm="simple")",
         true,
         {{"Newauth", "", {{"realm", "apps"}, {"type", "1"}, {"title", "Login to \"apps\""}}},
          {"Basic", "", {{"realm", "simple"}}}}},
        // Quoted commas belong to their value; two challenges in one header.
        {R"(Digest realm="a, b", qop="auth,auth-int", nonce="n1", Digest realm="c",)"
         R"( nonce=n2, algorithm=SHA-256)",
         true,
         {{"Digest", "", {{"realm", "a, b"}, {"qop", "auth,auth-int"}, {"nonce", "n1"}}},
          {"Digest", "", {{"realm", "c"}, {"nonce", "n2"}, {"algorithm", "SHA-256"}}}}},
        // Names keep their case; blanks around "=" and empty list elements are allowed.
        {" ,DIGEST REALM = \"r\" ,\tNonce= n ,, ",
         true,
         {{"DIGEST", "", {{"REALM", "r"}, {"Nonce", "n"}}}}},
        {"Negotiate abc+/x==, Basic realm=\"x\"",
         true,
         {{"Negotiate", "abc+/x=="}, {"Basic", "", {{"realm", "x"}}}}},
        {"Basic, Bearer", true, {{"Basic"}, {"Bearer"}}},
        {"Digest realm=", true, {{"Digest", "realm="}}},
        {R"(Digest realm="", nonce="\\")",
         true,
         {{"Digest", "", {{"realm", ""}, {"nonce", "\\"}}}}},
        {"", true, {}},
        // Broken: reading stops, keeping the challenge it broke in.
        {R"(Digest realm="unterminated)", false, {{"Digest", "", {}, true}}},
        {R"(Digest realm="a\)", false, {{"Digest", "", {}, true}}},
        {"Digest realm=\"a\x01\"", false, {{"Digest", "", {}, true}}},
        {R"(Digest realm="a"b, nonce="n")", false, {{"Digest", "", {{"realm", "a"}}, true}}},
        {R"(Basic realm="x" Digest)", false, {{"Basic", "", {{"realm", "x"}}, true}}},
        // "token =" after a comma is a parameter, "token token" a new challenge.
        {R"(Basic realm="x", Digest =n)", true, {{"Basic", "", {{"realm", "x"}, {"Digest", "n"}}}}},
        {R"(Basic realm="x", Digest realm==n)",
         false,
         {{"Basic", "", {{"realm", "x"}}}, {"Digest", "", {}, true}}},
        {R"(Digest realm="r", "x")", false, {{"Digest", "", {{"realm", "r"}}, true}}},
        {R"(Digest"realm")", false, {{"Digest", "", {}, true}}},
        {R"("Basic")", false, {}},
        {"Digest realm=\"a\"\r, nonce=n", false, {{"Digest", "", {{"realm", "a"}}, true}}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Value);
        std::vector<TAuthChallenge> got;
        EXPECT_EQ(ParseAuthChallenges(c.Value, got), c.Ok);
        EXPECT_EQ(Describe(Summary(got)), Describe(c.Want));
    }
}

TEST(HttpAuthParse, ParameterNamesMatchInAnyCaseAndTheFirstOneCounts) {
    std::vector<TAuthChallenge> got;
    ASSERT_TRUE(ParseAuthChallenges(R"(Digest REALM="a", realm="b", Stale=TRUE)", got));
    ASSERT_EQ(got.size(), 1u);
    const TAuthChallenge& c = got[0];
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"realm", "a"}, {"Realm", "a"}, {"stale", "TRUE"}, {"nonce", std::nullopt}};
    for (const auto& [name, want] : cases)
        EXPECT_EQ(c.Param(name), want) << name;
}

TEST(HttpAuthParse, QuotedStringEscapesOnlyQuoteAndBackslash) {
    const std::pair<const char*, const char*> cases[] = {
        {"", R"("")"},
        {"plain text", R"("plain text")"},
        {R"(a"b\c)", R"("a\"b\\c")"},
        {"/x?y=1,2", R"("/x?y=1,2")"},
    };
    for (const auto& [value, want] : cases) {
        EXPECT_EQ(ocelis::QuotedString(value), want);
        // And it reads back as it was.
        std::vector<TAuthChallenge> got;
        ASSERT_TRUE(ParseAuthChallenges(std::string("X v=") + want, got)) << value;
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].Param("v"), value);
    }
}

TEST(HttpAuthRead, WhatCanBeAnsweredAndWhatNot) {
    struct TCase {
        const char* Value;
        std::optional<TAuthState> Want;
    };
    auto digest = [](TDigestAlgorithm a, bool qop, std::optional<std::string> opaque = "o",
                     bool stale = false) {
        TAuthState s;
        s.Scheme = TAuthScheme::Digest;
        s.Realm = "r";
        s.Nonce = "n";
        s.Opaque = std::move(opaque);
        s.Algorithm = a;
        s.Qop = qop;
        s.Stale = stale;
        return s;
    };
    TAuthState basic;
    basic.Realm = "cam";
    const TCase cases[] = {
        {R"(Digest realm="r", nonce="n", opaque="o")", digest(TDigestAlgorithm::Md5, false)},
        {R"(Digest realm="r", nonce="n")", digest(TDigestAlgorithm::Md5, false, std::nullopt)},
        {R"(Digest realm="r", nonce="n", opaque="")", digest(TDigestAlgorithm::Md5, false, "")},
        {R"(digest realm="r", nonce="n", opaque="o", algorithm=md5, qop="auth")",
         digest(TDigestAlgorithm::Md5, true)},
        {R"(Digest realm="r", nonce="n", opaque="o", algorithm="MD5-SESS", qop="auth-int, Auth")",
         digest(TDigestAlgorithm::Md5Sess, true)},
        {R"(Digest realm="r", nonce="n", opaque="o", algorithm=sha-256, qop=auth)",
         digest(TDigestAlgorithm::Sha256, true)},
        {R"(Digest realm="r", nonce="n", opaque="o", algorithm=SHA-256-sess, qop="auth")",
         digest(TDigestAlgorithm::Sha256Sess, true)},
        {R"(Digest realm="r", nonce="n", opaque="o", stale=TRUE)",
         digest(TDigestAlgorithm::Md5, false, "o", true)},
        {R"(Digest realm="r", nonce="n", opaque="o", stale="true")",
         digest(TDigestAlgorithm::Md5, false, "o", true)},
        {R"(Digest realm="r", nonce="n", opaque="o", stale=FALSE)",
         digest(TDigestAlgorithm::Md5, false)},
        {R"(Basic realm="cam")", basic},
        {R"(BASIC realm="cam", charset="UTF-8")", basic},
        // Nothing to answer with.
        {R"(Digest realm="r", nonce="n", algorithm=SHA-512-256)", std::nullopt},
        {R"(Digest realm="r", nonce="n", qop="auth-int")", std::nullopt},
        {R"(Digest realm="r", nonce="n", algorithm=MD5-sess)", std::nullopt},
        {R"(Digest realm="r")", std::nullopt},
        {R"(Digest nonce="n")", std::nullopt},
        {R"(Digest abc==)", std::nullopt},
        {R"(Bearer realm="r")", std::nullopt},
        {R"(Digest realm="r", nonce="n", opaque="o)", std::nullopt},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Value);
        std::vector<TAuthChallenge> challenges;
        ParseAuthChallenges(c.Value, challenges);
        ASSERT_EQ(challenges.size(), 1u);
        EXPECT_EQ(ReadChallenge(challenges[0]), c.Want);
    }
}

TEST(HttpAuthRead, ChoosesDigestSha256ThenMd5ThenBasic) {
    const std::string md5 = R"(Digest realm="r", nonce="m", qop="auth")";
    const std::string sha = R"(Digest realm="r", nonce="s", qop="auth", algorithm=SHA-256)";
    const std::string shaSess =
        R"(Digest realm="r", nonce="t", qop="auth", algorithm=SHA-256-sess)";
    const std::string unknown = R"(Digest realm="r", nonce="u", algorithm=SHA-512-256)";
    const std::string basic = R"(Basic realm="r")";
    struct TCase {
        const char* Name;
        std::vector<std::string> Values;
        bool OverTls;
        std::optional<std::string> WantNonce; // "" for Basic
    };
    const TCase cases[] = {
        {"md5 then sha-256 in one header", {md5 + ", " + sha}, false, "s"},
        {"sha-256 then md5 in two headers", {sha, md5}, false, "s"},
        {"basic, md5", {basic, md5}, false, "m"},
        {"the first of its rank", {shaSess + ", " + sha}, false, "t"},
        {"basic alone over http", {basic}, false, ""},
        {"basic beside an unknown digest over http", {basic + ", " + unknown}, false, {}},
        {"basic beside an unknown digest over https", {unknown, basic}, true, ""},
        {"basic beside a broken digest over http", {basic, R"(Digest realm="r)"}, false, {}},
        {"a broken header, then a good one", {R"(Digest realm=")", md5}, false, "m"},
        {"a broken header keeps what came before it", {md5 + R"(, Basic realm="x)"}, false, "m"},
        {"unknown schemes only", {R"(Bearer realm="r", Negotiate)"}, false, {}},
        {"none", {}, false, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::optional<TAuthState> got = ChooseChallenge(c.Values, c.OverTls);
        ASSERT_EQ(got.has_value(), c.WantNonce.has_value());
        if (got) {
            EXPECT_EQ(got->Nonce, *c.WantNonce);
        }
    }
}

// Expected values are the RFC's where it prints one (RFC 7616 section 3.9.1, RFC 2617 section
// 3.5); the others were worked out by hand from the same example values.
TEST(HttpAuthDigest, ResponsesForTheRfcExamples) {
    struct TCase {
        const char* Name;
        TDigestInput In;
        const char* Want;
    };
    auto rfc = [](TDigestAlgorithm a, bool qop = true, const char* method = "GET",
                  uint32_t nc = 1) {
        TDigestInput in;
        in.Algorithm = a;
        in.User = "Mufasa";
        in.Realm = kRfcRealm;
        in.Password = "Circle of Life";
        in.Method = method;
        in.Uri = "/dir/index.html";
        in.Nonce = kRfcNonce;
        in.Cnonce = qop ? kRfcCnonce : "";
        in.Nc = nc;
        in.Qop = qop;
        return in;
    };
    TDigestInput rfc2617 = rfc(TDigestAlgorithm::Md5);
    rfc2617.Realm = "testrealm@host.com";
    rfc2617.Password = "Circle Of Life";
    rfc2617.Nonce = "dcd98b7102dd2f0e8b11d0f600bfb0c093";
    rfc2617.Cnonce = "0a4f113b";
    const TCase cases[] = {
        {"RFC 7616 MD5", rfc(TDigestAlgorithm::Md5), "8ca523f5e9506fed4657c9700eebdbec"},
        {"RFC 7616 SHA-256", rfc(TDigestAlgorithm::Sha256),
         "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1"},
        {"RFC 2617 MD5", rfc2617, "6629fae49393a05397450978507c4ef1"},
        {"MD5-sess", rfc(TDigestAlgorithm::Md5Sess), "e783283f46242139c486a698fec7211d"},
        {"SHA-256-sess", rfc(TDigestAlgorithm::Sha256Sess),
         "2fd51b3a77ad75bad6afad6003e818d767133c46d9e2749e7f5232ae1ea3efd7"},
        {"MD5 without qop", rfc(TDigestAlgorithm::Md5, false), "7b2cc3b30e75b4777ea31027084363fd"},
        {"SHA-256 without qop", rfc(TDigestAlgorithm::Sha256, false),
         "a1306b0595a6c7fe96c448631fb5cfbd5107bd1fe1da729d978dd7446b812363"},
        {"MD5 HEAD, second use", rfc(TDigestAlgorithm::Md5, true, "HEAD", 2),
         "0554c8dd0ff9907a1a019f3611a99e73"},
        {"SHA-256 HEAD, second use", rfc(TDigestAlgorithm::Sha256, true, "HEAD", 2),
         "501ba474c67fae232358678a3ad815fe3c2d576ef896d17c926febb828b8fc11"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ocelis::DigestResponse(c.In), c.Want) << c.Name;
}

TEST(HttpAuthDigest, AuthorizationValues) {
    TAuthState noOpaque = Digest(TDigestAlgorithm::Md5, false);
    noOpaque.Opaque.reset();
    struct TCase {
        const char* Name;
        TAuthState State;
        std::string User;
        uint32_t Nc;
        std::string Want;
    };
    const TCase cases[] = {
        // RFC 7616 section 3.9.1, as printed there.
        {"MD5", Digest(TDigestAlgorithm::Md5, true), "Mufasa", 1,
         R"(Digest username="Mufasa", realm="http-auth@example.org", uri="/dir/index.html", )"
         R"(algorithm=MD5, nonce=")" +
             kRfcNonce + R"(", nc=00000001, cnonce=")" + kRfcCnonce +
             R"(", qop=auth, response="8ca523f5e9506fed4657c9700eebdbec", opaque=")" + kRfcOpaque +
             "\""},
        {"SHA-256", Digest(TDigestAlgorithm::Sha256, true), "Mufasa", 1,
         R"(Digest username="Mufasa", realm="http-auth@example.org", uri="/dir/index.html", )"
         R"(algorithm=SHA-256, nonce=")" +
             kRfcNonce + R"(", nc=00000001, cnonce=")" + kRfcCnonce +
             R"(", qop=auth, response=")"
             R"(753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1", opaque=")" +
             kRfcOpaque + "\""},
        {"without qop or opaque", noOpaque, "Mufasa", 7,
         R"(Digest username="Mufasa", realm="http-auth@example.org", uri="/dir/index.html", )"
         R"(algorithm=MD5, nonce=")" +
             kRfcNonce + R"(", response="7b2cc3b30e75b4777ea31027084363fd")"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ocelis::DigestAuthorization(c.State, c.User, "Circle of Life", "GET",
                                              "/dir/index.html", c.Nc, kRfcCnonce),
                  c.Want)
            << c.Name;
}

TEST(HttpAuthDigest, AuthorizationReadsBackWithOddValuesQuoted) {
    TAuthState state = Digest(TDigestAlgorithm::Sha256Sess, true);
    state.Realm = R"(a "quoted" \ realm, too)";
    state.Opaque = "";
    const std::string user = R"(Mu"fa\sa)";
    const std::string uri = R"(/a b"c?x=1,2)";
    const std::string value =
        ocelis::DigestAuthorization(state, user, "pw", "HEAD", uri, 0x1a2b, "c\"n");
    std::vector<TAuthChallenge> got;
    ASSERT_TRUE(ParseAuthChallenges(value, got)) << value;
    ASSERT_EQ(got.size(), 1u);
    const TAuthChallenge& c = got[0];
    const std::pair<const char*, std::string> cases[] = {
        {"username", user},   {"realm", state.Realm}, {"uri", uri},
        {"nonce", kRfcNonce}, {"nc", "00001a2b"},     {"cnonce", "c\"n"},
        {"qop", "auth"},      {"opaque", ""},         {"algorithm", "SHA-256-sess"},
    };
    for (const auto& [name, want] : cases)
        EXPECT_EQ(c.Param(name), want) << name;
    EXPECT_EQ(c.Param("response")->size(), 64u);
}

TEST(HttpAuthBasic, AuthorizationValues) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"Aladdin", "open sesame", "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ=="}, // RFC 7617 section 2
        {"test", "123\xc2\xa3", "Basic dGVzdDoxMjPCow=="},                // section 2.1
        {"user", "", "Basic dXNlcjo="},
        {"", "", "Basic Og=="},
    };
    for (const auto& [user, password, want] : cases)
        EXPECT_EQ(ocelis::BasicAuthorization(user, password), want) << user;
}

TEST(HttpAuthDigest, ClientNoncesAreFreshHex) {
    std::set<std::string> seen;
    for (int i = 0; i < 8; ++i) {
        const std::string c = ocelis::NewCnonce();
        EXPECT_EQ(c.size(), 32u);
        EXPECT_EQ(c.find_first_not_of("0123456789abcdef"), std::string::npos) << c;
        seen.insert(c);
    }
    EXPECT_EQ(seen.size(), 8u);
}

TEST(HttpAuthCache, CountsEachNonceAndKeepsEachProtectionSpaceApart) {
    THttpAuthCache cache;
    const THttpAuthCache::TKey key{"http", "cam.example", "80", "user"};
    EXPECT_FALSE(cache.TakeForRequest(key));
    TAuthState first = Digest(TDigestAlgorithm::Md5, true);
    first.Stale = true;
    cache.Store(key, first);
    // What each step gives: the nc sent, or nothing for another space.
    struct TStep {
        const char* Name;
        THttpAuthCache::TKey Key;
        std::optional<uint32_t> WantNc;
    };
    const TStep steps[] = {
        {"first use", key, 1},
        {"second use", key, 2},
        {"https", {"https", "cam.example", "80", "user"}, {}},
        {"other host", {"http", "cam2.example", "80", "user"}, {}},
        {"other port", {"http", "cam.example", "8080", "user"}, {}},
        {"other user", {"http", "cam.example", "80", "admin"}, {}},
        {"third use", key, 3},
    };
    for (const TStep& s : steps) {
        const std::optional<TAuthState> got = cache.TakeForRequest(s.Key);
        ASSERT_EQ(got.has_value(), s.WantNc.has_value()) << s.Name;
        if (got) {
            EXPECT_EQ(got->Nc, *s.WantNc) << s.Name;
            EXPECT_FALSE(got->Stale) << s.Name;
        }
    }
    // The same nonce again keeps counting; a new one starts over.
    cache.Store(key, first);
    EXPECT_EQ(cache.TakeForRequest(key)->Nc, 4u);
    TAuthState second = first;
    second.Nonce = "new";
    cache.Store(key, second);
    EXPECT_EQ(cache.TakeForRequest(key)->Nc, 1u);
}

TEST(HttpAuthCache, ARefusalHoldsForItsPauseAndForgetsTheChallenge) {
    const THttpAuthCache::TKey key{"http", "cam.example", "80", "user"};
    const THttpAuthCache::TKey other{"http", "cam.example", "80", "admin"};
    struct TCase {
        const char* Name;
        THttpAuthCache::TClock::duration Pause;
        bool WantRefused;
    };
    const TCase cases[] = {
        {"default five minutes", THttpAuthCache().RefusalPause, true},
        {"an hour", std::chrono::hours(1), true},
        {"over", std::chrono::milliseconds(0), false},
    };
    EXPECT_EQ(THttpAuthCache().RefusalPause, std::chrono::minutes(5));
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        THttpAuthCache cache;
        cache.RefusalPause = c.Pause;
        cache.Store(key, Digest(TDigestAlgorithm::Md5, true));
        cache.Store(other, Digest(TDigestAlgorithm::Md5, true));
        EXPECT_FALSE(cache.Refusal(key));
        cache.Refuse(key, "HTTP/1.1 401 Unauthorized");
        EXPECT_EQ(cache.Refusal(key), c.WantRefused
                                          ? std::optional<std::string>("HTTP/1.1 401 Unauthorized")
                                          : std::nullopt);
        EXPECT_FALSE(cache.TakeForRequest(key));
        EXPECT_FALSE(cache.Refusal(other));
        EXPECT_TRUE(cache.TakeForRequest(other));
    }
}
