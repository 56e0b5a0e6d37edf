#pragma once

#include "usbserial/D2xxApi.h"
#include "usbserial/EepromImage.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex {

/// One FTDI device as the last listing found it.
struct FtdiDevice {
    std::uint32_t flags = 0;
    std::uint32_t type = 0;
    std::uint32_t id = 0;
    std::uint32_t locId = 0;
    std::string serialNumber;
    std::string description;
};

/// A listing of the FTDI devices, for a front end to show.
struct UsbSerialListing {
    enum class Outcome {
        Listed,      ///< the devices are in listingText
        NoDevice,    ///< no FTDI device attached: nothing changes
        ListFailed,  ///< the library refused the list (status): nothing more changes
        Unavailable, ///< no D2XX library: see logLines, once
    };
    Outcome outcome = Outcome::Unavailable;
    FtStatus status = ftstatus::kOk;
    /// Set: the whole listing, which replaces an earlier one. Empty when
    /// the list was cleared and then could not be fetched.
    std::optional<std::string> listingText;
    /// Set: the serial number of the selected device (the last listed
    /// with one), its first 8 characters padded with spaces.
    std::optional<std::string> serialText;
    /// Devices were listed: a serial number can now be generated and
    /// written (8 of kUsbSerialCharacters).
    bool devicesListed = false;
    /// Messages for the log, one line each.
    std::vector<std::string> logLines;
};

/// A USB serial number derived from the programmer's.
struct UsbSerialGenerated {
    std::optional<std::string> serialText; ///< set: the number derived
    bool canWrite = false;                 ///< a write may follow
    std::vector<std::string> logLines;
};

/// A serial number write: how it ended and the lines for the log.
struct UsbSerialWrite {
    enum class Outcome {
        Verified,          ///< written, read back equal, closed
        WrittenUnverified, ///< written and closed; the library has no FT_ReadEE
        CloseFailed,       ///< written, but FT_Close refused
        Unavailable,       ///< no D2XX library
        InvalidText,       ///< the text is not 1-8 allowed characters; nothing touched
        NoDeviceSelected,  ///< no listed device had a serial number; nothing touched
        OpenFailed,        ///< FT_Open refused; nothing touched
        WordWriteFailed,   ///< FT_WriteEE refused word `word`; the EEPROM is incomplete
        ReadBackFailed,    ///< FT_ReadEE refused word `word`; not verified
        Mismatch,          ///< word `word` reads back differently
    };
    Outcome outcome = Outcome::Unavailable;
    FtStatus status = ftstatus::kOk;
    int device = -1;           ///< the index opened
    int word = -1;             ///< the word of a failed write, read or compare
    std::string serial;        ///< the 8 characters programmed
    EepromWords image{};       ///< what was (to be) written
    std::vector<std::string> logLines;

    bool succeeded() const { return outcome == Outcome::Verified || outcome == Outcome::WrittenUnverified; }
};

/// The USB serial number's three operations, without a front end: list
/// the FTDI devices, derive a USB serial number from the programmer's,
/// and write it into the selected chip's EEPROM. A front end keeps one,
/// so the library is loaded once.
class UsbSerialTool {
public:
    /// The selected index when no listed device had a serial number.
    static constexpr int kNoDevice = 99;

    /// Takes what loading the D2XX library gave. Without a library every
    /// operation is harmless and the first one says why, once.
    explicit UsbSerialTool(D2xxLoadResult library);

    bool available() const { return m_api != nullptr; }
    const std::string& unavailableReason() const { return m_unavailableReason; }

    /// Lists the FTDI devices and selects the last one with a serial number.
    UsbSerialListing readSerial();
    /// Derives a USB serial number from the programmer's 32-digit one.
    UsbSerialGenerated generate(std::string_view programmerSerial) const;
    /// Writes `serialText` into the selected device's EEPROM and reads it back.
    UsbSerialWrite writeSerial(std::string_view serialText);

    /// The records of the last listing (kept until the next one).
    const std::vector<FtdiDevice>& devices() const { return m_devices; }
    /// The device the write opens: the last listed with a serial number.
    int selectedIndex() const { return m_selected; }

private:
    std::vector<std::string> unavailableNotice();
    void verify(FtHandle handle, UsbSerialWrite& result);

    std::shared_ptr<D2xxApi> m_api;
    std::string m_unavailableReason;
    bool m_unavailableSaid = false;
    std::vector<FtdiDevice> m_devices;
    int m_selected = kNoDevice;
};

} // namespace talvex
