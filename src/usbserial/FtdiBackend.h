#pragma once

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

/// What went wrong, the same for every library. The library's own words
/// are kept beside it for the log.
enum class FtdiError {
    None,
    NotFound,     ///< no such device (any more)
    Busy,         ///< another program holds the device
    Denied,       ///< the system refuses access to the USB device
    Disconnected, ///< the device went away during the operation
    Unsupported,  ///< the library lacks the function
    Other,
};

struct FtdiResult {
    FtdiError error = FtdiError::None;
    int code = 0;     ///< the library's own code (D2XX status, libftdi/libusb return value)
    std::string text; ///< the library's own name for it: "FT_IO_ERROR", "unable to claim usb device (-5)"

    bool ok() const { return error == FtdiError::None; }
};

/// One chip opened for EEPROM access; closed by close() or, unchecked,
/// when destroyed.
class FtdiSession {
public:
    virtual ~FtdiSession() = default;
    virtual FtdiResult readWord(std::size_t word, std::uint16_t& value) = 0;
    virtual FtdiResult writeWord(std::size_t word, std::uint16_t value) = 0;
    virtual FtdiResult close() = 0;
};

/// What the USB serial tool needs from an FTDI library: list the devices,
/// open one of them, its EEPROM words. Implemented over FTDI's D2XX
/// (D2xxBackend, also for the simulated chip) and over libftdi.
class FtdiBackend {
public:
    virtual ~FtdiBackend() = default;

    /// Which library this is, for the log: "libftdi (libftdi1.so.2)".
    virtual std::string name() const = 0;

    /// Counts the attached devices and keeps them for listDevices().
    virtual FtdiResult countDevices(std::uint32_t& count) = 0;
    /// The devices counted last, in the library's order.
    virtual FtdiResult listDevices(std::vector<FtdiDevice>& devices) = 0;

    /// Whether EEPROM words can be read back (an old D2XX library cannot).
    virtual bool canReadEeprom() const = 0;

    /// Opens for EEPROM access the chip that `device` (a record of the last
    /// listing) is a channel of: found again by its place and serial number
    /// in a fresh list, so a chip that came or went since is never mistaken
    /// for it, and checked once open.
    virtual std::unique_ptr<FtdiSession> open(const FtdiDevice& device, FtdiResult& result) = 0;
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
