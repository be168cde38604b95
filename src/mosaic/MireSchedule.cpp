#include "mosaic/MireSchedule.h"

#include "net/Url.h"

#include <algorithm>
#include <cctype>

namespace ocelis {

std::string MireServer(const std::string& url) {
    const std::optional<TUrl> u = TUrl::Parse(url);
    if (!u)
        return url;
    std::string host = u->HostName();
    // Host names are not case-sensitive: one server however it is written.
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return host + ":" + u->EffectivePort();
}

std::chrono::seconds TMireSchedule::Wait(int32_t refresh, int32_t failures) {
    const int64_t interval = std::max<int32_t>(refresh, 1);
    if (failures <= 0)
        return std::chrono::seconds(interval);
    const int64_t longest = kLongestWait.count();
    int64_t wait = interval;
    for (int32_t k = 1; k < failures && wait < longest; ++k)
        wait *= 2;
    return std::chrono::seconds(std::min(wait, longest));
}

void TMireSchedule::SetCells(std::vector<TMireCell> cells, TMireTime now) {
    ++FGeneration;
    FCells.clear();
    FCells.reserve(cells.size());
    for (TMireCell& c : cells)
        FCells.push_back({std::move(c), now, 0, TState::Waiting});
}

bool TMireSchedule::Busy(const std::string& server) const {
    const auto it = FBusy.find(server);
    return it != FBusy.end() && it->second > 0;
}

std::optional<TMireTicket> TMireSchedule::Take(TMireTime now) {
    if (FInFlight >= kMaxInFlight)
        return std::nullopt;
    std::size_t best = FCells.size();
    for (std::size_t i = 0; i < FCells.size(); ++i) {
        const TEntry& e = FCells[i];
        if (e.State != TState::Waiting || e.Due > now || Busy(e.Cell.Server))
            continue;
        if (best == FCells.size() || e.Due < FCells[best].Due)
            best = i;
    }
    if (best == FCells.size())
        return std::nullopt;
    TEntry& e = FCells[best];
    e.State = TState::Fetching;
    ++FInFlight;
    ++FBusy[e.Cell.Server];
    return TMireTicket{best, FGeneration, e.Cell.Server};
}

void TMireSchedule::Free(const TMireTicket& ticket) {
    if (FInFlight > 0)
        --FInFlight;
    const auto it = FBusy.find(ticket.Server);
    if (it != FBusy.end() && --it->second <= 0)
        FBusy.erase(it);
}

void TMireSchedule::Done(const TMireTicket& ticket, bool ok, TMireTime now) {
    Free(ticket);
    if (ticket.Generation != FGeneration || ticket.Index >= FCells.size())
        return;
    TEntry& e = FCells[ticket.Index];
    e.Failures = ok ? 0 : e.Failures + 1;
    e.Due = now + Wait(e.Cell.Refresh, e.Failures);
    e.State = e.Cell.Once ? TState::Over : TState::Waiting;
}

void TMireSchedule::Release(const TMireTicket& ticket) {
    Free(ticket);
    if (ticket.Generation == FGeneration && ticket.Index < FCells.size())
        FCells[ticket.Index].State = TState::Waiting;
}

std::optional<TMireTime> TMireSchedule::NextDue() const {
    if (FInFlight >= kMaxInFlight)
        return std::nullopt;
    std::optional<TMireTime> next;
    for (const TEntry& e : FCells)
        if (e.State == TState::Waiting && !Busy(e.Cell.Server) && (!next || e.Due < *next))
            next = e.Due;
    return next;
}

bool TMireSchedule::Finished() const {
    return std::none_of(FCells.begin(), FCells.end(), [](const TEntry& e) {
        return e.State == TState::Waiting || (e.State == TState::Fetching && !e.Cell.Once);
    });
}

TMireQueue::TMireQueue(TClock clock) : FClock(std::move(clock)) {}

void TMireQueue::SetCells(std::vector<TMireCell> cells) {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FSchedule.SetCells(std::move(cells), Now());
    }
    FWake.notify_all();
}

std::optional<TMireTicket> TMireQueue::Take(const std::function<bool()>& stop) {
    std::unique_lock<std::mutex> lock(FMutex);
    for (;;) {
        if (stop && stop())
            return std::nullopt;
        const TMireTime now = Now();
        if (std::optional<TMireTicket> t = FSchedule.Take(now))
            return t;
        if (FSchedule.Finished())
            return std::nullopt;
        // Nothing is due: sleep until the next cell is, or until a Done frees a server.
        if (const std::optional<TMireTime> due = FSchedule.NextDue())
            FWake.wait_for(lock, *due - now);
        else
            FWake.wait(lock);
    }
}

std::optional<TMireTicket> TMireQueue::TryTake() {
    std::lock_guard<std::mutex> lock(FMutex);
    return FSchedule.Take(Now());
}

void TMireQueue::Done(const TMireTicket& ticket, bool ok) {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FSchedule.Done(ticket, ok, Now());
    }
    FWake.notify_all();
}

void TMireQueue::Release(const TMireTicket& ticket) {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FSchedule.Release(ticket);
    }
    FWake.notify_all();
}

void TMireQueue::Wake() {
    // Under the lock: a thread between its stop test and its wait must not miss this.
    std::lock_guard<std::mutex> lock(FMutex);
    FWake.notify_all();
}

} // namespace ocelis
