#include "mosaic/ChooseRules.h"

#include "catalogue/CamCategory.h"
#include "net/Url.h"
#include "util/Text.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

std::string ReplaceFirst(std::string text, std::string_view what, std::string_view with) {
    const size_t at = text.find(what);
    if (at != std::string::npos)
        text.replace(at, what.size(), with);
    return text;
}

} // namespace

namespace ocelis {

TChooseThumbRect ChooseThumbRect(int32_t imageWidth, int32_t imageHeight, int32_t boxWidth,
                                 int32_t boxHeight) {
    if (imageWidth <= 0 || imageHeight <= 0 || boxWidth <= 0 || boxHeight <= 0)
        return {};
    const double factor = std::max(static_cast<double>(imageWidth) / boxWidth,
                                   static_cast<double>(imageHeight) / boxHeight);
    // nearbyint: half to even under the default rounding mode.
    const auto scaled = [factor](int32_t side) {
        return static_cast<int32_t>(std::nearbyint(side / factor));
    };
    const int32_t h = (boxWidth - scaled(imageWidth)) / 2;
    const int32_t v = (boxHeight - scaled(imageHeight)) / 2;
    return {h, v, boxWidth - 2 * h, boxHeight - 2 * v};
}

bool WithinOnlineTime(std::time_t lastModifiedUtc, int64_t nowUnixMs) {
    const int64_t diffMs = std::llabs(nowUnixMs - static_cast<int64_t>(lastModifiedUtc) * 1000);
    return diffMs / 1000 < 60;
}

std::string CamHintText(std::string hint, const TCamWebcam& cam, std::string_view dateText) {
    hint = ReplaceFirst(std::move(hint), "%name%", ElideMiddle(cam.Name));
    hint = ReplaceFirst(std::move(hint), "%url%", ElideMiddle(UrlForDisplay(cam.Url)));
    hint = ReplaceFirst(std::move(hint), "%email%", ElideMiddle(cam.Email));
    hint = ReplaceFirst(std::move(hint), "%home%", ElideMiddle(cam.Homepage));
    return ReplaceFirst(std::move(hint), "%date%", dateText);
}

} // namespace ocelis
