#include "net/QtSynchronizer.h"

#include <QCoreApplication>
#include <QObject>
#include <condition_variable>
#include <exception>

namespace ocelis {

// Each call carries its own lock, so that a queued delivery never needs the synchronizer,
// which may be gone by then.
struct QtSynchronizer::Call {
    enum State { Waiting, Running, Done, Cancelled };
    const std::function<void()>* Fn = nullptr;
    std::mutex Mutex;
    std::condition_variable Finished;
    State St = Waiting;
    std::exception_ptr Error;
};

QtSynchronizer::QtSynchronizer()
    : Context(std::make_unique<QObject>()), GuiThread(std::this_thread::get_id()) {
    if (auto* app = QCoreApplication::instance())
        QObject::connect(app, &QCoreApplication::aboutToQuit, Context.get(),
                         [this] { Shutdown(); });
}

QtSynchronizer::~QtSynchronizer() {
    Shutdown();
    std::lock_guard<std::mutex> lock(Mutex);
    // Its queued calls die with it; off the GUI thread let Qt delete it there.
    if (std::this_thread::get_id() != GuiThread)
        Context.release()->deleteLater();
    else
        Context.reset();
}

std::shared_ptr<QtSynchronizer> QtSynchronizer::Install() {
    auto sync = std::make_shared<QtSynchronizer>();
    SetDefaultSynchronizer(sync);
    return sync;
}

bool QtSynchronizer::Run(const std::function<void()>& fn) {
    auto call = std::make_shared<Call>();
    call->Fn = &fn;
    {
        std::unique_lock<std::mutex> lock(Mutex);
        if (Closed)
            return false;
        if (std::this_thread::get_id() == GuiThread) {
            lock.unlock();
            fn();
            return true;
        }
        Pending.push_back(call);
        QMetaObject::invokeMethod(
            Context.get(),
            [call] {
                {
                    std::lock_guard<std::mutex> guard(call->Mutex);
                    if (call->St != Call::Waiting)
                        return;
                    call->St = Call::Running;
                }
                std::exception_ptr error;
                try {
                    (*call->Fn)();
                } catch (...) {
                    error = std::current_exception();
                }
                std::lock_guard<std::mutex> guard(call->Mutex);
                call->Error = std::move(error);
                call->St = Call::Done;
                call->Finished.notify_all();
            },
            Qt::QueuedConnection);
    }
    Call::State st;
    std::exception_ptr error;
    {
        std::unique_lock<std::mutex> lock(call->Mutex);
        call->Finished.wait(lock,
                            [&] { return call->St == Call::Done || call->St == Call::Cancelled; });
        st = call->St;
        // Taken out, so that only this thread holds the exception when the call is freed.
        error = std::move(call->Error);
    }
    {
        std::lock_guard<std::mutex> lock(Mutex);
        Pending.remove(call);
    }
    if (st == Call::Cancelled)
        return false;
    if (error)
        std::rethrow_exception(error);
    return true;
}

std::size_t QtSynchronizer::PendingCalls() {
    std::lock_guard<std::mutex> lock(Mutex);
    return Pending.size();
}

void QtSynchronizer::Shutdown() {
    std::lock_guard<std::mutex> lock(Mutex);
    Closed = true;
    for (auto& call : Pending) {
        std::lock_guard<std::mutex> guard(call->Mutex);
        if (call->St == Call::Waiting) {
            call->St = Call::Cancelled;
            call->Finished.notify_all();
        }
    }
}

} // namespace ocelis
