#pragma once

#include <cstddef>

namespace talvex {

/// What became of one port operation, in the same words on every
/// platform. Each backend maps its own error codes onto it in one place.
enum class PortStatus {
    Ok,
    TimedOut, ///< nothing arrived: the device is silent
    Gone,     ///< the device vanished (unplugged) or the port does not exist
    Denied,   ///< no permission to open it
    Busy,     ///< another program holds it
    Other,
};

/// A short English name for logs and test output.
const char* portStatusName(PortStatus status);

/// One read: the bytes that came, and why it ended when none did. A read
/// that got bytes is Ok even if the device went away right after.
struct ReadResult {
    std::size_t count = 0;
    PortStatus status = PortStatus::Ok;

    static ReadResult got(std::size_t count) { return {count, count > 0 ? PortStatus::Ok : PortStatus::TimedOut}; }
    static ReadResult gone() { return {0, PortStatus::Gone}; }
};

} // namespace talvex
