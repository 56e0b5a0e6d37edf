#pragma once

#include "common/Clock.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>

namespace talvex {

/// Virtual time shared by several threads, for tests of work that runs in
/// parallel (several programmers at once). Time moves only when every
/// admitted thread waits, and then to the earliest moment one of them
/// waits for, so each thread sees the time it would on the wire and the
/// run takes no real time. A thread that was not admitted (the one that
/// starts and joins the others, a window's) waits like any other but does
/// not hold time back while it runs.
class LockstepClock final : public Clock {
public:
    TimePoint now() const override { return TimePoint(m_now.load()); }
    void sleepFor(Micros duration) override;

    void admitThreads(int count) override;
    void threadStarted() override;
    void threadEnded() override;

private:
    // Called with the lock held.
    void advanceWhileAllWait();

    mutable std::mutex m_mutex;
    std::condition_variable m_woken;
    std::atomic<std::int64_t> m_now {0};
    int m_running = 0; ///< admitted threads not waiting
    /// Wake-up moments of the waiting threads; true for an admitted one.
    std::multimap<std::int64_t, bool> m_waiting;
};

} // namespace talvex
