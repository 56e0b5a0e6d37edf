#pragma once

#include "common/Clock.h"

#include <functional>
#include <thread>

namespace talvex {

/// Wall-clock time. A long sleep is cut into slices with the pump run
/// between them, so a window stays painted during a multi-second wait.
/// Only the thread that made the clock pumps: a worker thread's sleep must
/// not run the window's events.
class RealClock final : public Clock {
public:
    using Pump = std::function<void()>;

    explicit RealClock(Pump pump = {}, Micros slice = Millis(20));

    TimePoint now() const override;
    void sleepFor(Micros duration) override;

    void setPump(Pump pump) { m_pump = std::move(pump); }

private:
    Pump m_pump;
    Micros m_slice;
    std::thread::id m_pumpingThread = std::this_thread::get_id();
};

} // namespace talvex
