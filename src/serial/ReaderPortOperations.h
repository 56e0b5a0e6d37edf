#pragma once

#include "serial/PortSlot.h"

#include <optional>
#include <string>

namespace talvex {

class Clock;

/// Result texts of the windows' port operations.
inline constexpr const char* kPortOk = "OK";
inline constexpr const char* kPortRefused = "KO";
inline constexpr const char* kPortNotSelected = "NO";

/// Opens a reader's port by the name selected in its list, always at
/// 115200 baud: "NO" with no selection, "KO" when the open fails, "OK".
std::string openReaderPort(PortSlot& slot, PortHost& host, const std::optional<std::string>& selectedName);

/// Waits 500 ms, then closes: "OK" when the slot is then closed, "KO"
/// when it was not open to begin with (nothing else is done then).
std::string closeReaderPort(PortSlot& slot, Clock& clock);

struct PortParametersResult {
    bool applied = false;
    std::string printout; ///< old and new settings, for the log pane
};

/// Prints the current settings, applies "baud,parity,bits,stop", prints
/// the new ones. `applied` is false when the new mode was refused.
PortParametersResult setPortParameters(PortSlot& slot, const std::string& baud, const std::string& parity,
                                       const std::string& dataBits, const std::string& stopBits);

} // namespace talvex
