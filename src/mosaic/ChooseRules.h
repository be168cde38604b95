// The chooser's window-free rules: where a picture goes in its 120 by 90 thumbnail, when a
// webcam counts as online, and the text of its information tip.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

class TCamWebcam;

namespace ocelis {

inline constexpr int32_t kThumbWidth = 120;
inline constexpr int32_t kThumbHeight = 90;

struct TChooseThumbRect {
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    bool operator==(const TChooseThumbRect&) const = default;
};

// The part of the box a picture of this size is stretched into: the larger of the two
// ratios decides, the margins are (box - scaled size rounded half to even) div 2 on each
// side. A picture without size gives an empty rectangle (nothing is drawn).
TChooseThumbRect ChooseThumbRect(int32_t imageWidth, int32_t imageHeight,
                                 int32_t boxWidth = kThumbWidth, int32_t boxHeight = kThumbHeight);

// A picture whose Last-Modified lies less than 60 whole seconds from now, either way.
bool WithinOnlineTime(std::time_t lastModifiedUtc, int64_t nowUnixMs);

// The tip: %name%, %url%, %email%, %home% and then %date% replaced, each once, in this order.
std::string CamHintText(std::string hint, const TCamWebcam& cam, std::string_view dateText);

} // namespace ocelis
