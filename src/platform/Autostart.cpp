#include "platform/Autostart.h"

#include <system_error>

#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"

namespace fs = std::filesystem;

namespace ocelis {

namespace {

// Exec= quoting of the desktop entry rules, then the escaping of a string value.
std::string QuotedExec(const std::string& path) {
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted.push_back('\\');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    std::string out;
    for (char c : quoted) {
        switch (c) {
        case '%':
            out += "%%";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

} // namespace

fs::path AutostartEntryPath() {
    return ConfigHome() / "autostart" / "Ocelis.desktop";
}

std::string AutostartEntryText(const fs::path& exe) {
    std::string t;
    t += "[Desktop Entry]\n";
    t += "Type=Application\n";
    t += "Name=Ocelis\n";
    t += "Comment=Webcam viewer in the notification area\n";
    t += "Exec=" + QuotedExec(exe.string()) + "\n";
    t += "Icon=ocelis\n";
    t += "Terminal=false\n";
    t += "X-GNOME-Autostart-enabled=true\n";
    // The tray host may start after us; give it a moment.
    t += "X-GNOME-Autostart-Delay=5\n";
    t += "X-LXQt-Need-Tray=true\n";
    return t;
}

bool SetAutostart(bool on, const fs::path& exe) {
    const fs::path entry = AutostartEntryPath();
    std::error_code ec;
    if (!on) {
        fs::remove(entry, ec);
        return !ec;
    }
    if (exe.empty())
        return false;
    fs::create_directories(entry.parent_path(), ec);
    if (ec)
        return false;
    return TryWriteFileAtomic(entry, AutostartEntryText(exe));
}

bool SetAutostart(bool on) {
    return SetAutostart(on, ExecutablePath());
}

bool AutostartEntryExists() {
    std::error_code ec;
    return fs::exists(AutostartEntryPath(), ec);
}

} // namespace ocelis
