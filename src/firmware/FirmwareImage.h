#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace talvex {

/// Outcome of the checks made before the window locks.
enum class FileCheck { Ok, NotFound, NotBinFile };

/// No file (or a folder) under `path`, or its extension is not ".bin" in
/// any letter case. `path` is UTF-8.
FileCheck checkFirmwareFile(const std::string& path);

/// The 102,400 bytes the upload sends.
struct FirmwareImage {
    std::vector<std::uint8_t> bytes; ///< always kImageSize long
    std::size_t bytesRead = 0;       ///< taken from the file
    std::size_t bytesFilled = 0;     ///< 0xFF added after a short file
};

/// Reads at most the first 102,400 bytes of the file, however large it is,
/// and fills a shorter image with erased-flash bytes. Nothing when the file
/// cannot be read or is empty.
std::optional<FirmwareImage> readFirmwareImage(const std::string& path);

} // namespace talvex
