// Waits for a condition with a deadline, looking again every millisecond.
#pragma once

#include <chrono>
#include <thread>

namespace ocelis::test {

template <class Pred> bool WaitUntil(Pred pred, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace ocelis::test
