// What clients learnt about the servers that asked them for credentials, kept beyond any one
// client so that a polled camera is answered at once, and the credentials those servers
// refused, so that polling cannot lock an account.
#pragma once

#include "net/HttpAuth.h"

#include <chrono>
#include <compare>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace ocelis {

class THttpAuthCache {
public:
    using TClock = std::chrono::steady_clock;

    // One protection space as far as this client goes: credentials are never sent up front to
    // another scheme, host, port or user.
    struct TKey {
        std::string Scheme; // "http" or "https"
        std::string Host;   // lower case, brackets of an IPv6 literal kept
        std::string Port;   // the effective port
        std::string User;
        auto operator<=>(const TKey&) const = default;
    };

    // How long refused credentials are not sent again.
    TClock::duration RefusalPause = std::chrono::minutes(5);

    // What to send up front for key, its nonce count already counted for this request.
    std::optional<TAuthState> TakeForRequest(const TKey& key);
    // A challenge answered from now on; a new nonce starts counting at 1.
    void Store(const TKey& key, const TAuthState& state);

    // Forgets what was learnt for key and refuses it for RefusalPause.
    void Refuse(const TKey& key, const std::string& statusLine);
    // The status line of a refusal of key younger than RefusalPause.
    std::optional<std::string> Refusal(const TKey& key) const;

private:
    struct TRefusal {
        TClock::time_point At;
        std::string StatusLine;
    };
    mutable std::mutex FMutex;
    std::map<TKey, TAuthState> FStates;
    std::map<TKey, TRefusal> FRefusals;
};

} // namespace ocelis
