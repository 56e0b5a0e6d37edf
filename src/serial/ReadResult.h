#pragma once

#include "common/Result.h"

#include <cstddef>

namespace talvex {

/// One read: the bytes that came, and why it ended when none did. A read
/// that got bytes is Ok even if the device went away right after.
struct ReadResult {
    std::size_t count = 0;
    Status status = Status::Ok;

    static ReadResult got(std::size_t count) { return {count, count > 0 ? Status::Ok : Status::TimedOut}; }
    static ReadResult gone() { return {0, Status::Gone}; }
};

} // namespace talvex
