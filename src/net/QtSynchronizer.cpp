#include "net/QtSynchronizer.h"

#include <QCoreApplication>
#include <QObject>
#include <condition_variable>
#include <exception>

namespace ocelis {

struct QtSynchronizer::Call {
    enum State { Waiting, Running, Done, Cancelled };
    const std::function<void()>* Fn = nullptr;
    State St = Waiting;
    std::exception_ptr Error;
    std::condition_variable Finished;
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
        [this, call] {
            {
                std::lock_guard<std::mutex> guard(Mutex);
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
            std::lock_guard<std::mutex> guard(Mutex);
            call->Error = error;
            call->St = Call::Done;
            Pending.remove(call);
            call->Finished.notify_all();
        },
        Qt::QueuedConnection);
    call->Finished.wait(lock,
                        [&] { return call->St == Call::Done || call->St == Call::Cancelled; });
    if (call->St == Call::Cancelled)
        return false;
    if (call->Error)
        std::rethrow_exception(call->Error);
    return true;
}

std::size_t QtSynchronizer::PendingCalls() {
    std::lock_guard<std::mutex> lock(Mutex);
    return Pending.size();
}

void QtSynchronizer::Shutdown() {
    std::lock_guard<std::mutex> lock(Mutex);
    Closed = true;
    for (auto& call : Pending)
        if (call->St == Call::Waiting) {
            call->St = Call::Cancelled;
            call->Finished.notify_all();
        }
    Pending.remove_if([](const std::shared_ptr<Call>& c) { return c->St == Call::Cancelled; });
}

} // namespace ocelis
