#include "app/AppStart.h"

#include "app/CamMain.h"
#include "app/QtPlatform.h"
#include "app/ShellIcons.h"
#include "gui/GuiProps.h"
#include "gui/SForm.h"
#include "net/FetchThreadRegistry.h"
#include "net/QtSynchronizer.h"
#include "platform/HandOver.h"
#include "platform/InstanceLock.h"

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace ocelis {

namespace {

using namespace std::chrono_literals;

// A second start waits this long for the running instance to handle its argument.
constexpr auto kHandOverBound = 5s;

int gSignalPipe[2] = {-1, -1};

void OnTerminateSignal(int) {
    const int saved = errno;
    const char c = 1;
    [[maybe_unused]] const ssize_t n = write(gSignalPipe[1], &c, 1);
    errno = saved;
}

// SIGTERM, SIGINT and SIGHUP end the program the way the exit entry does, so the settings
// are saved. The handler only writes to a pipe the event loop watches.
std::unique_ptr<QSocketNotifier> WatchTerminateSignals() {
    if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return nullptr;
    struct sigaction sa {};
    sa.sa_handler = OnTerminateSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &sa, nullptr);
    auto notifier = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [] {
        char buf[16];
        while (read(gSignalPipe[0], buf, sizeof buf) > 0) {
        }
        QCoreApplication::quit();
    });
    return notifier;
}

} // namespace

std::string HandOverArgument(const std::string& argument) {
    // The running instance has its own working folder: a relative path would name another
    // file there.
    std::error_code ec;
    if (argument.empty() || argument.front() == '/')
        return argument;
    const std::filesystem::path absolute = std::filesystem::absolute(argument, ec);
    return ec ? argument : absolute.string();
}

bool DisplayAvailable() {
    for (const char* var : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        if (const char* v = std::getenv(var); v && *v)
            return true;
    return false;
}

int RunOcelis(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);

    // 1. The instance lock.
    TInstanceLock lock;
    std::string socketPath;
    try {
        const std::string folder = InstanceFolder();
        socketPath = InstancePath(folder, ".sock");
        if (lock.Acquire(InstancePath(folder, ".lock")) == TInstanceLock::TState::Second) {
            // 2. A later start hands its first argument over and ends; without one it ends
            // at once and changes nothing.
            if (!arguments.empty())
                SendHandOver(socketPath, HandOverArgument(arguments.front()), kHandOverBound);
            return 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Ocelis: %s; running without the single-instance check.\n", e.what());
    }

    if (!DisplayAvailable()) {
        std::fprintf(stderr,
                     "Ocelis is a desktop program and found no display (neither DISPLAY nor "
                     "WAYLAND_DISPLAY is set).\nStart it from a desktop session, or without "
                     "one under a virtual X server:\n  xvfb-run -a %s [file.cam]\n",
                     argc > 0 ? argv[0] : "ocelis");
        return 1;
    }

    // 3.1 The GUI application and its title.
    const std::string platform =
        PreferredQtPlatform([](const char* name) { return std::getenv(name); });
    if (!platform.empty())
        setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
    QApplication app(argc, argv);
    // Programs we start (a browser for a home page) make their own choice.
    if (!platform.empty())
        unsetenv("QT_QPA_PLATFORM");
    QApplication::setApplicationName(QStringLiteral("Ocelis"));
    QApplication::setDesktopFileName(QStringLiteral("ocelis"));
    QApplication::setWindowIcon(ProgramIcon());
    // Closing the last viewer must not end the tray program.
    QApplication::setQuitOnLastWindowClosed(false);
    RegisterGuiPropAdapters();
    const auto synchronizer = TQtSynchronizer::Install();
    // From here on a termination signal waits in the pipe until the loop runs, so a signal
    // that comes during start-up still ends with the settings saved.
    const auto signalWatch = WatchTerminateSignals();

    // Listening before the main window exists lets a second start that comes during our
    // start-up wait for its hand-over instead of losing it.
    THandOverServer server;
    std::unique_ptr<QSocketNotifier> handOverNotifier;
    if (lock.Owned()) {
        try {
            server.Listen(socketPath);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "Ocelis: %s\n", e.what());
        }
    }

    // 3.2 The main window; its creation does the rest of the start-up work.
    auto* main = new TfoCamMain(arguments);
    if (server.Fd() >= 0) {
        handOverNotifier = std::make_unique<QSocketNotifier>(server.Fd(), QSocketNotifier::Read);
        QSocketNotifier* n = handOverNotifier.get();
        QObject::connect(n, &QSocketNotifier::activated, main, [&server, n, main] {
            n->setEnabled(false);
            server.ServePending(
                [main](std::string_view data, uint32_t cb) { main->CopyData(data, cb); });
            n->setEnabled(true);
        });
    }
#ifndef QT_NO_SESSIONMANAGER
    // The desktop session is ending: terminate as the exit entry does.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [](QSessionManager&) {
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    });
#endif

    // 3.4 The message loop.
    const int rc = QApplication::exec();

    // Shutdown: settings first, while every window still exists.
    main->SaveAndReleaseSettings();
    handOverNotifier.reset();
    server.Close();
    // Then the windows: the main window (its tray icon goes) and every secondary window.
    delete main;
    while (!FormList.empty())
        delete FormList.back();
    // Fetch threads still blocked on a stalled server are stopped within a bound.
    ShutdownFetchThreads(1000ms);
    return rc;
}

} // namespace ocelis
