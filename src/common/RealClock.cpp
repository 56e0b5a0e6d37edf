#include "common/RealClock.h"

#include <thread>

namespace talvex {

RealClock::RealClock(Pump pump, Micros slice)
    : m_pump(std::move(pump))
    , m_slice(slice)
{
}

TimePoint RealClock::now() const
{
    return std::chrono::duration_cast<Micros>(std::chrono::steady_clock::now().time_since_epoch());
}

void RealClock::sleepFor(Micros duration)
{
    if (!m_pump || std::this_thread::get_id() != m_pumpingThread) {
        std::this_thread::sleep_for(duration);
        return;
    }
    const TimePoint deadline = now() + duration;
    for (;;) {
        m_pump();
        const TimePoint current = now();
        if (current >= deadline)
            return;
        std::this_thread::sleep_for(std::min(m_slice, deadline - current));
    }
}

} // namespace talvex
