// Whether a webcam is live, offline or frozen, and when the user should be told. Fed with
// the outcome of each fetch and its time; holds no timer and no window, so the viewer and
// the mosaic cells judge by the same rule.
#pragma once

#include "net/HttpFailure.h"

#include <cstdint>
#include <optional>
#include <string>

namespace ocelis {

// The part of a failed request that a user is told.
struct TFetchFailure {
    THttpFailure Kind = THttpFailure::Other;
    int32_t Code = -1;
    std::string StatusLine;
    std::string Host;
    std::string Location;
    std::string Text; // the error's own text, for kinds without words of their own

    static TFetchFailure From(const EHttpError& error);
};

// The failure being handled; call only inside a catch block.
TFetchFailure CurrentFetchFailure();

// Now, in the seconds the rule counts in.
double HealthClock();

enum class THealthState { Live, Offline, Stale };

enum class THealthNotice { None, Offline, Stale, Back };

class TWebcamHealth {
public:
    // Times are wall-clock seconds (time_t, with fractions).
    static constexpr int kOfflineFailures = 3;
    static constexpr double kOfflineSpan = 30;
    static constexpr double kMinStale = 600;
    static constexpr double kNoticeGap = 600;
    static constexpr int kStaleChanges = 3;

    // start: when watching began (a viewer opening); refresh: the webcam's seconds.
    explicit TWebcamHealth(double start = 0, int32_t refresh = 0);

    void SetRefresh(int32_t refresh) { FRefresh = refresh; }

    // One fetch each: answered with a new picture, answered without one, or failed. Each
    // gives the notice to send now, if any.
    THealthNotice Changed(double t);
    THealthNotice Unchanged(double t);
    THealthNotice Answered(double t) { return Unchanged(t); }
    THealthNotice Failed(double t, const TFetchFailure& failure);
    // Staleness comes with time alone: ask now and then.
    THealthNotice Check(double now);

    THealthState State(double now) const;
    // The last failure, while the failures go on.
    const std::optional<TFetchFailure>& Reason() const { return FReason; }
    // The first failure of the present run of failures.
    std::optional<double> OfflineSince() const;
    std::optional<double> LastNewPicture() const { return FLastChange; }
    int32_t Changes() const { return FChanges; }
    int32_t FailuresInRow() const { return FFailures; }
    // How long without a new picture counts as frozen.
    double StaleAfter() const;

private:
    THealthNotice Judge(double now);
    bool MayNotify(double now) const;

    double FStart;
    int32_t FRefresh;
    int32_t FFailures = 0;
    double FFirstFailure = 0;
    std::optional<TFetchFailure> FReason;
    int32_t FChanges = 0;
    std::optional<double> FFirstChange;
    std::optional<double> FLastChange;
    // What the user was last told, so that "back" follows only a warning.
    THealthNotice FTold = THealthNotice::None;
    std::optional<double> FLastWarning;
};

} // namespace ocelis
