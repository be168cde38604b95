// When each cell of a many-webcam window is fetched, and by which of its threads.
//
// TMireSchedule is the rule alone, told the time by its caller: a cell is due its own Refresh
// seconds (at least 1) after its last fetch ended, later after failures in a row; at most
// kMaxInFlight fetches run at once, and never two to one server (host and port). TMireQueue
// is the same rule shared by a window's threads, which sleep in it until a cell is due.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ocelis {

using TMireClock = std::chrono::steady_clock;
using TMireTime = TMireClock::time_point;

struct TMireCell {
    TMireCell(std::string server, int32_t refresh, bool once = false)
        : Server(std::move(server)), Refresh(refresh), Once(once) {}

    std::string Server;  // requests to one server never overlap
    int32_t Refresh = 0; // seconds; 0 and below (always, brute) count as 1
    bool Once = false;   // fetched one time only, then never due again
};

// A cell handed to a thread, to be given back with Done or Release.
struct TMireTicket {
    std::size_t Index = 0;
    uint64_t Generation = 0; // of the cell list it was taken from
    std::string Server;
};

// "host:port" of an address as a fetch connects to it; the address itself when it cannot be
// read, so that such cells still do not overlap one another.
std::string MireServer(const std::string& url);

class TMireSchedule {
public:
    static constexpr std::size_t kMaxInFlight = 4;
    static constexpr std::chrono::seconds kLongestWait{300};

    // Replaces the cells, all due at now. Fetches of the old ones still under way keep their
    // servers busy until they are given back.
    void SetCells(std::vector<TMireCell> cells, TMireTime now);
    // The cell to fetch now: the one due longest among those whose server is free.
    std::optional<TMireTicket> Take(TMireTime now);
    // ok: the fetch got a 2xx answer.
    void Done(const TMireTicket& ticket, bool ok, TMireTime now);
    // Given back unfetched: due as before.
    void Release(const TMireTicket& ticket);
    // When a Take may next succeed without a Done first; nothing when only a Done can help.
    std::optional<TMireTime> NextDue() const;
    // No cell will be due again: every one is a once-only cell fetched or being fetched.
    bool Finished() const;

    // The wait after a fetch: the interval, or after k failures in a row
    // min(interval * 2^(k-1), kLongestWait).
    static std::chrono::seconds Wait(int32_t refresh, int32_t failures);

    std::size_t Count() const { return FCells.size(); }
    std::size_t InFlight() const { return FInFlight; }
    TMireTime Due(std::size_t i) const { return FCells[i].Due; }
    int32_t Failures(std::size_t i) const { return FCells[i].Failures; }

private:
    enum class TState { Waiting, Fetching, Over };
    struct TEntry {
        TMireCell Cell;
        TMireTime Due;
        int32_t Failures = 0;
        TState State = TState::Waiting;
    };
    bool Busy(const std::string& server) const;
    void Free(const TMireTicket& ticket);

    std::vector<TEntry> FCells;
    uint64_t FGeneration = 0;
    std::size_t FInFlight = 0; // of every generation
    std::unordered_map<std::string, int32_t> FBusy;
};

// The schedule of one window, shared by its threads and the window itself.
class TMireQueue {
public:
    using TClock = std::function<TMireTime()>;
    explicit TMireQueue(TClock clock = nullptr);

    // Wakes the sleeping threads: the new cells are due at once.
    void SetCells(std::vector<TMireCell> cells);
    // Blocks until a cell is due and its server free; nothing when stop() holds (looked at
    // again on every Wake) or the schedule is finished.
    std::optional<TMireTicket> Take(const std::function<bool()>& stop);
    // Without waiting: the cell due now, if any.
    std::optional<TMireTicket> TryTake();
    void Done(const TMireTicket& ticket, bool ok);
    void Release(const TMireTicket& ticket);
    // The threads look at their stop condition again.
    void Wake();
    // For the window and tests: reads the schedule under the lock.
    template <class F> auto Read(F&& fn) const {
        std::lock_guard<std::mutex> lock(FMutex);
        return fn(FSchedule);
    }

private:
    TMireTime Now() const { return FClock ? FClock() : TMireClock::now(); }

    TClock FClock;
    mutable std::mutex FMutex;
    std::condition_variable FWake;
    TMireSchedule FSchedule;
};

} // namespace ocelis
