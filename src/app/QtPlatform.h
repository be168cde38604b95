// Which of Qt's window-system platforms the program asks for.
#pragma once

#include <functional>
#include <string>

namespace ocelis {

// Reads one environment variable; null when it is not set.
using TEnvLookup = std::function<const char*(const char*)>;

// The value for QT_QPA_PLATFORM before the GUI starts, or empty to leave Qt's own choice.
// A Wayland session that also runs an X server (DISPLAY set) gets X11 first: on Wayland a
// window cannot place itself, and centring, cascading, snapping and the viewers' stored
// places all need that. Wayland stays the fall-back when the X server cannot be reached. A
// platform the user chose (QT_QPA_PLATFORM) always wins.
std::string PreferredQtPlatform(const TEnvLookup& lookup);

} // namespace ocelis
