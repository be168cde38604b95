#include "viewer/HealthText.h"

#include "net/Url.h"
#include "settings/MessageTexts.h"
#include "util/Text.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace ocelis {

std::string ClockText(double t) {
    const auto when = static_cast<std::time_t>(std::floor(t));
    std::tm local{};
    char text[16] = "";
    if (::localtime_r(&when, &local))
        std::strftime(text, sizeof text, "%H:%M", &local);
    return text;
}

std::string FailureWords(const TFetchFailure& failure) {
    switch (failure.Kind) {
    case THttpFailure::NameNotResolved:
        return HealthNoName;
    case THttpFailure::Refused:
        return HealthRefused;
    case THttpFailure::Unreachable:
        return HealthUnreachable;
    case THttpFailure::TimeOut:
        return HealthTimeOut;
    case THttpFailure::Tls:
        return FillArgs(HealthTls, {failure.Text});
    case THttpFailure::HttpStatus: {
        // "HTTP/1.1 404 Not Found" is told as "HTTP 404 Not Found".
        const size_t space = failure.StatusLine.find(' ');
        const std::string rest = space == std::string::npos ? std::to_string(failure.Code)
                                                            : failure.StatusLine.substr(space + 1);
        return FillArgs(HealthStatus, {rest});
    }
    case THttpFailure::Redirect:
        return FillArgs(HealthRedirect, {UrlForDisplay(failure.Location)});
    case THttpFailure::ClosedEarly:
        return HealthClosed;
    case THttpFailure::TooLarge:
        return HealthTooLarge;
    case THttpFailure::AuthenticationRequired:
        return HealthAuthNeeded;
    case THttpFailure::NotAuthorised:
        return HealthAuthRefused;
    default:
        return failure.Text.empty() ? Unknow : failure.Text;
    }
}

std::string NoPictureText(const std::string& url, const TFetchFailure& failure, int32_t refresh) {
    std::string where = UrlForDisplay(url);
    if (const std::optional<TUrl> parsed = TUrl::Parse(url))
        where = parsed->Host() + ":" + parsed->EffectivePort();
    bool connecting = false;
    switch (failure.Kind) {
    case THttpFailure::NameNotResolved:
    case THttpFailure::Refused:
    case THttpFailure::Unreachable:
    case THttpFailure::TimeOut:
    case THttpFailure::Tls:
        connecting = true;
        break;
    default:
        break;
    }
    return FillArgs(connecting ? HealthCannotConnect : HealthNoPicture,
                    {where, FailureWords(failure), std::to_string(std::max(refresh, 1))});
}

std::string HealthTip(const TWebcamHealth& health, double now) {
    const THealthState state = health.State(now);
    if (state == THealthState::Live)
        return {};
    std::string tip;
    if (state == THealthState::Offline && health.OfflineSince() && health.Reason())
        tip = FillArgs(HealthOfflineSince,
                       {ClockText(*health.OfflineSince()), FailureWords(*health.Reason())});
    if (const std::optional<double> last = health.LastNewPicture()) {
        const auto minutes = static_cast<int64_t>(std::max(0.0, now - *last) / 60);
        if (!tip.empty())
            tip += "\r\n";
        tip += FillArgs(HealthLastPicture, {ClockText(*last), std::to_string(minutes)});
    }
    return tip;
}

std::string OfflineNotice(const std::string& name, const TWebcamHealth& health) {
    const std::string reason = health.Reason() ? FailureWords(*health.Reason()) : Unknow;
    if (const std::optional<double> last = health.LastNewPicture())
        return FillArgs(NotifyOffline, {name, reason, ClockText(*last)});
    return FillArgs(NotifyOfflineNever, {name, reason});
}

std::string StaleNotice(const std::string& name, const TWebcamHealth& health) {
    return FillArgs(NotifyStale, {name, ClockText(health.LastNewPicture().value_or(0))});
}

std::string BackNotice(const std::string& name) {
    return FillArgs(NotifyBack, {name});
}

} // namespace ocelis
