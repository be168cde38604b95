#include "net/QtSynchronizer.h"

#include <QCoreApplication>
#include <QObject>
#include <condition_variable>
#include <exception>
#include <list>

namespace ocelis {

struct TQtSynchronizer::TCall {
    enum TStatus { Waiting, Running, Done, Cancelled };
    const std::function<void()>* Fn = nullptr;
    std::function<void()> Posted; // a call nobody waits for
    std::mutex Mutex;
    std::condition_variable Finished;
    TStatus St = Waiting;
    std::exception_ptr Error;
};

// The calls live in our own locked list; the posted event carries no data, so nothing of
// ours travels through Qt's queue (whose ordering ThreadSanitizer cannot see).
struct TQtSynchronizer::TState {
    std::mutex Mutex;
    std::list<std::shared_ptr<TCall>> Pending;
    bool Closed = false;

    // On the GUI thread: runs every waiting call.
    void Drain() {
        for (;;) {
            std::shared_ptr<TCall> call;
            {
                std::lock_guard<std::mutex> lock(Mutex);
                for (auto& c : Pending) {
                    std::lock_guard<std::mutex> guard(c->Mutex);
                    if (c->St == TCall::Waiting) {
                        c->St = TCall::Running;
                        call = c;
                        break;
                    }
                }
            }
            if (!call)
                return;
            if (call->Posted) {
                try {
                    call->Posted();
                } catch (...) {
                    // Nobody waits to hear of it.
                }
                std::lock_guard<std::mutex> lock(Mutex);
                Pending.remove(call);
                continue;
            }
            std::exception_ptr error;
            try {
                (*call->Fn)();
            } catch (...) {
                error = std::current_exception();
            }
            std::lock_guard<std::mutex> guard(call->Mutex);
            call->Error = std::move(error);
            call->St = TCall::Done;
            call->Finished.notify_all();
        }
    }
};

namespace {
class THandOverReceiver : public QObject {
    Q_OBJECT
public:
    explicit THandOverReceiver(std::shared_ptr<TQtSynchronizer::TState> state);
    Q_INVOKABLE void Drain();

private:
    std::shared_ptr<TQtSynchronizer::TState> FShared;
};
} // namespace

THandOverReceiver::THandOverReceiver(std::shared_ptr<TQtSynchronizer::TState> state)
    : FShared(std::move(state)) {}

void THandOverReceiver::Drain() {
    FShared->Drain();
}

TQtSynchronizer::TQtSynchronizer()
    : FShared(std::make_shared<TState>()), FContext(std::make_unique<THandOverReceiver>(FShared)),
      FGuiThread(std::this_thread::get_id()) {
    if (auto* app = QCoreApplication::instance())
        QObject::connect(app, &QCoreApplication::aboutToQuit, FContext.get(),
                         [this] { Shutdown(); });
}

TQtSynchronizer::~TQtSynchronizer() {
    Shutdown();
    // Off the GUI thread, let Qt delete the receiver there.
    if (std::this_thread::get_id() != FGuiThread)
        FContext.release()->deleteLater();
    else
        FContext.reset();
}

std::shared_ptr<TQtSynchronizer> TQtSynchronizer::Install() {
    auto sync = std::make_shared<TQtSynchronizer>();
    SetDefaultSynchronizer(sync);
    return sync;
}

bool TQtSynchronizer::Run(const std::function<void()>& fn) {
    auto call = std::make_shared<TCall>();
    call->Fn = &fn;
    {
        std::unique_lock<std::mutex> lock(FShared->Mutex);
        if (FShared->Closed)
            return false;
        if (std::this_thread::get_id() == FGuiThread) {
            lock.unlock();
            fn();
            return true;
        }
        FShared->Pending.push_back(call);
        QMetaObject::invokeMethod(FContext.get(), "Drain", Qt::QueuedConnection);
    }
    TCall::TStatus st;
    std::exception_ptr error;
    {
        std::unique_lock<std::mutex> lock(call->Mutex);
        call->Finished.wait(
            lock, [&] { return call->St == TCall::Done || call->St == TCall::Cancelled; });
        st = call->St;
        // Taken out, so that only this thread holds the exception when the call is freed.
        error = std::move(call->Error);
    }
    {
        std::lock_guard<std::mutex> lock(FShared->Mutex);
        FShared->Pending.remove(call);
    }
    if (st == TCall::Cancelled)
        return false;
    if (error)
        std::rethrow_exception(error);
    return true;
}

bool TQtSynchronizer::Post(std::function<void()> fn) {
    auto call = std::make_shared<TCall>();
    call->Posted = std::move(fn);
    std::lock_guard<std::mutex> lock(FShared->Mutex);
    if (FShared->Closed)
        return false;
    FShared->Pending.push_back(std::move(call));
    QMetaObject::invokeMethod(FContext.get(), "Drain", Qt::QueuedConnection);
    return true;
}

std::size_t TQtSynchronizer::PendingCalls() {
    std::lock_guard<std::mutex> lock(FShared->Mutex);
    return FShared->Pending.size();
}

void TQtSynchronizer::Shutdown() {
    std::lock_guard<std::mutex> lock(FShared->Mutex);
    FShared->Closed = true;
    FShared->Pending.remove_if([](const std::shared_ptr<TCall>& c) {
        std::lock_guard<std::mutex> guard(c->Mutex);
        return c->Posted && c->St == TCall::Waiting;
    });
    for (auto& call : FShared->Pending) {
        std::lock_guard<std::mutex> guard(call->Mutex);
        if (call->St == TCall::Waiting) {
            call->St = TCall::Cancelled;
            call->Finished.notify_all();
        }
    }
}

} // namespace ocelis

#include "QtSynchronizer.moc"
