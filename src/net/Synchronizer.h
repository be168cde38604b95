// The hand-over from a worker thread to the GUI thread.
#pragma once

#include <functional>
#include <memory>

namespace ocelis {

class Synchronizer {
public:
    virtual ~Synchronizer() = default;

    // Runs fn on the GUI thread while the caller waits, and re-throws in the caller what fn
    // threw. Returns false without running fn when the hand-over was cancelled because the
    // GUI loop has ended (or ends while the call waits). Called on the GUI thread itself,
    // fn runs at once.
    virtual bool Run(const std::function<void()>& fn) = 0;

    // Queues fn to run on the GUI thread later and returns at once; what fn throws is
    // dropped. False when the hand-over is closed (fn is then never run).
    virtual bool Post(std::function<void()> fn) = 0;

    // Cancels every pending and every later call. Safe from any thread, idempotent.
    virtual void Shutdown() = 0;
};

// The process-wide hand-over used by fetch threads that were not given one. The
// application installs the Qt one at start-up; until then (and in core tests) it is null
// and a thread without a hand-over skips its handler calls.
void SetDefaultSynchronizer(std::shared_ptr<Synchronizer> sync);
std::shared_ptr<Synchronizer> DefaultSynchronizer();

} // namespace ocelis
