#pragma once

#include <functional>
#include <string>

namespace talvex {

class Clock;
class PortHost;
class PortSlot;
struct DetectionResults;

/// What the upload works with, all owned by the application context: slot
/// A (opened by the settings window's Connect), the host to open it again
/// after a re-plug, the clock every wait goes through, and the detection
/// results (speed variant and boot flag, both changed on the way).
struct UploadEnvironment {
    PortSlot& port;
    PortHost& host;
    Clock& clock;
    DetectionResults& detection;
    /// Where the programmer's port is after the re-plug, asked before each
    /// attempt to open it, given the name it had; unset, the name stays.
    /// A system may name a re-plugged device's port anew.
    std::function<std::string(const std::string&)> portAfterReplug = {};
};

} // namespace talvex
