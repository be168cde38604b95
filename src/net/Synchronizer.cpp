#include "net/Synchronizer.h"

#include <mutex>

namespace ocelis {

namespace {
std::mutex& DefaultMutex() {
    static std::mutex m;
    return m;
}
std::shared_ptr<Synchronizer>& DefaultHolder() {
    // Leaked on purpose: workers may still ask for it during static destruction.
    static auto* holder = new std::shared_ptr<Synchronizer>();
    return *holder;
}
} // namespace

void SetDefaultSynchronizer(std::shared_ptr<Synchronizer> sync) {
    std::lock_guard<std::mutex> lock(DefaultMutex());
    DefaultHolder() = std::move(sync);
}

std::shared_ptr<Synchronizer> DefaultSynchronizer() {
    std::lock_guard<std::mutex> lock(DefaultMutex());
    return DefaultHolder();
}

} // namespace ocelis
