// One running instance per user: a lock file held with flock(), which the kernel drops
// when the process ends, so a crashed or killed instance never leaves a stale lock.
#pragma once

#include <string>

namespace ocelis {

// The per-user folder for the lock and the hand-over socket: $XDG_RUNTIME_DIR when it is a
// private folder of ours, otherwise <temp>/ocelis-<uid> (created 0700). Throws
// std::runtime_error when no safe folder can be had.
std::string InstanceFolder();

// The login name of the current user (the uid in decimal when it has no name).
std::string UserName();

// "<folder>/CAMVIEWER-<user>" + suffix.
std::string InstancePath(const std::string& folder, const std::string& suffix);

class TInstanceLock {
public:
    enum class TState { First, Second, Failed };

    TInstanceLock() = default;
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;
    ~TInstanceLock();

    // Takes the lock at path. First: we own it until the process ends (or this object is
    // destroyed). Second: another live process holds it. Failed: the file cannot be used.
    TState Acquire(const std::string& path);
    bool Owned() const { return FFd >= 0; }

private:
    int FFd = -1;
};

} // namespace ocelis
