#pragma once

#include "common/Clock.h"

#include <cstddef>
#include <functional>

namespace talvex {

/// Runs `job(0)` … `job(count - 1)` on threads that take part in the
/// clock's time, at most `maxAtOnce` at a time, and returns once all have
/// ended. An exception a job throws is thrown again here, after the others
/// have ended.
void runOnClockedThreads(Clock& clock, std::size_t count, std::size_t maxAtOnce,
                         const std::function<void(std::size_t)>& job);

} // namespace talvex
