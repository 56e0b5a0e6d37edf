#pragma once

#include "ftdi/UsbIdentity.h"
#include "usbserial/FtdiBackend.h"

#include <optional>
#include <string>
#include <vector>

namespace talvex {

/// One chip of a listing: D2XX lists each channel, libftdi each chip.
struct FtdiChip {
    std::string serial;      ///< without channel letter and padding; empty when it has none
    std::string location;    ///< as the listing gives it
    std::string description; ///< its first channel's
    std::uint32_t id = 0;    ///< vendor ID << 16 | product ID
    FtdiChipKind kind = FtdiChipKind::Other;
    int firstRecord = 0; ///< the record that opens it (channel A)
    int lastRecord = 0;

    /// A dual-channel FTDI chip (0403:6010) as the programmer carries.
    bool isProgrammerChip() const
    {
        return talvex::isProgrammerChip(static_cast<std::uint16_t>(id >> 16), static_cast<std::uint16_t>(id & 0xffff));
    }
    /// "TLVX0001 at 2-1" or "no serial number, at 2-1".
    std::string label() const;
};

/// The listing's records grouped into chips: a chip's channels follow one
/// another with the same serial number and location, lettered upwards.
std::vector<FtdiChip> groupFtdiChips(const std::vector<FtdiDevice>& records);

/// Which chip to write: the one behind the programmer's port (by its USB
/// identity), or the one the user named by serial number or location, or
/// with nothing named the only programmer chip attached.
struct FtdiChipRequest {
    std::optional<std::string> serial;
    std::optional<std::string> location;
    /// Set when the request comes from a programmer's port rather than the user.
    bool fromProgrammerPort = false;

    /// The chip behind a programmer's port, as the host lists the port's USB
    /// device (empty strings where it tells nothing).
    static FtdiChipRequest forProgrammerPort(const std::string& serial, const std::string& location)
    {
        return {serial.empty() ? std::nullopt : std::optional(serial),
                location.empty() ? std::nullopt : std::optional(location), true};
    }
    static FtdiChipRequest forProgrammerPort(const std::optional<UsbIdentity>& usb)
    {
        return usb ? forProgrammerPort(usb->serial, usb->location) : forProgrammerPort({}, {});
    }
};

struct FtdiChipChoice {
    std::optional<FtdiChip> chip;
    std::string problem; ///< why none: names the candidates, in no front end's words
    /// True when several chips could be meant and the user must name one.
    bool ambiguous = false;
};

FtdiChipChoice chooseFtdiChip(const std::vector<FtdiChip>& chips, const FtdiChipRequest& request);

} // namespace talvex
