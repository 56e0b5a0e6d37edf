#pragma once

#include "serial/SerialPort.h"

#include <memory>
#include <string>
#include <vector>

namespace talvex {

/// Why a port did not open, kept apart so the user learns more than
/// "Port open error!".
struct OpenError {
    PortStatus kind = PortStatus::Other;
    std::string message; ///< the system's own words, for the log
};

struct OpenResult {
    std::unique_ptr<SerialPort> port; ///< set on success
    OpenError error;                  ///< meaningful when port is null

    explicit operator bool() const { return port != nullptr; }
};

/// The ports a host offers and the way to open one by name.
class PortHost {
public:
    virtual ~PortHost() = default;

    /// Names to try in a scan or listing, in order (COM1…COM254 on
    /// Windows; device nodes on Linux).
    virtual std::vector<std::string> candidateNames() = 0;

    /// Opens exclusively, sets the 20 ms time-outs and applies the mode.
    virtual OpenResult open(const std::string& name, const std::string& mode) = 0;
};

} // namespace talvex
