#pragma once

#include "protocol/DetectionResults.h"
#include "protocol/Identification.h"
#include "serial/PortHost.h"

#include <optional>
#include <string>

namespace talvex {

/// A programmer a batch found: its two ports, paired by their USB
/// identity or by the serial number both answer with, and what it said.
struct FoundProgrammer {
    std::string reader1Port;
    std::string reader2Port; ///< empty when it was not found
    /// Interface A's USB identity, when the system tells it: it finds the
    /// port again after a re-plug and names the FTDI chip to serialise.
    std::optional<UsbIdentity> usb;
    SpeedVariant variant = SpeedVariant::Normal;
    ProgrammerMode mode = ProgrammerMode::None;
    std::string serialNumber;    ///< the 32 digits it answered with
    std::string firmwareVersion; ///< the application's version; empty in the boot loader

    /// "COM3/COM4", or the one port.
    std::string portsText() const { return reader2Port.empty() ? reader1Port : reader1Port + "/" + reader2Port; }
    /// Where it sits for the operator: the USB location, or its ports.
    std::string positionText() const
    {
        return usb && !usb->location.empty() ? "USB " + usb->location + ", " + portsText() : portsText();
    }
};

} // namespace talvex
