// Webcam health in words: the reason of a failure, the no-picture text, the tips and the
// notifications. Times are wall-clock seconds, shown as local hours and minutes.
#pragma once

#include "net/WebcamHealth.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ocelis {

// "14:02", local time.
std::string ClockText(double t);
// "name not found", "HTTP 404 Not Found", ...
std::string FailureWords(const TFetchFailure& failure);
// What a viewer without a picture shows: "Cannot connect to host:80: connection refused.
// Trying again every 10 s."
std::string NoPictureText(const std::string& url, const TFetchFailure& failure, int32_t refresh);
// The tip lines of a webcam that is not live; empty when it is.
std::string HealthTip(const TWebcamHealth& health, double now);
// The one-webcam notification texts.
std::string OfflineNotice(const std::string& name, const TWebcamHealth& health);
std::string StaleNotice(const std::string& name, const TWebcamHealth& health);
std::string BackNotice(const std::string& name);

} // namespace ocelis
