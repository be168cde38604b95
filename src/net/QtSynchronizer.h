// The hand-over to the Qt GUI thread.
#pragma once

#include "net/Synchronizer.h"

#include <memory>
#include <mutex>
#include <thread>

class QObject;

namespace ocelis {

class QtSynchronizer : public Synchronizer {
public:
    // Create on the GUI thread after the QApplication. Shuts itself down when the
    // application's loop quits (aboutToQuit) and when destroyed.
    QtSynchronizer();
    ~QtSynchronizer() override;

    bool Run(const std::function<void()>& fn) override;
    bool Post(std::function<void()> fn) override;
    void Shutdown() override;

    // Calls waiting for the GUI thread.
    std::size_t PendingCalls();

    // Creates one, makes it the process-wide default and returns it.
    static std::shared_ptr<QtSynchronizer> Install();

    struct Call;  // opaque
    struct State; // opaque

private:
    std::shared_ptr<State> Shared; // also held by Context, which may outlive us
    std::unique_ptr<QObject> Context;
    std::thread::id GuiThread;
};

} // namespace ocelis
