#include "firmware/RemainingTime.h"

namespace talvex {

std::chrono::seconds RemainingTime::estimate(TimePoint now, int blocksDone, int blocksTotal) const
{
    if (blocksDone <= 0 || blocksDone >= blocksTotal)
        return std::chrono::seconds(0);
    const auto elapsed = (now - m_start).count();
    const auto left = elapsed * (blocksTotal - blocksDone) / blocksDone;
    return std::chrono::ceil<std::chrono::seconds>(Micros(left));
}

} // namespace talvex
