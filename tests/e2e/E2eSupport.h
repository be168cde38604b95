// Helpers for tests that run the real ocelis binary: a private sandbox (its own copy of the
// program folder, home and XDG folders), child processes, and waiting on conditions.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <spawn.h>

#include "support/TestFiles.h"
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "support/WaitUntil.h"

extern char** environ;

namespace ocelis::e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using test::ReadFileBytes;
using test::WriteFileBytes;

// A program on PATH, or nothing.
inline std::optional<fs::path> FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const fs::path p = fs::path(dir) / name;
        if (access(p.c_str(), X_OK) == 0)
            return p;
    }
    return std::nullopt;
}

class Process {
public:
    Process() = default;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() { Kill(); }

    // Starts argv with exactly this environment; output goes to logFile.
    bool Start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
               const fs::path& logFile) {
        std::vector<std::string> envText;
        for (const auto& [k, v] : env)
            envText.push_back(k + "=" + v);
        std::vector<char*> a, e;
        std::vector<std::string> args = argv;
        for (auto& s : args)
            a.push_back(s.data());
        a.push_back(nullptr);
        for (auto& s : envText)
            e.push_back(s.data());
        e.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0644);
        posix_spawn_file_actions_adddup2(&fa, 1, 2);
        // Its own process group: Kill ends whatever it started too (a bus daemon and the
        // tray host under dbus-run-session outlive a killed session runner otherwise).
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attr, 0);
        const int rc = posix_spawn(&pid_, args[0].c_str(), &fa, &attr, a.data(), e.data());
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&fa);
        if (rc != 0)
            pid_ = -1;
        return pid_ > 0;
    }
    pid_t Pid() const { return pid_; }
    bool Running() {
        Reap();
        return pid_ > 0 && !status_;
    }
    // Exit status once it ended within the limit.
    std::optional<int> WaitExit(std::chrono::milliseconds limit) {
        test::WaitUntil([this] { return !Running(); }, limit);
        return status_;
    }
    void Signal(int sig) {
        if (Running())
            kill(pid_, sig);
    }
    // Ends the process and every process left in its group, also once it ended itself.
    void Kill() {
        if (pid_ <= 0)
            return;
        // The group keeps the leader's id while a member lives, also after the leader was
        // reaped. Members left over are dead at once; the system reaps them.
        kill(-pid_, SIGKILL);
        if (Running())
            WaitExit(5s);
    }
    std::optional<int> Status() const { return status_; }

private:
    void Reap() {
        if (pid_ <= 0 || status_)
            return;
        int st = 0;
        if (waitpid(pid_, &st, WNOHANG) == pid_)
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    }
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// A private world for one run of the program: the program folder (where Options.xml and
// Languages live), a home with XDG folders, and a short private runtime folder.
class Sandbox {
public:
    explicit Sandbox(const std::string& name) {
        root = test::FreshTestDir("e2e", name);
        fs::create_directories(root / "app");
        fs::create_directories(root / "home/config");
        fs::create_directories(root / "home/data");
        // Socket paths must stay short.
        char tmpl[] = "/tmp/ocelis-e2eXXXXXX";
        if (mkdtemp(tmpl))
            runtime = tmpl;
        // A link keeps the binary's own path inside the sandbox, so Options.xml lands here.
        exe = root / "app" / "ocelis";
        std::error_code ec;
        fs::create_hard_link(OCELIS_BIN, exe, ec);
        if (ec)
            fs::copy_file(OCELIS_BIN, exe, fs::copy_options::overwrite_existing);
    }
    ~Sandbox() {
        std::error_code ec;
        if (!runtime.empty())
            fs::remove_all(runtime, ec);
    }
    std::map<std::string, std::string> Env(bool offscreen = true) const {
        std::map<std::string, std::string> env{
            {"HOME", (root / "home").string()},
            {"XDG_CONFIG_HOME", (root / "home/config").string()},
            {"XDG_DATA_HOME", (root / "home/data").string()},
            {"XDG_RUNTIME_DIR", runtime.string()},
            {"PATH", std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"},
            {"LANG", "C.UTF-8"},
        };
        if (offscreen)
            env["QT_QPA_PLATFORM"] = "offscreen";
        for (const char* keep : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"})
            if (const char* v = std::getenv(keep))
                env[keep] = v;
        return env;
    }
    fs::path Options() const { return root / "app" / "Options.xml"; }
    fs::path DesktopEntry() const { return root / "home/data/applications/ocelis.desktop"; }
    fs::path Log(const std::string& name) const { return root / (name + ".log"); }

    // Starts the program with these arguments; true once its start-up work is done (the
    // file association is written by the last step before the argument's import).
    bool StartReady(Process& p, const std::vector<std::string>& args, const std::string& log,
                    std::chrono::milliseconds limit = 15s) {
        std::error_code ec;
        fs::remove(DesktopEntry(), ec);
        std::vector<std::string> argv{exe.string()};
        argv.insert(argv.end(), args.begin(), args.end());
        if (!p.Start(argv, Env(), Log(log)))
            return false;
        return test::WaitUntil([&] { return fs::exists(DesktopEntry()) || !p.Running(); }, limit) &&
               p.Running();
    }

    fs::path root;
    fs::path runtime;
    fs::path exe;
};

inline std::string CamFileText(const std::string& name, const std::string& url) {
    return "<?xml version=\"1.0\"?>\n<Cam>\n <Name>" + name + "</Name>\n <Url>" + url +
           "</Url>\n <Refresh>2</Refresh>\n</Cam>\n";
}

} // namespace ocelis::e2e
