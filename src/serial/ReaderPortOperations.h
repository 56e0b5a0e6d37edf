#pragma once

#include "serial/PortSlot.h"

#include <optional>
#include <string>

namespace talvex {

class Clock;

/// Opens a reader's port by the name selected in its list, always at
/// 115200 baud. BadInput when no port, or an empty name, was chosen.
Result<void> openReaderPort(PortSlot& slot, PortHost& host, const std::optional<std::string>& selectedName);

/// Waits 500 ms, then closes; fails at once, doing nothing, when the port
/// was not open to begin with.
Result<void> closeReaderPort(PortSlot& slot, Clock& clock);

struct PortParametersResult {
    bool applied = false;
    std::string printout; ///< old and new settings, for the log pane
};

/// Prints the current settings, applies "baud,parity,bits,stop", prints
/// the new ones. `applied` is false when the new mode was refused.
PortParametersResult setPortParameters(PortSlot& slot, const std::string& baud, const std::string& parity,
                                       const std::string& dataBits, const std::string& stopBits);

} // namespace talvex
