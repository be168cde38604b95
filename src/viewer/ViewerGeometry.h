// Size and text arithmetic of the viewer window, kept free of widgets so it can be tested
// with plain numbers.
#pragma once

#include <cstdint>
#include <string>

namespace ocelis {

inline constexpr int kViewerMinWidth = 150;
inline constexpr int kViewerMinHeight = 150;
inline constexpr int kViewerStatusHeight = 19;

// Nearest integer, halves to even; clamped to the int range (NaN gives 0).
int RoundHalfEven(double v);

// What the size check needs to know about the window at the moment of the check.
struct TViewerSizeContext {
    bool Proportional = false; // actProportional checked
    bool Resizing = false;     // the window is sizing itself
    bool NormalState = true;   // neither maximised nor minimised
    bool StatusVisible = true; // the status bar takes kViewerStatusHeight of the height
    int PictureWidth = 0;
    int PictureHeight = 0;
    int ScreenWidth = 0;
    int ScreenHeight = 0;
};

struct TViewerSize {
    int Width = 0;
    int Height = 0;
    bool operator==(const TViewerSize&) const = default;
};

// The window's size check: takes a proposed size and returns the size the window accepts
// (minimum, then proportional adjustment where it applies).
TViewerSize CheckViewerSize(TViewerSize proposed, const TViewerSizeContext& ctx);

// The SizeButton caption of the resize handler, e.g. "85% (308*253)": the smaller of the
// two integer zoom percentages of the picture control, then the window's outer size.
std::string ZoomCaption(int controlWidth, int controlHeight, int pictureWidth, int pictureHeight,
                        int outerWidth, int outerHeight);

// The sizes that the zoom actions ask for from a picture of w by h.
TViewerSize ZoomSize(int w, int h, int percent); // 50, 100, 150 or 200

// Replaces each "%d" with n and each "%%" with "%"; any other "%" stays as it is. A
// translated text therefore can never make the formatting read a missing argument.
std::string FormatCount(const std::string& pattern, int32_t n);

// Panel 0 text for a countdown value: 0 testing, 1 the one-second text, else the pattern.
std::string CountdownText(int32_t countdown, const std::string& testing, const std::string& one,
                          const std::string& many);

} // namespace ocelis
