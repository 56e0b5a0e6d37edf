#include "common/VirtualClock.h"

#include <vector>

namespace talvex {

void VirtualClock::sleepFor(Micros duration)
{
    if (duration.count() <= 0)
        return;
    m_slept += duration.count();
    const std::int64_t target = m_now.load() + duration.count();
    runDueActions(TimePoint(target));
    // Only ever forward: another thread may have moved further already.
    std::int64_t current = m_now.load();
    while (current < target && !m_now.compare_exchange_weak(current, target)) {
    }
}

void VirtualClock::at(TimePoint when, Action action)
{
    std::lock_guard lock(m_actionsMutex);
    m_actions.emplace(when.count(), std::move(action));
}

void VirtualClock::runDueActions(TimePoint upTo)
{
    for (;;) {
        Action action;
        {
            std::lock_guard lock(m_actionsMutex);
            auto first = m_actions.begin();
            if (first == m_actions.end() || first->first > upTo.count())
                return;
            // Time stands at the action's moment while it runs.
            std::int64_t current = m_now.load();
            while (current < first->first && !m_now.compare_exchange_weak(current, first->first)) {
            }
            action = std::move(first->second);
            m_actions.erase(first);
        }
        action();
    }
}

} // namespace talvex
