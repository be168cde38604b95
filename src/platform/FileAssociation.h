// The freedesktop form of the .cam file association: a shared-mime-info package for *.cam,
// a desktop entry that opens such files with this executable, and the default in
// mimeapps.list. Written at every start; existing files are replaced whole (mimeapps.list
// is merged so other defaults survive).
#pragma once

#include <string>
#include <string_view>

namespace ocelis {

inline constexpr const char* kCamMimeType = "application/x-ocelis-cam";
inline constexpr const char* kDesktopId = "ocelis.desktop";

// $XDG_DATA_HOME / $XDG_CONFIG_HOME, or ~/.local/share and ~/.config when unset or not
// absolute.
std::string XdgDataHome();
std::string XdgConfigHome();

std::string CamMimePackageXml();
// exePath is quoted for the Exec key, so blanks and quotes in it are safe.
std::string CamDesktopEntry(const std::string& exePath);
// The Exec argument form of path: in double quotes, with the desktop-entry escapes.
std::string QuoteExecArgument(std::string_view path);
// existing with "<mimeType>=<desktopId>;" set in [Default Applications].
std::string MergeMimeAppsDefault(std::string_view existing, std::string_view mimeType,
                                 std::string_view desktopId);

// Writes the MIME package, the desktop entry and the default, each by a temporary file and
// a rename, then runs update-mime-database and update-desktop-database when present.
// Throws std::runtime_error when a file cannot be written.
void RegisterCamFileType(const std::string& exePath, const std::string& dataHome,
                         const std::string& configHome, bool runTools = true);

// Writes text to path through a temporary file in the same folder and a rename, creating
// missing parent folders. Throws std::runtime_error on failure.
void WriteFileReplacing(const std::string& path, std::string_view text);

} // namespace ocelis
