#include "platform/AppPaths.h"

#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace ocelis {

namespace {

std::mutex overrideMutex;
fs::path appDirOverride;

fs::path OverrideDir() {
    std::lock_guard lock(overrideMutex);
    return appDirOverride;
}

void AddIfDir(std::vector<fs::path>& dirs, const fs::path& dir) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return;
    const fs::path canon = fs::weakly_canonical(dir, ec);
    const fs::path& key = ec ? dir : canon;
    for (const fs::path& d : dirs)
        if (d == key)
            return;
    dirs.push_back(key);
}

} // namespace

fs::path ExecutablePath() {
    std::error_code ec;
    fs::path p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : p;
}

fs::path ExecutableDir() {
    fs::path o = OverrideDir();
    if (!o.empty())
        return o;
    return ExecutablePath().parent_path();
}

fs::path HomeDir() {
    if (const char* h = std::getenv("HOME"); h && *h)
        return h;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

fs::path ConfigHome() {
    // Relative values are invalid by the base-directory rules and are ignored.
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x == '/')
        return x;
    return HomeDir() / ".config";
}

bool IsWritableDir(const fs::path& dir) {
    std::error_code ec;
    return fs::is_directory(dir, ec) &&
           ::faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

TOptionsPaths ChooseOptionsPaths(const fs::path& exeDir, bool exeDirWritable,
                                 const fs::path& configFile, bool configFileExists) {
    const fs::path beside = exeDir / "Options.xml";
    if (exeDirWritable)
        return {beside, beside};
    return {configFileExists ? configFile : beside, configFile};
}

TOptionsPaths OptionsFilePaths() {
    const fs::path dir = ExecutableDir();
    const fs::path config = ConfigHome() / "Ocelis" / "Options.xml";
    const bool writable = IsWritableDir(dir);
    std::error_code ec;
    const bool configExists = !writable && fs::exists(config, ec);
    return ChooseOptionsPaths(dir, writable, config, configExists);
}

std::vector<fs::path> LanguageDirs() {
    std::vector<fs::path> dirs;
    const fs::path o = OverrideDir();
    if (!o.empty()) {
        AddIfDir(dirs, o / "Languages");
        return dirs;
    }
#ifdef OCELIS_INSTALL_DATADIR
    const fs::path installed = OCELIS_INSTALL_DATADIR;
#else
    const fs::path installed;
#endif
    return LanguageDirsFor(ExecutablePath().parent_path(), installed);
}

std::vector<fs::path> LanguageDirsFor(const fs::path& exeDir, const fs::path& installedDataDir) {
    std::vector<fs::path> dirs;
    AddIfDir(dirs, exeDir / "Languages");
    // <prefix>/bin/ocelis beside <prefix>/share/ocelis, wherever the prefix was moved to
    // (a copy unpacked from the package, or installed under another prefix).
    AddIfDir(dirs, exeDir.parent_path() / "share" / "ocelis" / "Languages");
    if (!installedDataDir.empty())
        AddIfDir(dirs, installedDataDir / "ocelis" / "Languages");
    return dirs;
}

void SetAppDirOverride(const fs::path& dir) {
    std::lock_guard lock(overrideMutex);
    appDirOverride = dir;
}

} // namespace ocelis
