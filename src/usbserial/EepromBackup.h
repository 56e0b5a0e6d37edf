#pragma once

#include "usbserial/DurableFile.h"
#include "usbserial/EepromImage.h"
#include "usbserial/EepromLayout.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace talvex {

/// An EEPROM image as a file holds it: each word low byte first, 128, 256
/// or 512 bytes for a 93C46, 93C56 or 93C66 (what "usb-serial image" and
/// the backups write).
std::string eepromFileBytes(const EepromContents& words);

/// A file's bytes as an image; nothing unless there are 128, 256 or 512.
std::optional<EepromContents> eepromFromFileBytes(const std::string& bytes);

/// Where the EEPROM backups go: $XDG_DATA_HOME (or ~/.local/share)
/// /talvex/eeprom-backups, on Windows %LOCALAPPDATA%\Talvex\eeprom-backups;
/// the temporary directory when none of these is set.
std::filesystem::path defaultEepromBackupDirectory();

/// A backup's file name: "eeprom-TLVX0001-20240131-142501.bin", the chip's
/// serial number (characters other than letters and digits as '_', "blank"
/// when it has none) and the local time.
std::string eepromBackupFileName(const std::string& chipSerial, std::chrono::system_clock::time_point when);

/// Any bytes as an image: the first 128, padded with 0xFF (what an
/// erased EEPROM holds) when there are fewer.
EepromContents eepromFromAnyBytes(const std::string& bytes);

/// What a file that is to be written back holds.
struct EepromFileCheck {
    std::string bytes;                ///< its contents, when not too large to be an image
    std::optional<EepromContents> words; ///< set when the file has 128, 256 or 512 bytes
    std::size_t size = 0;             ///< the file's size in bytes
    bool checksumHolds = false;       ///< the checksum word holds for the EEPROM the size names
    std::string error;                ///< set when the file cannot be read
};
EepromFileCheck readEepromFile(const std::filesystem::path& path);

/// Writes the image to `path` durably (see writeFileDurably).
Result<void> writeEepromFile(const std::filesystem::path& path, const EepromContents& words,
                             Existing existing = Existing::Replace);

} // namespace talvex
