#pragma once

#include "common/Clock.h"

#include <chrono>

namespace talvex {

/// Time left for the blocks still to go, from the pace so far (retries
/// included, so a struggling link shows in the estimate).
class RemainingTime {
public:
    void start(TimePoint now) { m_start = now; }

    /// Rounded up to whole seconds; zero once everything is done.
    std::chrono::seconds estimate(TimePoint now, int blocksDone, int blocksTotal) const;

private:
    TimePoint m_start{};
};

} // namespace talvex
