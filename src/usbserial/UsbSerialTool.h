#pragma once

#include "usbserial/EepromImage.h"
#include "usbserial/FtdiBackend.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex {

/// A listing of the FTDI devices, for a front end to show.
struct UsbSerialListing {
    enum class Outcome {
        Listed,      ///< the devices are in listingText
        NoDevice,    ///< no FTDI device attached: nothing changes
        ListFailed,  ///< the library refused the list (failure): nothing more changes
        Unavailable, ///< no FTDI library: see logLines, once
    };
    Outcome outcome = Outcome::Unavailable;
    FtdiResult failure;
    /// Set: the whole listing, which replaces an earlier one. Empty when
    /// the list was cleared and then could not be fetched.
    std::optional<std::string> listingText;
    /// Set: the serial number of the selected device (the last listed
    /// with one), its first 8 characters padded with spaces.
    std::optional<std::string> serialText;
    /// Devices were listed: a serial number can now be generated and
    /// written (8 of kUsbSerialCharacters).
    bool devicesListed = false;
    /// Messages for the log, one line each; the first operation's start
    /// with the line that names the library.
    std::vector<std::string> logLines;
};

/// A chip chosen by its serial number after a listing.
struct UsbSerialSelection {
    enum class Outcome {
        Selected, ///< the chip's (last) record is the selected device
        NoChip,   ///< no listed chip has a serial number
        Several,  ///< more than one chip, and none was named
        NotFound, ///< no chip has the serial number named
        Shared,   ///< several chips have the serial number named
    };
    Outcome outcome = Outcome::NoChip;
    int device = -1;
    std::string chipSerial;
    std::string message; ///< why nothing was selected
};

/// A USB serial number derived from the programmer's.
struct UsbSerialGenerated {
    std::optional<std::string> serialText; ///< set: the number derived
    bool canWrite = false;                 ///< a write may follow
    std::vector<std::string> logLines;
};

/// A write of the EEPROM (a serial number, or an image restored): how it
/// ended and the lines for the log.
struct UsbSerialWrite {
    enum class Outcome {
        Verified,          ///< written, read back equal, closed
        WrittenUnverified, ///< written and closed; the library cannot read the EEPROM
        CloseFailed,       ///< written, but closing the device failed
        Unavailable,       ///< no FTDI library
        InvalidText,       ///< the text is not 1-8 allowed characters; nothing touched
        NoDeviceSelected,  ///< no listed device had a serial number; nothing touched
        OpenFailed,        ///< the device did not open (failure.error: busy, denied...); nothing touched
        BackupFailed,      ///< the EEPROM could not be read or saved first; nothing written
        WordWriteFailed,   ///< word `word` was refused; the EEPROM is incomplete
        Disconnected,      ///< the device went away at word `word`; the EEPROM may be incomplete
        ReadBackFailed,    ///< word `word` could not be read back; not verified
        Mismatch,          ///< word `word` reads back differently
    };
    Outcome outcome = Outcome::Unavailable;
    FtdiResult failure;
    int device = -1;     ///< the index opened
    int word = -1;       ///< the word of a failed write, read or compare
    std::string serial;  ///< the 8 characters programmed (a serial number write)
    EepromWords image{}; ///< what was (to be) written
    /// Where the EEPROM's contents before the write were saved.
    std::optional<std::filesystem::path> backupFile;
    std::vector<std::string> logLines;

    bool succeeded() const { return outcome == Outcome::Verified || outcome == Outcome::WrittenUnverified; }
};

/// The EEPROM of the selected chip, read.
struct UsbSerialBackup {
    enum class Outcome {
        Read,
        Unavailable,
        NoDeviceSelected,
        OpenFailed,
        ReadFailed, ///< the library refused word `word`, or cannot read at all
    };
    Outcome outcome = Outcome::Unavailable;
    FtdiResult failure;
    int device = -1;
    int word = -1;
    EepromWords words{};
    std::vector<std::string> logLines;
};

/// The USB serial number's operations, without a front end: list the
/// FTDI devices, derive a USB serial number from the programmer's, write
/// it into the selected chip's EEPROM, save the EEPROM to a file and
/// write a saved image back. Every write saves the EEPROM's contents
/// first. A front end keeps one, so the library is loaded once.
class UsbSerialTool {
public:
    /// The selected index when no listed device had a serial number.
    static constexpr int kNoDevice = 99;

    /// Takes what loading the FTDI library gave. Without a library every
    /// operation is harmless and the first one says why, once.
    explicit UsbSerialTool(FtdiLoadResult library);

    bool available() const { return m_backend != nullptr; }
    const std::string& unavailableReason() const { return m_unavailableReason; }
    /// "USB serial number through libftdi (libftdi1.so.2)."
    std::string libraryLine() const;

    /// Lists the FTDI devices and selects the last one with a serial number.
    UsbSerialListing readSerial();
    /// After a listing: selects the chip with `serial` (without the channel
    /// letter D2XX adds), or without one the only chip with a serial number.
    UsbSerialSelection selectChip(const std::optional<std::string>& serial);
    /// Derives a USB serial number from the programmer's 32-digit one.
    UsbSerialGenerated generate(std::string_view programmerSerial) const;
    /// Writes `serialText` into the selected device's EEPROM and reads it back.
    UsbSerialWrite writeSerial(std::string_view serialText);
    /// Reads the selected device's 64 EEPROM words.
    UsbSerialBackup backup();
    /// Writes `image` into the selected device's EEPROM and reads it back.
    UsbSerialWrite restore(const EepromWords& image);

    /// The records of the last listing (kept until the next one).
    const std::vector<FtdiDevice>& devices() const { return m_devices; }
    /// The device the write opens: the last listed with a serial number.
    int selectedIndex() const { return m_selected; }

    const std::filesystem::path& backupDirectory() const { return m_backupDirectory; }
    /// The backups' time stamp; tests fix it.
    void setClock(std::function<std::chrono::system_clock::time_point()> now) { m_now = std::move(now); }

private:
    std::vector<std::string> firstNotice();
    UsbSerialWrite writeImage(const EepromWords& image, std::string_view label);
    bool saveBackup(FtdiSession& session, std::string_view label, UsbSerialWrite& result);
    void verify(FtdiSession& session, std::string_view label, UsbSerialWrite& result);
    std::string openFailureLine(std::string_view label, const FtdiResult& failure, std::string_view nothing) const;

    std::shared_ptr<FtdiBackend> m_backend;
    std::string m_unavailableReason;
    std::filesystem::path m_backupDirectory;
    bool m_noticeSaid = false;
    std::vector<FtdiDevice> m_devices;
    int m_selected = kNoDevice;
    std::function<std::chrono::system_clock::time_point()> m_now = [] { return std::chrono::system_clock::now(); };
};

} // namespace talvex
