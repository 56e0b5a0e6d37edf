#pragma once

#include "common/Clock.h"

#include <atomic>
#include <functional>
#include <map>
#include <mutex>

namespace talvex {

/// Simulated time for tests: a sleep moves time forward at once. Actions
/// scheduled at a virtual time (a card inserted, a device unplugged) run
/// when a sleep passes that time.
class VirtualClock final : public Clock {
public:
    using Action = std::function<void()>;

    TimePoint now() const override { return TimePoint(m_now.load()); }
    void sleepFor(Micros duration) override;

    /// Runs the action once time reaches `when` (during a later sleep).
    void at(TimePoint when, Action action);

    /// Total time all sleeps asked for; a test reads it to see how long
    /// an operation would have taken on the wire.
    Micros slept() const { return Micros(m_slept.load()); }

private:
    void runDueActions(TimePoint upTo);

    std::atomic<std::int64_t> m_now{0};
    std::atomic<std::int64_t> m_slept{0};
    std::mutex m_actionsMutex;
    std::multimap<std::int64_t, Action> m_actions;
};

} // namespace talvex
