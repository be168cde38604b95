// The start-at-logon entry: an XDG autostart desktop file.
#pragma once

#include <filesystem>
#include <string>

namespace ocelis {

// $XDG_CONFIG_HOME/autostart/Ocelis.desktop (default ~/.config).
std::filesystem::path AutostartEntryPath();

// The desktop entry that starts exe (Exec= with the quoted path).
std::string AutostartEntryText(const std::filesystem::path& exe);

// On: writes the entry for exe (atomically); off: removes it. Returns false on failure,
// which callers ignore.
bool SetAutostart(bool on, const std::filesystem::path& exe);
// The same for the running executable.
bool SetAutostart(bool on);

bool AutostartEntryExists();

} // namespace ocelis
