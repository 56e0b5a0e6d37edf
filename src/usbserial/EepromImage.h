#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace talvex {

/// FTDI's 64-word 93C46 EEPROM, word by word.
constexpr std::size_t kEepromWords = 64;
using EepromWords = std::array<std::uint16_t, kEepromWords>;

/// Word 63 holds the checksum over words 0 to 62.
constexpr std::size_t kEepromChecksumWord = 63;

/// Where the string descriptors' pointer/length words sit (low byte
/// pointer, high byte length in bytes).
constexpr std::size_t kManufacturerPointerWord = 7;
constexpr std::size_t kProductPointerWord = 8;
constexpr std::size_t kSerialPointerWord = 9;

constexpr std::string_view kEepromManufacturer = "FTDI";
constexpr std::string_view kEepromProduct = "TalvexUSB";

/// The USB serial number the image carries: exactly 8 characters.
constexpr std::size_t kUsbSerialLength = 8;

/// FTDI's EEPROM checksum over words 0 to 62: start at 0xAAAA; for each
/// word, exclusive-or it in, then rotate the 16 bits left by one.
std::uint16_t ftdiEepromChecksum(const EepromWords& words);

/// The whole image the tool writes: chip options, USB IDs (0403:6010),
/// bus power 100 mA, then the manufacturer "FTDI", product "TalvexUSB"
/// and serial descriptors back to back from word 11, zeros, checksum in
/// word 63. The serial descriptor gets the first 8 characters of
/// `serial`, one word each, padded with spaces when it is shorter.
EepromWords buildEepromImage(std::string_view serial);

/// The text of the string descriptor that the pointer word names (7, 8
/// or 9), one character per 16-bit word; nothing when the pointer, the
/// length or the descriptor header does not make sense.
std::optional<std::string> eepromString(const EepromWords& words, std::size_t pointerWord);

} // namespace talvex
