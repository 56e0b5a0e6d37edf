#include "common/LockstepClock.h"

namespace talvex {
namespace {

thread_local const LockstepClock* t_admittedTo = nullptr;

} // namespace

void LockstepClock::sleepFor(Micros duration)
{
    if (duration.count() <= 0)
        return;
    std::unique_lock lock(m_mutex);
    const bool admitted = t_admittedTo == this;
    const std::int64_t target = m_now.load() + duration.count();
    m_waiting.emplace(target, admitted);
    if (admitted)
        --m_running;
    advanceWhileAllWait();
    // Whoever moves time to `target` counts this thread as running again.
    m_woken.wait(lock, [&] { return m_now.load() >= target; });
}

void LockstepClock::admitThreads(int count)
{
    std::lock_guard lock(m_mutex);
    m_running += count;
}

void LockstepClock::threadStarted()
{
    t_admittedTo = this;
}

void LockstepClock::threadEnded()
{
    std::lock_guard lock(m_mutex);
    if (t_admittedTo != this)
        return;
    t_admittedTo = nullptr;
    --m_running;
    advanceWhileAllWait();
}

void LockstepClock::advanceWhileAllWait()
{
    if (m_running > 0 || m_waiting.empty())
        return;
    const std::int64_t next = m_waiting.begin()->first;
    if (next > m_now.load())
        m_now.store(next);
    while (!m_waiting.empty() && m_waiting.begin()->first <= next) {
        if (m_waiting.begin()->second)
            ++m_running;
        m_waiting.erase(m_waiting.begin());
    }
    m_woken.notify_all();
}

} // namespace talvex
