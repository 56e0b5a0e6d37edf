#pragma once

#include "common/Result.h"
#include "usbserial/EepromLayout.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace talvex {

/// One FTDI device as a listing found it. FTDI's D2XX library gives one
/// record per channel of a chip (serial number and description with the
/// channel letter: "TLVX0001A", "TalvexUSB A"); libftdi one per chip.
struct FtdiDevice {
    std::uint32_t flags = 0;
    std::uint32_t type = 0;
    std::uint32_t id = 0;    ///< vendor ID << 16 | product ID
    std::uint32_t locId = 0; ///< D2XX: the library's LocId; libftdi: USB bus << 8 | device address
    std::string serialNumber;
    std::string description;
    /// Where the chip sits, the same for all its records: libftdi the USB
    /// port path as Linux names it ("2-1.4"); D2XX the LocId of the chip's
    /// first channel ("0x2111"), which is all that library tells.
    std::string location;
    FtdiChipKind kind = FtdiChipKind::Other;

    /// The chip's own serial number: without the channel letter that the
    /// D2XX library adds (only when the description ends in the same
    /// letter), and without the trailing blanks of a padded number.
    std::string chipSerial() const;
};

/// One chip opened for EEPROM access; closed by close() or, unchecked,
/// when destroyed.
class FtdiSession {
public:
    virtual ~FtdiSession() = default;
    /// Failures say Gone when the chip went away during the session; the
    /// detail is the library's own name for what happened.
    virtual Result<std::uint16_t> readWord(std::size_t word) = 0;
    virtual Result<void> writeWord(std::size_t word, std::uint16_t value) = 0;
    virtual Result<void> close() = 0;
};

/// What the USB serial tool needs from an FTDI library: list the devices,
/// open one of them, its EEPROM words. Implemented over FTDI's D2XX
/// (D2xxBackend, also for the simulated chip) and over libftdi.
class FtdiBackend {
public:
    virtual ~FtdiBackend() = default;

    /// Which library this is, for the log: "libftdi (libftdi1.so.2)".
    virtual std::string name() const = 0;

    /// The attached devices, in the library's order.
    virtual Result<std::vector<FtdiDevice>> listDevices() = 0;

    /// Whether EEPROM words can be read back (an old D2XX library cannot).
    virtual bool canReadEeprom() const = 0;

    /// Opens for EEPROM access the chip that `device` (a record of the last
    /// listing) is a channel of: found again by its place and serial number
    /// in a fresh list, so a chip that came or went since is never mistaken
    /// for it, and checked once open.
    virtual Result<std::unique_ptr<FtdiSession>> open(const FtdiDevice& device) = 0;
};

/// What loading a library gave: the backend, or why there is none (a
/// sentence for the log); and where the EEPROM backups of its chips go.
struct FtdiLoadResult {
    std::shared_ptr<FtdiBackend> backend;
    std::string error;
    std::filesystem::path backupDirectory;

    explicit operator bool() const { return backend != nullptr; }
};

} // namespace talvex
