// Feeds arbitrary text to the WWW-Authenticate reader as one header value, then answers every
// challenge it can. Errors are fine; crashes, a parameter that would not survive quoting, and
// an Authorization value that does not read back as sent are not.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/HttpAuth.h"

namespace {

bool IsToken(std::string_view s) {
    if (s.empty())
        return false;
    for (char c : s)
        if (c <= ' ' || c == '"' || c == ',' || c == '=' || c == '\\' || c == 0x7f)
            return false;
    return true;
}

// A value quoted as the client quotes it reads back unchanged, as the only parameter.
void CheckQuoting(const std::string& value) {
    std::vector<ocelis::TAuthChallenge> back;
    if (!ocelis::ParseAuthChallenges("X v=" + ocelis::QuotedString(value), back) ||
        back.size() != 1 || back[0].Params.size() != 1 || back[0].Params[0].second != value)
        __builtin_trap();
}

void CheckAnswer(const ocelis::TAuthState& state) {
    const std::string user = "u\"s\\er";
    if (state.Scheme == ocelis::TAuthScheme::Basic) {
        if (ocelis::BasicAuthorization(user, "pw").rfind("Basic ", 0) != 0)
            __builtin_trap();
        return;
    }
    const std::string value =
        ocelis::DigestAuthorization(state, user, "pw", "GET", "/a b\"c", 7, "cn");
    std::vector<ocelis::TAuthChallenge> back;
    if (!ocelis::ParseAuthChallenges(value, back) || back.size() != 1)
        __builtin_trap();
    const ocelis::TAuthChallenge& a = back[0];
    if (a.Param("username") != user || a.Param("realm") != state.Realm ||
        a.Param("nonce") != state.Nonce || a.Param("opaque") != state.Opaque ||
        a.Param("uri") != "/a b\"c" || !a.Param("response"))
        __builtin_trap();
    if (state.Qop && (a.Param("nc") != "00000007" || a.Param("qop") != "auth"))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<ocelis::TAuthChallenge> challenges;
    const bool ok = ocelis::ParseAuthChallenges(text, challenges);
    for (std::size_t i = 0; i < challenges.size(); ++i) {
        const ocelis::TAuthChallenge& c = challenges[i];
        // Only the last challenge may be the broken one, and only when reading failed.
        if (c.Malformed && (ok || i + 1 != challenges.size()))
            __builtin_trap();
        if (!IsToken(c.Scheme))
            __builtin_trap();
        for (const auto& [name, value] : c.Params) {
            if (!IsToken(name))
                __builtin_trap();
            CheckQuoting(value);
        }
        if (const std::optional<ocelis::TAuthState> state = ocelis::ReadChallenge(c))
            CheckAnswer(*state);
    }
    for (const bool overTls : {false, true})
        if (const std::optional<ocelis::TAuthState> state =
                ocelis::ChooseChallenge({std::string(text)}, overTls))
            CheckAnswer(*state);
    return 0;
}
