#include "net/QtSynchronizer.h"

#include <QCoreApplication>
#include <QObject>
#include <condition_variable>
#include <exception>
#include <list>

namespace ocelis {

struct QtSynchronizer::Call {
    enum Status { Waiting, Running, Done, Cancelled };
    const std::function<void()>* Fn = nullptr;
    std::function<void()> Posted; // a call nobody waits for
    std::mutex Mutex;
    std::condition_variable Finished;
    Status St = Waiting;
    std::exception_ptr Error;
};

// The calls live in our own locked list; the posted event carries no data, so nothing of
// ours travels through Qt's queue (whose ordering ThreadSanitizer cannot see).
struct QtSynchronizer::State {
    std::mutex Mutex;
    std::list<std::shared_ptr<Call>> Pending;
    bool Closed = false;

    // On the GUI thread: runs every waiting call.
    void Drain() {
        for (;;) {
            std::shared_ptr<Call> call;
            {
                std::lock_guard<std::mutex> lock(Mutex);
                for (auto& c : Pending) {
                    std::lock_guard<std::mutex> guard(c->Mutex);
                    if (c->St == Call::Waiting) {
                        c->St = Call::Running;
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
            call->St = Call::Done;
            call->Finished.notify_all();
        }
    }
};

namespace {
class HandOverReceiver : public QObject {
    Q_OBJECT
public:
    explicit HandOverReceiver(std::shared_ptr<QtSynchronizer::State> state);
    Q_INVOKABLE void Drain();

private:
    std::shared_ptr<QtSynchronizer::State> Shared;
};
} // namespace

HandOverReceiver::HandOverReceiver(std::shared_ptr<QtSynchronizer::State> state)
    : Shared(std::move(state)) {}

void HandOverReceiver::Drain() {
    Shared->Drain();
}

QtSynchronizer::QtSynchronizer()
    : Shared(std::make_shared<State>()), Context(std::make_unique<HandOverReceiver>(Shared)),
      GuiThread(std::this_thread::get_id()) {
    if (auto* app = QCoreApplication::instance())
        QObject::connect(app, &QCoreApplication::aboutToQuit, Context.get(),
                         [this] { Shutdown(); });
}

QtSynchronizer::~QtSynchronizer() {
    Shutdown();
    // Off the GUI thread, let Qt delete the receiver there.
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
        std::unique_lock<std::mutex> lock(Shared->Mutex);
        if (Shared->Closed)
            return false;
        if (std::this_thread::get_id() == GuiThread) {
            lock.unlock();
            fn();
            return true;
        }
        Shared->Pending.push_back(call);
        QMetaObject::invokeMethod(Context.get(), "Drain", Qt::QueuedConnection);
    }
    Call::Status st;
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
        std::lock_guard<std::mutex> lock(Shared->Mutex);
        Shared->Pending.remove(call);
    }
    if (st == Call::Cancelled)
        return false;
    if (error)
        std::rethrow_exception(error);
    return true;
}

bool QtSynchronizer::Post(std::function<void()> fn) {
    auto call = std::make_shared<Call>();
    call->Posted = std::move(fn);
    std::lock_guard<std::mutex> lock(Shared->Mutex);
    if (Shared->Closed)
        return false;
    Shared->Pending.push_back(std::move(call));
    QMetaObject::invokeMethod(Context.get(), "Drain", Qt::QueuedConnection);
    return true;
}

std::size_t QtSynchronizer::PendingCalls() {
    std::lock_guard<std::mutex> lock(Shared->Mutex);
    return Shared->Pending.size();
}

void QtSynchronizer::Shutdown() {
    std::lock_guard<std::mutex> lock(Shared->Mutex);
    Shared->Closed = true;
    Shared->Pending.remove_if([](const std::shared_ptr<Call>& c) {
        std::lock_guard<std::mutex> guard(c->Mutex);
        return c->Posted && c->St == Call::Waiting;
    });
    for (auto& call : Shared->Pending) {
        std::lock_guard<std::mutex> guard(call->Mutex);
        if (call->St == Call::Waiting) {
            call->St = Call::Cancelled;
            call->Finished.notify_all();
        }
    }
}

} // namespace ocelis

#include "QtSynchronizer.moc"
