// Where the program's files live. One place decides.
#pragma once

#include <filesystem>
#include <vector>

namespace ocelis {

// The running executable (from /proc/self/exe).
std::filesystem::path ExecutablePath();
// Its folder, or the override set by SetAppDirOverride.
std::filesystem::path ExecutableDir();

// Options.xml beside the executable; when that folder is not writable,
// $XDG_CONFIG_HOME/Ocelis/Options.xml (default ~/.config).
std::filesystem::path OptionsFilePath();

// Folders searched for language files, in order: Languages beside the executable, then
// the installed data folders (<prefix>/share/ocelis/Languages). Only existing folders.
std::vector<std::filesystem::path> LanguageDirs();

// $XDG_CONFIG_HOME, or ~/.config when unset or not absolute.
std::filesystem::path ConfigHome();
// The user's home folder ($HOME, else the password database).
std::filesystem::path HomeDir();

// Tests: treat dir as the executable's folder (also for LanguageDirs, which then
// searches dir/Languages only). An empty path restores the real one.
void SetAppDirOverride(const std::filesystem::path& dir);

} // namespace ocelis
