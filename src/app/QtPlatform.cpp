#include "app/QtPlatform.h"

#include <string_view>

namespace ocelis {

namespace {

bool IsSet(const TEnvLookup& lookup, const char* name) {
    const char* v = lookup(name);
    return v && *v;
}

} // namespace

std::string PreferredQtPlatform(const TEnvLookup& lookup) {
    if (IsSet(lookup, "QT_QPA_PLATFORM") || !IsSet(lookup, "DISPLAY"))
        return {};
    // Qt takes the Wayland platform when the session says it is one; a compositor's socket
    // alone is the same session seen from a terminal that lost the session type.
    const char* session = lookup("XDG_SESSION_TYPE");
    const bool wayland =
        IsSet(lookup, "WAYLAND_DISPLAY") || (session && std::string_view(session) == "wayland");
    return wayland ? "xcb;wayland" : std::string();
}

} // namespace ocelis
