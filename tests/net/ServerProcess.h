// A server program a test starts on loopback: it tells its port on its first line of output,
// and ends with the object (SIGTERM, then SIGKILL when it does not go).
#pragma once

#include "support/WaitUntil.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ocelis::test {

class TServerProcess {
public:
    explicit TServerProcess(const std::vector<std::string>& argv) {
        int fds[2];
        if (argv.empty() || pipe2(fds, O_CLOEXEC) != 0)
            return;
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        FPid = fork();
        if (FPid == 0) {
            dup2(fds[1], STDOUT_FILENO);
            execv(args[0], args.data());
            _exit(127);
        }
        close(fds[1]);
        FOut = fds[0];
    }
    ~TServerProcess() {
        if (FOut >= 0)
            close(FOut);
        if (FPid <= 0)
            return;
        kill(FPid, SIGTERM);
        int status = 0;
        if (!WaitUntil([&] { return waitpid(FPid, &status, WNOHANG) == FPid; },
                       std::chrono::seconds(5))) {
            kill(FPid, SIGKILL);
            waitpid(FPid, &status, 0);
        }
    }
    TServerProcess(const TServerProcess&) = delete;
    TServerProcess& operator=(const TServerProcess&) = delete;

    // The first line the program writes, without its line end; nothing when it ends first or
    // says nothing within the limit.
    std::optional<std::string> FirstLine(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        std::string line;
        while (FOut >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            pollfd p{FOut, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char c = 0;
            if (read(FOut, &c, 1) != 1)
                return std::nullopt;
            if (c == '\n')
                return line;
            line += c;
        }
        return std::nullopt;
    }

private:
    pid_t FPid = -1;
    int FOut = -1;
};

} // namespace ocelis::test
