#include "net/HttpAuthCache.h"

namespace ocelis {

std::optional<TAuthState> THttpAuthCache::TakeForRequest(const TKey& key) {
    std::lock_guard<std::mutex> lock(FMutex);
    const auto found = FStates.find(key);
    if (found == FStates.end())
        return std::nullopt;
    TAuthState& state = found->second;
    if (state.Scheme == TAuthScheme::Digest)
        ++state.Nc;
    return state;
}

void THttpAuthCache::Store(const TKey& key, const TAuthState& state) {
    std::lock_guard<std::mutex> lock(FMutex);
    TAuthState& kept = FStates[key];
    const bool sameNonce = kept.Scheme == state.Scheme && kept.Nonce == state.Nonce;
    const uint32_t nc = sameNonce ? kept.Nc : 0;
    kept = state;
    kept.Nc = nc;
    kept.Stale = false;
}

void THttpAuthCache::Refuse(const TKey& key, const std::string& statusLine) {
    std::lock_guard<std::mutex> lock(FMutex);
    FStates.erase(key);
    FRefusals[key] = {TClock::now(), statusLine};
}

std::optional<std::string> THttpAuthCache::Refusal(const TKey& key) const {
    std::lock_guard<std::mutex> lock(FMutex);
    const auto found = FRefusals.find(key);
    if (found == FRefusals.end() || TClock::now() - found->second.At >= RefusalPause)
        return std::nullopt;
    return found->second.StatusLine;
}

} // namespace ocelis
