// Where the program's files live. One place decides.
#pragma once

#include <filesystem>
#include <vector>

namespace ocelis {

// The running executable (from /proc/self/exe).
std::filesystem::path ExecutablePath();
// Its folder, or the override set by SetAppDirOverride.
std::filesystem::path ExecutableDir();

// Where Options.xml is read from and where it is saved.
struct TOptionsPaths {
    std::filesystem::path Read;
    std::filesystem::path Write;
};

// The rule itself. A writable executable folder (a portable copy) uses its own file only.
// A read-only one (an installed copy) saves to configFile and reads it when it exists, else
// the file shipped beside the executable.
TOptionsPaths ChooseOptionsPaths(const std::filesystem::path& exeDir, bool exeDirWritable,
                                 const std::filesystem::path& configFile, bool configFileExists);

// The rule applied to ExecutableDir() and $XDG_CONFIG_HOME/Ocelis/Options.xml (default
// ~/.config), looked at afresh on each call: the one place that decides where Options.xml
// is read and saved.
TOptionsPaths OptionsFilePaths();

// A folder this process may create files in (by its effective ids; a read-only mount
// counts as not writable).
bool IsWritableDir(const std::filesystem::path& dir);

// Folders searched for language files, in order: Languages beside the executable, then
// the installed data folders (<prefix>/share/ocelis/Languages). Only existing folders.
std::vector<std::filesystem::path> LanguageDirs();
// The rule itself, for an executable in exeDir and a compiled-in data folder (<prefix>/share;
// empty for none): exeDir/Languages, exeDir/../share/ocelis/Languages, then
// installedDataDir/ocelis/Languages, each once.
std::vector<std::filesystem::path> LanguageDirsFor(const std::filesystem::path& exeDir,
                                                   const std::filesystem::path& installedDataDir);

// $XDG_CONFIG_HOME, or ~/.config when unset or not absolute.
std::filesystem::path ConfigHome();
// The user's home folder ($HOME, else the password database).
std::filesystem::path HomeDir();

// Tests: treat dir as the executable's folder (also for LanguageDirs, which then
// searches dir/Languages only). An empty path restores the real one.
void SetAppDirOverride(const std::filesystem::path& dir);

} // namespace ocelis
