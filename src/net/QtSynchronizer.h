// The hand-over to the Qt GUI thread.
#pragma once

#include "net/Synchronizer.h"

#include <memory>
#include <mutex>
#include <thread>

class QObject;

namespace ocelis {

class TQtSynchronizer : public Synchronizer {
public:
    // Create on the GUI thread after the QApplication. Shuts itself down when the
    // application's loop quits (aboutToQuit) and when destroyed.
    TQtSynchronizer();
    ~TQtSynchronizer() override;

    bool Run(const std::function<void()>& fn) override;
    bool Post(std::function<void()> fn) override;
    void Shutdown() override;

    // Calls waiting for the GUI thread.
    std::size_t PendingCalls();

    // Creates one, makes it the process-wide default and returns it.
    static std::shared_ptr<TQtSynchronizer> Install();

    struct TCall;  // opaque
    struct TState; // opaque

private:
    std::shared_ptr<TState> FShared; // also held by FContext, which may outlive us
    std::unique_ptr<QObject> FContext;
    std::thread::id FGuiThread;
};

} // namespace ocelis
