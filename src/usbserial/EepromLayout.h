#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex {

/// The EEPROM of one chip, word by word, as many words as its EEPROM holds
/// (or as were read).
using EepromContents = std::vector<std::uint16_t>;

/// The FTDI chips whose EEPROM layout the tool knows; any other is left alone.
enum class FtdiChipKind {
    Ft2232C, ///< FT2232C/D, release 0x0500
    Ft2232H, ///< FT2232H, release 0x0700
    Other,
};
FtdiChipKind ftdiChipKindOfRelease(std::uint16_t bcdDevice);
/// From a D2XX device-list record's Type.
FtdiChipKind ftdiChipKindOfD2xxType(std::uint32_t type);
std::string_view ftdiChipKindName(FtdiChipKind kind);

/// 93C46, 93C56 and 93C66 hold 64, 128 and 256 words. The chip reads at
/// most the first 128, so that is where the checksum sits on the two larger.
std::size_t eepromCheckedWords(std::size_t partWords);
std::string eepromPartName(std::size_t partWords);

/// What a read of words 0 to 255 shows: the chip sends the EEPROM only the
/// address bits it has, so a small one repeats itself. Nothing when the
/// contents are the same word everywhere (blank or zeroed): then no wrap can
/// be seen until a word is written.
std::optional<std::size_t> eepromPartWordsFromWrap(const EepromContents& first256);

/// FTDI's checksum over the checked area but its last word.
std::uint16_t ftdiChecksum(const EepromContents& words, std::size_t checkedWords);

enum class EepromState {
    Valid,   ///< the checksum holds: the chip uses what it holds
    Blank,   ///< all 0xFFFF: the chip uses its defaults, without a serial number
    Invalid, ///< anything else: the same defaults
};
EepromState eepromState(const EepromContents& words, std::size_t checkedWords);
std::string_view eepromStateName(EepromState state);

/// The string a descriptor pointer (byte 0x0E manufacturer, 0x10 product,
/// 0x12 serial number) names, one character per UTF-16 unit; nothing when
/// the pointer, its length or the descriptor make no sense.
std::optional<std::string> eepromDescriptorText(const EepromContents& words, std::size_t checkedWords,
                                                std::size_t pointerByte);
constexpr std::size_t kManufacturerPointerByte = 0x0E;
constexpr std::size_t kProductPointerByte = 0x10;
constexpr std::size_t kSerialPointerByte = 0x12;

/// A new image, or why there is none (a sentence for the user).
struct EepromPlan {
    EepromContents image;
    std::string problem;
    bool ok() const { return problem.empty(); }
};

/// The chip's own valid image with the serial number descriptor holding
/// `serial` (8 characters), its pointer, its length, the "serial number
/// enabled" bit and the checksum changed; every other word kept.
EepromPlan eepromWithSerial(const EepromContents& chipImage, std::size_t partWords, FtdiChipKind kind,
                            std::string_view serial);

/// The tool's own fixed image for a chip whose EEPROM holds nothing valid:
/// manufacturer "FTDI", product "TalvexUSB" and the serial number, bus
/// powered 100 mA, laid out where this chip kind and EEPROM size look for them.
/// On an FT2232C with a 93C46 it is word for word the image the tool has
/// always written. Words outside the checked area are taken from `chipImage`.
EepromContents eepromFixedImage(FtdiChipKind kind, std::size_t partWords, std::string_view serial,
                                const EepromContents& chipImage);

} // namespace talvex
