#include "common/ClockedThreads.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace talvex {

void runOnClockedThreads(Clock& clock, std::size_t count, std::size_t maxAtOnce,
                         const std::function<void(std::size_t)>& job)
{
    const std::size_t threads = std::min(count, std::max<std::size_t>(maxAtOnce, 1));
    if (threads == 0)
        return;
    std::atomic<std::size_t> next {0};
    std::mutex failureMutex;
    std::exception_ptr failure;
    // Admitted before any starts: a virtual clock must not move on while
    // the last thread is still being created.
    clock.admitThreads(static_cast<int>(threads));
    std::vector<std::thread> running;
    running.reserve(threads);
    for (std::size_t t = 0; t < threads; ++t) {
        running.emplace_back([&] {
            clock.threadStarted();
            for (std::size_t index = next++; index < count; index = next++) {
                try {
                    job(index);
                } catch (...) {
                    std::lock_guard lock(failureMutex);
                    if (!failure)
                        failure = std::current_exception();
                }
            }
            clock.threadEnded();
        });
    }
    for (std::thread& thread : running)
        thread.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace talvex
