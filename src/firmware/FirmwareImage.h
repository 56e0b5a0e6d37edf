#pragma once

#include "common/Result.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace talvex {

/// A file name as the user typed it (UTF-8), on every platform.
std::filesystem::path pathFromUtf8(const std::string& text);

/// Outcome of the checks made before the device is touched.
enum class FileCheck {
    Ok,
    NotFound,   ///< no such file, or a folder
    NotBinFile, ///< its extension is not ".bin" in any letter case
    Unreadable, ///< not a regular file, empty, or refused by the system
};

/// Checks `path` (UTF-8) so that the upload never erases a device for a
/// file it then cannot read. `reason`, when given, gets the system's words
/// for a file that is there but Unreadable, or found by nobody allowed to
/// look (a folder the user may not search).
FileCheck checkFirmwareFile(const std::string& path, std::string* reason = nullptr);

/// The same check, said once for talvexctl, the batch and the batch window:
/// "PATH: file not found", "PATH: not a .bin firmware file", or the path
/// with the system's words. The settings window shows its own status texts.
Result<void> vetFirmwareFile(const std::string& path);

/// The 102,400 bytes the upload sends.
struct FirmwareImage {
    std::vector<std::uint8_t> bytes; ///< always kImageSize long
    std::size_t bytesRead = 0;       ///< taken from the file
    std::size_t bytesFilled = 0;     ///< 0xFF added after a short file
    std::uintmax_t fileSize = 0;     ///< the whole file, sent or not
};

/// Reads at most the first 102,400 bytes of the file, however large it is,
/// and fills a shorter image with erased-flash bytes. Nothing when the file
/// cannot be read or is empty.
std::optional<FirmwareImage> readFirmwareImage(const std::string& path);

} // namespace talvex
