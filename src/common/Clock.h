#pragma once

#include <chrono>
#include <cstdint>

namespace talvex {

using Micros = std::chrono::microseconds;
using Millis = std::chrono::milliseconds;

// Monotonic time as microseconds since the clock's own epoch.
using TimePoint = Micros;

/// Every wait of the tool goes through this seam, so that tests run the
/// device protocol in virtual time and the windows can stay painted while
/// a long wait runs.
class Clock {
public:
    virtual ~Clock() = default;

    virtual TimePoint now() const = 0;

    /// Blocks (really or virtually) for the given time.
    virtual void sleepFor(Micros duration) = 0;

    void sleepMs(int milliseconds) { sleepFor(Millis(milliseconds)); }

    void sleepUntil(TimePoint deadline)
    {
        const TimePoint current = now();
        if (deadline > current)
            sleepFor(deadline - current);
    }

    /// Threads that run in this clock's time, for a clock that must know
    /// them all (virtual time shared by threads moves only when each of
    /// them waits): admit them before they start, so none is left behind;
    /// each says when it runs its first step and when it has ended.
    virtual void admitThreads(int /*count*/) {}
    virtual void threadStarted() {}
    virtual void threadEnded() {}
};

} // namespace talvex
