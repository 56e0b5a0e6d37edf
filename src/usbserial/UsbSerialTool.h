#pragma once

#include "usbserial/EepromImage.h"
#include "usbserial/FtdiBackend.h"
#include "usbserial/FtdiChipChoice.h"

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
    /// Ok: the library listed the devices, perhaps none. Unsupported with
    /// the reason: no FTDI library (logLines say so, once). Otherwise the
    /// library refused the list and nothing more changes.
    Failure failure{Status::Ok, {}};
    /// Set: the whole listing, which replaces an earlier one. Empty when
    /// the list was cleared and then could not be fetched.
    std::optional<std::string> listingText;
    /// Set: the serial number of the last listed device with one, its
    /// first 8 characters padded with spaces (for the edit field).
    std::optional<std::string> serialText;
    /// Devices were listed (they are in listingText): a serial number can
    /// now be generated and written (8 of kUsbSerialCharacters).
    bool devicesListed = false;
    /// Messages for the log, one line each; the first operation's start
    /// with the line that names the library.
    std::vector<std::string> logLines;
};

/// A USB serial number derived from the programmer's.
struct UsbSerialGenerated {
    std::optional<std::string> serialText; ///< set: the number derived
    bool canWrite = false;                 ///< a write may follow
    std::vector<std::string> logLines;
};

/// How an EEPROM operation (a read for a backup, a write) ended. Each case
/// says what the chip holds now, which the recovery advice depends on.
enum class EepromOutcome {
    Verified,        ///< written, read back equal, closed
    Read,            ///< read whole (a backup)
    CloseFailed,     ///< written and verified, but closing the device failed
    Unavailable,     ///< no FTDI library
    InvalidText,     ///< the text is not 1-8 allowed characters; nothing touched
    NoChipChosen,    ///< no chip, or not one chip, is meant; nothing touched
    UnsupportedChip, ///< not an FT2232C/D or FT2232H; nothing touched
    OpenFailed,      ///< the device did not open (failure.status: busy, denied...); nothing touched
    ReadFailed,      ///< the library refused word `word`, or cannot read at all; nothing written
    BackupFailed,    ///< the EEPROM could not be saved first; nothing written
    NotApplicable,   ///< no image can be made for this chip (no room, wrong size); nothing written
    WordWriteFailed, ///< word `word` was refused; the EEPROM is incomplete
    Disconnected,    ///< the device went away at word `word`; the EEPROM may be incomplete
    ReadBackFailed,  ///< word `word` could not be read back; not verified
    Mismatch,        ///< word `word` reads back differently
};

/// A write of the EEPROM (a serial number, or an image restored): how it
/// ended and the lines for the log.
struct UsbSerialWrite {
    EepromOutcome outcome = EepromOutcome::Unavailable;
    Failure failure;
    std::optional<FtdiChip> chip; ///< the chip written (or meant)
    int word = -1;                ///< the word of a failed write, read or compare
    std::size_t partWords = 0;    ///< the chip's EEPROM part, once known
    std::size_t wordsWritten = 0;
    std::string serial;    ///< the 8 characters programmed (a serial number write)
    EepromContents before; ///< what the chip held
    EepromContents image;  ///< what was (to be) written
    /// Where the EEPROM's contents before the write were saved.
    std::optional<std::filesystem::path> backupFile;
    std::vector<std::string> logLines;

    bool succeeded() const { return outcome == EepromOutcome::Verified; }
    /// The chip may hold a partial image: the backup must go back on it.
    bool chipTouched() const
    {
        return outcome == EepromOutcome::WordWriteFailed || outcome == EepromOutcome::Disconnected
            || outcome == EepromOutcome::ReadBackFailed || outcome == EepromOutcome::Mismatch;
    }
};

/// The EEPROM of the chosen chip, read.
struct UsbSerialBackup {
    EepromOutcome outcome = EepromOutcome::Unavailable;
    Failure failure;
    std::optional<FtdiChip> chip;
    int word = -1;
    EepromContents words; ///< the whole EEPROM (256 words when its size cannot be seen)
    std::vector<std::string> logLines;
};

/// The USB serial number's operations, without a front end: list the
/// FTDI chips, choose the one to write, derive a USB serial number from the
/// programmer's, change it in the chip's EEPROM, save the EEPROM to a file
/// and write a saved image back. Every write reads the chip first, saves
/// what it holds durably, writes only the words that change (the checksum
/// last) and reads the whole EEPROM back. A front end keeps one, so the
/// library is loaded once.
class UsbSerialTool {
public:
    /// Takes what loading the FTDI library gave. Without a library every
    /// operation is harmless and the first one says why, once.
    explicit UsbSerialTool(FtdiLoadResult library);

    bool available() const { return m_backend != nullptr; }
    const std::string& unavailableReason() const { return m_unavailableReason; }
    /// "USB serial number through libftdi (libftdi1.so.2)."
    std::string libraryLine() const;

    /// Lists the FTDI devices; the chip chosen before is forgotten.
    UsbSerialListing readSerial();
    /// After a listing: chooses the chip the writes go to.
    FtdiChipChoice choose(const FtdiChipRequest& request);
    /// No chip is chosen: writes refuse, saying `why`.
    void forgetChoice(std::string why);
    /// Derives a USB serial number from the programmer's 32-digit one.
    UsbSerialGenerated generate(std::string_view programmerSerial) const;
    /// Writes `serialText` into the chosen chip's EEPROM and reads it back.
    UsbSerialWrite writeSerial(std::string_view serialText);
    /// Reads the chosen chip's EEPROM.
    UsbSerialBackup backup();
    /// Writes `image` (a file's, of this chip's part) into the chosen chip.
    UsbSerialWrite restore(const EepromContents& image);

    /// The records of the last listing (kept until the next one).
    const std::vector<FtdiDevice>& devices() const { return m_devices; }
    const std::vector<FtdiChip>& chips() const { return m_chips; }
    const std::optional<FtdiChip>& chosenChip() const { return m_chosen; }

    const std::filesystem::path& backupDirectory() const { return m_backupDirectory; }
    /// The backups' time stamp; tests fix it.
    void setClock(std::function<std::chrono::system_clock::time_point()> now) { m_now = std::move(now); }

private:
    /// Every read covers the largest EEPROM; a smaller one repeats itself.
    static constexpr std::size_t kWordsToRead = 256;
    using ImageFor = std::function<EepromPlan(std::size_t partWords, const EepromContents& current)>;

    std::vector<std::string> firstNotice();
    UsbSerialWrite writeImage(std::string_view label, const ImageFor& imageFor);
    bool readWords(FtdiSession& session, std::size_t count, EepromContents& words, UsbSerialWrite& result,
                   std::string_view label);
    bool saveBackup(const EepromContents& words, std::string_view label, UsbSerialWrite& result);
    std::optional<std::size_t> probePartWords(FtdiSession& session, std::uint16_t wordZero, UsbSerialWrite& result);
    void verify(FtdiSession& session, std::string_view label, UsbSerialWrite& result);
    std::string recoveryAdvice(const UsbSerialWrite& result) const;
    std::string openFailureLine(std::string_view label, const Failure& failure, std::string_view nothing) const;

    std::shared_ptr<FtdiBackend> m_backend;
    std::string m_unavailableReason;
    std::filesystem::path m_backupDirectory;
    bool m_noticeSaid = false;
    std::vector<FtdiDevice> m_devices;
    std::vector<FtdiChip> m_chips;
    std::optional<FtdiChip> m_chosen;
    std::string m_choiceProblem = "no FTDI chip was chosen: list the chips first";
    std::function<std::chrono::system_clock::time_point()> m_now = [] { return std::chrono::system_clock::now(); };
};

} // namespace talvex
