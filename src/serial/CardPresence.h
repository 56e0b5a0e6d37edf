#pragma once

#include "serial/PortSlot.h"

#include <atomic>
#include <vector>

namespace talvex {

/// Card presence on the two readers, from the CTS line of each reader's
/// port. One pass reads both ports and reports what changed since the
/// last pass. The flags are atomics: the reader thread writes them, the
/// UI thread reads them.
class CardPresence {
public:
    struct Change {
        int reader;
        bool present;
    };

    /// One pass over both slots. A port that is not open, or whose status
    /// cannot be read, has no card; `inverted` turns reader 2's CTS around.
    std::vector<Change> poll(PortSlots& ports);

    /// The readers whose open port found its device gone since the last
    /// call, each once until its port is open and present again: the
    /// programmer was unplugged.
    std::vector<int> newlyGone(PortSlots& ports);

    void setInverted(bool inverted) { m_inverted = inverted; }
    bool present(int reader) const { return reader == 1 ? m_present1.load() : m_present2.load(); }

private:
    std::atomic<bool> m_inverted{false};
    std::atomic<bool> m_present1{false};
    std::atomic<bool> m_present2{false};
    bool m_gone[2] = {false, false}; // the reader thread's own
};

} // namespace talvex
