#pragma once

#include "protocol/DetectionResults.h"
#include "protocol/Identification.h"
#include "serial/PortHost.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex {
class ApplicationContext;
}

namespace talvex::cli {

/// How a connection ended: the port would not open, or it opened and the
/// identification found what `identity.mode` says.
struct Connection {
    Result<void> opened; ///< why the port did not open, when it did not
    SpeedVariant variant = SpeedVariant::Normal;
    IdentifyResult identity;

    bool found() const { return identity.mode != ProgrammerMode::None; }
};

/// The settings window's Connect on one port, without the window: open
/// with the variant's mode, RTS off, 1.5 s, DTR on, identify, with the
/// window's log lines. Tries each variant in turn until the device
/// answers; the port (slot A) stays open on the one that answered. Fills
/// the context's detection results (variant, boot flag, serial, version)
/// for the commands that follow.
Connection connectProgrammer(ApplicationContext& context, const std::string& portName,
                             const std::vector<SpeedVariant>& variants,
                             const std::function<void(std::string_view)>& log,
                             const std::function<void(std::string_view)>& problem);

/// The variants "--variant" names: auto is all three, in detection order.
std::optional<std::vector<SpeedVariant>> variantsFor(std::string_view word);

/// "normal", "low1", "low2": the names talvex-simulator uses.
std::string variantWord(SpeedVariant variant);

} // namespace talvex::cli
