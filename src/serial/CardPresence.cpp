#include "serial/CardPresence.h"

namespace talvex {

std::vector<CardPresence::Change> CardPresence::poll(PortSlots& ports)
{
    std::vector<Change> changes;
    const bool present1 = ports.a.ctsOn();
    if (present1 != m_present1.exchange(present1))
        changes.push_back({1, present1});

    bool present2 = false;
    if (const auto status = ports.b.modemStatus()) {
        const bool cts = (*status & kModemStatusCts) != 0;
        present2 = m_inverted ? !cts : cts;
    }
    if (present2 != m_present2.exchange(present2))
        changes.push_back({2, present2});
    return changes;
}

std::vector<int> CardPresence::newlyGone(PortSlots& ports)
{
    std::vector<int> gone;
    PortSlot* slots[2] = {&ports.a, &ports.b};
    for (int i = 0; i < 2; ++i) {
        const bool isGone = slots[i]->presence() == Status::Gone;
        if (isGone && !m_gone[i])
            gone.push_back(i + 1);
        m_gone[i] = isGone;
    }
    return gone;
}

} // namespace talvex
