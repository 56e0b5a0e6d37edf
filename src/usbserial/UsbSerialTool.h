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

/// "Read Serial": what the window shows.
struct UsbSerialListing {
    enum class Outcome {
        Listed,      ///< the devices are in paneText
        NoDevice,    ///< no FTDI device attached: nothing changes
        ListFailed,  ///< the library refused the list (status): nothing more changes
        Unavailable, ///< no D2XX library: see logLines, once
    };
    Outcome outcome = Outcome::Unavailable;
    FtStatus status = ftstatus::kOk;
    /// Set: replace "Memo1"'s text with it and scroll to its end. Empty
    /// when the list was cleared and then could not be fetched.
    std::optional<std::string> paneText;
    /// Set: put into "Edit2" (the last device with a serial number, its
    /// first 8 characters padded with spaces).
    std::optional<std::string> serialText;
    /// Enable "generate" and "Write Serial" and limit "Edit2" to 8 of
    /// kUsbSerialCharacters.
    bool enableButtons = false;
    /// For the log line, one call each.
    std::vector<std::string> logLines;
};

/// "generate": what the window shows.
struct UsbSerialGenerated {
    std::optional<std::string> serialText; ///< set: into "Edit2"
    bool enableWrite = false;              ///< enable "Write Serial"
    std::vector<std::string> logLines;
};

/// "Write Serial": how it ended and the lines for the log.
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

/// The "Serial" tab's three operations, without the window: list the FTDI
/// devices, derive a USB serial number from the programmer's, and write
/// it into the selected chip's EEPROM. One per settings window, made when
/// the window is made, so the library is loaded once per window.
class UsbSerialTool {
public:
    /// The selected index when no listed device had a serial number.
    static constexpr int kNoDevice = 99;

    /// Takes what loading the D2XX library gave. Without a library every
    /// operation is harmless and the first one says why, once.
    explicit UsbSerialTool(D2xxLoadResult library);

    bool available() const { return m_api != nullptr; }
    const std::string& unavailableReason() const { return m_unavailableReason; }

    /// "Read Serial" (Button26Click).
    UsbSerialListing readSerial();
    /// "generate" (Button100Click) from the programmer serial number
    /// ("Label8"'s text).
    UsbSerialGenerated generate(std::string_view programmerSerial) const;
    /// "Write Serial" (Button27Click) with "Edit2"'s text.
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
