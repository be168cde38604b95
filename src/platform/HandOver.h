// The hand-over from a second start to the running instance: the argument travels over a
// local socket that only this user can reach, and the sender waits (bounded) until the
// running instance has handled it.
//
// Wire form: cbData as a 32-bit little-endian number, then cbData bytes (the argument and
// one zero byte). The receiver answers one byte once its handler has returned.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ocelis {

// Largest block the receiver accepts; longer ones are dropped unread.
constexpr uint32_t kMaxHandOverBytes = 64 * 1024;

// The path carried by a block: the bytes up to the first zero, never more than cbData
// (nor more than the bytes present). Nothing when cbData is 0.
std::optional<std::string> HandOverText(std::string_view data, uint32_t cbData);

// The receiving side imports a handed-over path only when its upper-cased text contains
// ".CAM", a file of that path exists, and its upper-cased extension is ".CAM".
bool HandOverPathAccepted(const std::string& path);

// Upper-cased extension of the name part, from its last dot on; empty without a dot.
std::string UpperExtension(std::string_view path);

// Sends arg (followed by a zero byte) to the server at socketPath and waits for its answer.
// A server still starting up is retried until the bound. True once the answer arrived.
bool SendHandOver(const std::string& socketPath, std::string_view arg,
                  std::chrono::milliseconds bound);

class THandOverServer {
public:
    // data holds the bytes received (exactly cbData of them).
    using THandler = std::function<void(std::string_view data, uint32_t cbData)>;

    THandOverServer() = default;
    THandOverServer(const THandOverServer&) = delete;
    THandOverServer& operator=(const THandOverServer&) = delete;
    ~THandOverServer();

    // Binds the socket (replacing a stale one: the caller holds the instance lock) with
    // owner-only permissions. Throws std::runtime_error on failure.
    void Listen(const std::string& socketPath);
    // Readable when a sender is waiting; for the event loop to watch.
    int Fd() const { return FFd; }
    // Serves every sender waiting now, each with a short read deadline. Errors of the
    // handler are swallowed.
    void ServePending(const THandler& handler);
    void Close();

private:
    void ServeOne(int client, const THandler& handler);
    int FFd = -1;
    std::string FPath;
};

} // namespace ocelis
