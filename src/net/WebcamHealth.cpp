#include "net/WebcamHealth.h"

#include <chrono>

#include <algorithm>

namespace ocelis {

double HealthClock() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

TFetchFailure TFetchFailure::From(const EHttpError& error) {
    TFetchFailure f;
    f.Kind = error.Kind;
    f.Code = error.Code;
    f.StatusLine = error.StatusLine;
    f.Host = error.Host;
    f.Location = error.Location;
    f.Text = error.what();
    return f;
}

TFetchFailure CurrentFetchFailure() {
    try {
        throw;
    } catch (const EHttpError& e) {
        return TFetchFailure::From(e);
    } catch (const std::exception& e) {
        TFetchFailure f;
        f.Text = e.what();
        return f;
    } catch (...) {
        return {};
    }
}

TWebcamHealth::TWebcamHealth(double start, int32_t refresh) : FStart(start), FRefresh(refresh) {}

THealthNotice TWebcamHealth::Changed(double t) {
    if (!FFirstChange)
        FFirstChange = t;
    FLastChange = t;
    ++FChanges;
    return Unchanged(t);
}

THealthNotice TWebcamHealth::Unchanged(double t) {
    FFailures = 0;
    FReason.reset();
    return Judge(t);
}

THealthNotice TWebcamHealth::Failed(double t, const TFetchFailure& failure) {
    if (FFailures == 0)
        FFirstFailure = t;
    ++FFailures;
    FReason = failure;
    return Judge(t);
}

THealthNotice TWebcamHealth::Check(double now) {
    return Judge(now);
}

std::optional<double> TWebcamHealth::OfflineSince() const {
    if (FFailures == 0)
        return std::nullopt;
    return FFirstFailure;
}

double TWebcamHealth::StaleAfter() const {
    double after = std::max(3.0 * std::max(FRefresh, 0), kMinStale);
    // The typical interval is known once two new pictures were seen.
    if (FChanges >= 2 && FFirstChange && FLastChange)
        after = std::max(after, 3.0 * (*FLastChange - *FFirstChange) / (FChanges - 1));
    return after;
}

THealthState TWebcamHealth::State(double now) const {
    // One miss is never offline, nor a short run of them.
    if (FFailures >= kOfflineFailures && now - FFirstFailure >= kOfflineSpan)
        return THealthState::Offline;
    if (now - FLastChange.value_or(FStart) > StaleAfter())
        return THealthState::Stale;
    return THealthState::Live;
}

bool TWebcamHealth::MayNotify(double now) const {
    return !FLastWarning || now - *FLastWarning >= kNoticeGap;
}

THealthNotice TWebcamHealth::Judge(double now) {
    const THealthState state = State(now);
    if (state == THealthState::Live) {
        if (FTold == THealthNotice::None)
            return THealthNotice::None;
        FTold = THealthNotice::None;
        return THealthNotice::Back;
    }
    const THealthNotice wanted =
        state == THealthState::Offline ? THealthNotice::Offline : THealthNotice::Stale;
    if (FTold == wanted)
        return THealthNotice::None;
    // Frozen is told only where the usual pace is known.
    if (wanted == THealthNotice::Stale && FChanges < kStaleChanges)
        return THealthNotice::None;
    if (!MayNotify(now))
        return THealthNotice::None;
    FTold = wanted;
    FLastWarning = now;
    return wanted;
}

} // namespace ocelis
