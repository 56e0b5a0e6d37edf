#pragma once

#include "protocol/DetectionResults.h"

#include <functional>
#include <string>

namespace talvex {

class Clock;
class PortHost;
class PortSlot;

/// What an upload works with: slot A (opened by the settings window's
/// Connect), the host to open it again after a re-plug, the clock every
/// wait goes through, and the programmer as the caller last found it. The
/// upload changes none of the caller's state; its outcome says how it left
/// the programmer.
struct UploadRequest {
    PortSlot& port;
    PortHost& host;
    Clock& clock;
    ProgrammerState programmer;
    /// Where the programmer's port is after the re-plug, asked before each
    /// attempt to open it, given the name it had; unset, the name stays.
    /// A system may name a re-plugged device's port anew.
    std::function<std::string(const std::string&)> portAfterReplug = {};
};

} // namespace talvex
