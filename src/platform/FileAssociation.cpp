#include "platform/FileAssociation.h"

#include "platform/AtomicFile.h"
#include "platform/RegularFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace ocelis {

namespace {

std::string XdgHome(const char* var, const char* fallback) {
    if (const char* v = std::getenv(var); v && v[0] == '/')
        return v;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/") + "/" + fallback;
}

// The list as it is, empty when there is none. A list that cannot be read is not replaced:
// that would drop the user's other defaults.
std::string ReadMimeAppsList(const std::string& path) {
    try {
        return ReadRegularFile(path, 16u << 20);
    } catch (const std::system_error& e) {
        if (e.code().value() == ENOENT)
            return {};
        throw std::runtime_error("Cannot read " + path + ": " + e.code().message());
    }
}

// Runs a desktop database tool when it is installed; its result does not matter.
void RunToolIfPresent(const char* tool, const std::string& arg) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string t(tool);
    std::string a(arg);
    char* argv[] = {t.data(), a.data(), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, tool, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

std::string XmlEscape(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

std::string XdgDataHome() {
    return XdgHome("XDG_DATA_HOME", ".local/share");
}
std::string XdgConfigHome() {
    return XdgHome("XDG_CONFIG_HOME", ".config");
}

std::string CamMimePackageXml() {
    std::string x;
    x += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    x += "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    x += "  <mime-type type=\"" + XmlEscape(kCamMimeType) + "\">\n";
    x += "    <comment>Ocelis webcam</comment>\n";
    x += "    <sub-class-of type=\"application/xml\"/>\n";
    x += "    <icon name=\"ocelis\"/>\n";
    x += "    <glob pattern=\"*.cam\"/>\n";
    x += "  </mime-type>\n";
    x += "</mime-info>\n";
    return x;
}

std::string QuoteExecArgument(std::string_view path) {
    // Inside the quotes ", `, $ and \ take a backslash; the string-value rules then double
    // every backslash, and a literal % is written %%.
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$')
            quoted += "\\\\";
        if (c == '\\')
            quoted += "\\\\\\";
        if (c == '%')
            quoted += '%';
        if (c == '\n' || c == '\r')
            continue;
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string CamDesktopEntry(const std::string& exePath) {
    std::string d;
    d += "[Desktop Entry]\n";
    d += "Type=Application\n";
    d += "Name=Ocelis\n";
    d += "Comment=Webcam viewer in the system tray\n";
    d += "Icon=ocelis\n";
    d += "Exec=" + QuoteExecArgument(exePath) + " %f\n";
    d += "MimeType=" + std::string(kCamMimeType) + ";\n";
    d += "Categories=Graphics;Viewer;\n";
    d += "Terminal=false\n";
    return d;
}

std::string MergeMimeAppsDefault(std::string_view existing, std::string_view mimeType,
                                 std::string_view desktopId) {
    const std::string entry = std::string(mimeType) + "=" + std::string(desktopId) + ";";
    std::vector<std::string> lines;
    {
        std::string line;
        std::istringstream in{std::string(existing)};
        while (std::getline(in, line))
            lines.push_back(line);
    }
    const std::string key = std::string(mimeType) + "=";
    bool inSection = false;
    bool done = false;
    size_t insertAt = std::string::npos;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        if (!l.empty() && l[0] == '[') {
            if (inSection && insertAt == std::string::npos)
                insertAt = i;
            inSection = l.rfind("[Default Applications]", 0) == 0;
            continue;
        }
        if (inSection && l.rfind(key, 0) == 0) {
            lines[i] = entry;
            done = true;
        }
    }
    if (!done) {
        if (inSection)
            lines.push_back(entry);
        else if (insertAt != std::string::npos) {
            // Keep a blank line that ends the section before the next one.
            size_t at = insertAt;
            while (at > 0 && lines[at - 1].empty())
                --at;
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), entry);
        } else {
            bool found = false;
            for (size_t i = 0; i < lines.size() && !found; ++i)
                found = lines[i].rfind("[Default Applications]", 0) == 0;
            if (!found) {
                if (!lines.empty() && !lines.back().empty())
                    lines.emplace_back();
                lines.emplace_back("[Default Applications]");
            }
            lines.push_back(entry);
        }
    }
    std::string out;
    for (const auto& l : lines)
        out += l + "\n";
    return out;
}

void WriteFileReplacing(const std::string& path, std::string_view text) {
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    // A symlinked mimeapps.list (dotfile repositories) keeps its link.
    try {
        WriteFileAtomic(path, text);
    } catch (const std::system_error& e) {
        throw std::runtime_error("Cannot write " + path + ": " + e.code().message());
    }
}

void RegisterCamFileType(const std::string& exePath, const std::string& dataHome,
                         const std::string& configHome, bool runTools) {
    const std::string mimeDir = dataHome + "/mime";
    const std::string appsDir = dataHome + "/applications";
    WriteFileReplacing(mimeDir + "/packages/ocelis-cam.xml", CamMimePackageXml());
    WriteFileReplacing(appsDir + "/" + kDesktopId, CamDesktopEntry(exePath));
    const std::string list = configHome + "/mimeapps.list";
    WriteFileReplacing(list,
                       MergeMimeAppsDefault(ReadMimeAppsList(list), kCamMimeType, kDesktopId));
    if (runTools) {
        RunToolIfPresent("update-mime-database", mimeDir);
        RunToolIfPresent("update-desktop-database", appsDir);
    }
}

} // namespace ocelis
