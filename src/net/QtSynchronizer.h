// The hand-over to the Qt GUI thread.
#pragma once

#include "net/Synchronizer.h"

#include <list>
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
    void Shutdown() override;

    // Calls waiting for the GUI thread.
    std::size_t PendingCalls();

    // Creates one, makes it the process-wide default and returns it.
    static std::shared_ptr<QtSynchronizer> Install();

private:
    struct Call;
    std::unique_ptr<QObject> Context;
    std::thread::id GuiThread;
    std::mutex Mutex;
    std::list<std::shared_ptr<Call>> Pending;
    bool Closed = false;
};

} // namespace ocelis
